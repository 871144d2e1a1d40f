#include "identification.hpp"

#include <algorithm>
#include <cmath>

#include "angles.hpp"
#include "formatted_text.hpp"
#include "geodetic_site.hpp"
#include "time_scales.hpp"

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

std::string identification_time_text(double utc_mjd)
{
    const CalendarInstant c = calendar_instant_from_mjd(utc_mjd);
    return formatted("%04d-%02d-%02dT%02d:%02d:%06.3f", c.year, c.month, c.day, c.hour, c.minute, c.second);
}

std::optional<Vector3> observation_site(const Observation& o, const std::vector<ObservatoryCode>& stations)
{
    switch (o.place) {
    case ObserverPlace::roving:
        return observer_from_geodetic_site(o.roving.latitude_deg, o.roving.east_longitude_deg, o.roving.height_m);
    case ObserverPlace::space:
        return Vector3{};
    case ObserverPlace::station:
        break;
    }
    const ObservatoryCode* station = find_observatory_code(stations, o.station);
    if (station == nullptr || !station->has_coordinates) {
        return std::nullopt;
    }
    return observatory_earth_fixed_km(*station);
}

std::string shown_tracklet_designation(std::string key)
{
    std::replace(key.begin(), key.end(), '|', ' ');
    const std::size_t first = key.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return key.substr(first, key.find_last_not_of(' ') - first + 1);
}

IdentificationNight identification_night(ObservationsResult read, const std::vector<ObservatoryCode>& stations)
{
    IdentificationNight night;
    for (const ObservationProblem& p : read.problems) {
        night.messages.emplace_back(p.position, p.what);
    }
    for (Observation& o : read.observations) {
        const std::optional<Vector3> site = observation_site(o, stations);
        if (!site) {
            night.messages.emplace_back(o.position, "unknown observatory code '" + o.station + "'");
            continue;
        }
        night.sites.push_back(*site);
        night.observations.push_back(std::move(o));
    }
    std::stable_sort(night.messages.begin(), night.messages.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    night.tracklets = tracklets_from_observations(night.observations, stations);
    night.tracklet_of.assign(night.observations.size(), 0);
    night.member_of.assign(night.observations.size(), 0);
    for (std::size_t t = 0; t < night.tracklets.size(); ++t) {
        for (std::size_t m = 0; m < night.tracklets[t].members.size(); ++m) {
            night.tracklet_of[night.tracklets[t].members[m]] = t;
            night.member_of[night.tracklets[t].members[m]] = m;
        }
    }
    return night;
}

NightReading identification_night_read(const char* program, const std::string& observations_path,
                                       const std::string& observatory_codes_path,
                                       const std::function<std::optional<std::string>(const std::string&)>& file_text)
{
    NightReading reading;
    std::optional<std::string> text = file_text(observations_path);
    if (!text) {
        reading.status = 1;
        reading.error = observations_path + ": cannot be read";
        return reading;
    }
    reading.text = std::move(*text);
    ObservationsResult read = observations_from_text(reading.text);
    if (!read.format) {
        reading.status = 2;
        reading.error = observations_path + ": " + read.error;
        return reading;
    }
    reading.format = *read.format;
    const std::optional<std::string> codes_text = file_text(observatory_codes_path);
    if (!codes_text) {
        reading.status = 1;
        reading.error = observatory_codes_path + ": cannot be read";
        return reading;
    }
    const ObservatoryCodesResult codes = observatory_codes_from_html(*codes_text);
    if (!codes.error.empty()) {
        reading.status = 1;
        reading.error = observatory_codes_path + ": " + codes.error;
        return reading;
    }
    reading.stations = codes.stations.size();
    reading.night = identification_night(std::move(read), codes.stations);
    reading.where = reading.format == ObservationFormat::ades_xml ? "observation " : "";
    for (const auto& [position, what] : reading.night.messages) {
        reading.messages += formatted("%s: %s:%s%ld: %s\n", program, observations_path.c_str(), reading.where,
                                      position, what.c_str());
    }
    return reading;
}

}  // namespace fieldsearch
