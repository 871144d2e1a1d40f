#include "identification.hpp"

#include <cmath>

#include "angles.hpp"

namespace fieldsearch {

namespace {

constexpr double ARCSEC_PER_DEG = 3600.0;

}  // namespace

PlaceOffset place_offset(double observed_ra_deg, double observed_dec_deg, double predicted_ra_deg,
                         double predicted_dec_deg)
{
    const double d_ra = right_ascension_change_deg(predicted_ra_deg, observed_ra_deg);
    const double cos_dec = std::cos(observed_dec_deg * DEG_TO_RAD);
    const double total = angle_between(unit_vector_from_sky(observed_ra_deg, observed_dec_deg),
                                       unit_vector_from_sky(predicted_ra_deg, predicted_dec_deg)) *
                         RAD_TO_DEG * ARCSEC_PER_DEG;
    return {d_ra * cos_dec * ARCSEC_PER_DEG, (observed_dec_deg - predicted_dec_deg) * ARCSEC_PER_DEG, total};
}

std::optional<TrackletMatch> tracklet_match(const std::vector<Observation>& observations, const Tracklet& tracklet,
                                            const std::vector<PredictedPlace>& predicted,
                                            const IdentificationSettings& settings)
{
    if (predicted.size() != tracklet.members.size() || predicted.empty()) {
        return std::nullopt;
    }
    TrackletMatch match{};
    double sum = 0.0;
    std::vector<Observation> places;
    std::vector<std::size_t> members;
    for (std::size_t k = 0; k < predicted.size(); ++k) {
        const Observation& o = observations[tracklet.members[k]];
        const PlaceOffset offset = place_offset(o.ra_deg, o.dec_deg, predicted[k].ra_deg, predicted[k].dec_deg);
        if (!(offset.total_arcsec <= settings.radius_arcsec)) {
            return std::nullopt;
        }
        match.offsets.push_back(offset);
        sum += offset.total_arcsec * offset.total_arcsec;
        Observation p = o;
        p.ra_deg = predicted[k].ra_deg;
        p.dec_deg = predicted[k].dec_deg;
        places.push_back(p);
        members.push_back(k);
    }
    match.rms_arcsec = std::sqrt(sum / static_cast<double>(predicted.size()));
    if (tracklet.fit.rates) {
        const TrackletFit fit = tracklet_fit(places, members);
        if (!fit.rates) {
            return std::nullopt;
        }
        const double d_east = tracklet.fit.rates->ra_cos_dec_arcsec_per_hour - fit.rates->ra_cos_dec_arcsec_per_hour;
        const double d_north = tracklet.fit.rates->dec_arcsec_per_hour - fit.rates->dec_arcsec_per_hour;
        const double residual = std::hypot(d_east, d_north) * settings.motion_unit_hours;
        if (!(residual <= settings.motion_tolerance)) {
            return std::nullopt;
        }
        match.motion_residual = residual;
    }
    return match;
}

bool ranks_before(const TrackletMatch& a, const TrackletMatch& b)
{
    if (a.rms_arcsec != b.rms_arcsec) {
        return a.rms_arcsec < b.rms_arcsec;
    }
    return a.motion_residual.value_or(0.0) < b.motion_residual.value_or(0.0);
}

}  // namespace fieldsearch
