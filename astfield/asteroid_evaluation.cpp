#include "asteroid_evaluation.hpp"

#include <cmath>

#include "hg_magnitude.hpp"
#include "light_time.hpp"
#include "packed_designations.hpp"
#include "sidereal_time.hpp"
#include "square_field.hpp"

namespace fieldsearch {

namespace {

// 1/24, hours to days, held in extended precision.
constexpr long double DAYS_PER_HOUR = 1.0L / 24.0L;

// Degrees per day over the central difference, to arcseconds per hour.
double arcsec_per_hour(double difference_deg)
{
    const double per_day = difference_deg / (2.0 * MOTION_STEP_DAYS) * ARCSEC_PER_DEGREE;
    return static_cast<double>(per_day * DAYS_PER_HOUR);
}

}  // namespace

double ra_motion_arcsec_per_hour(double alpha1_deg, double alpha2_deg)
{
    return arcsec_per_hour(right_ascension_change_deg(alpha1_deg, alpha2_deg));
}

double dec_motion_arcsec_per_hour(double delta1_deg, double delta2_deg)
{
    return arcsec_per_hour(delta2_deg - delta1_deg);
}

ObserverPositions observer_positions(const SearchRequest& request, bool erfa_earth)
{
    const Vector3 observer{{request.observer_x, request.observer_y, request.observer_z}};
    const double t = request.utc_mjd;
    const double dut1 = request.ut1_minus_utc_seconds;
    const LeapSecondTable& leap_seconds = request.leap_seconds;
    ObserverPositions positions{
        observer_heliocentric_position(t, dut1, leap_seconds, observer, erfa_earth),
        observer_heliocentric_position(t - MOTION_STEP_DAYS, dut1, leap_seconds, observer, erfa_earth),
        observer_heliocentric_position(t + MOTION_STEP_DAYS, dut1, leap_seconds, observer, erfa_earth)};
    positions.j2000_to_earth_fixed = celestial_to_terrestrial_matrix(t, dut1, leap_seconds).matrix;
    positions.horizon = local_horizon(observer);
    return positions;
}

namespace {

// The sighting of an object whose light-time corrected vector at UTC MJD t
// from an observer at `position` is seen(position, t) and whose magnitude
// from that vector is magnitude_of(seen), when it is in the field.
template <typename Seen, typename Magnitude>
std::optional<AsteroidSighting> sighting_in_field(const SearchRequest& request, const ObserverPositions& observer,
                                                  const Seen& seen_from, const Magnitude& magnitude_of,
                                                  bool field_test = true)
{
    const double t = request.utc_mjd;
    const LightTimeCorrected seen = seen_from(observer.at, t);
    const double magnitude = magnitude_of(seen);
    const SphericalCoordinates place = spherical_from_vector(seen.topocentric);
    if (field_test && in_square_field(place.ra_deg, place.dec_deg, magnitude, request.centre_ra_deg,
                                      request.centre_dec_deg, request.half_side_deg, request.mag_limit) == 0) {
        return std::nullopt;
    }
    if (!std::isfinite(magnitude)) {
        return std::nullopt;
    }

    AsteroidSighting sighting{};
    sighting.ra_deg = place.ra_deg;
    sighting.dec_deg = place.dec_deg;
    sighting.ra = ra_to_hms(place.ra_deg);
    sighting.dec = dec_to_dms(place.dec_deg);
    sighting.magnitude = magnitude;
    sighting.phase = phase_geometry(seen.asteroid_position, seen.topocentric);
    if (observer.horizon) {
        sighting.horizontal = horizontal_from_j2000(seen.topocentric, observer.j2000_to_earth_fixed, *observer.horizon);
    }

    const SphericalCoordinates before =
        spherical_from_vector(seen_from(observer.before, t - MOTION_STEP_DAYS).topocentric);
    const SphericalCoordinates after = spherical_from_vector(seen_from(observer.after, t + MOTION_STEP_DAYS).topocentric);
    sighting.ra_motion = ra_motion_arcsec_per_hour(before.ra_deg, after.ra_deg);
    sighting.dec_motion = dec_motion_arcsec_per_hour(before.dec_deg, after.dec_deg);
    if (!std::isfinite(sighting.ra_motion) || !std::isfinite(sighting.dec_motion) ||
        !std::isfinite(sighting.ra.seconds) || !std::isfinite(sighting.dec.arcseconds)) {
        return std::nullopt;
    }
    return sighting;
}

}  // namespace

namespace {

std::optional<AsteroidSighting> asteroid_sighting_tested(const SearchRequest& request,
                                                         const ObserverPositions& observer, const AstorbRecord& record,
                                                         bool field_test, const PerihelionElements* integrated)
{
    if (!has_elliptic_elements(record)) {
        return std::nullopt;
    }
    const double epoch = epoch_mjd(record);
    const Vector3 aei = elements_aei(record);
    const Vector3 angles = elements_angles(record);
    std::optional<AsteroidSighting> sighting = sighting_in_field(
        request, observer,
        [&](const Vector3& position, double t) {
            return integrated != nullptr ? light_time_corrected_vector(*integrated, t, position)
                                         : light_time_corrected_vector(epoch, aei, angles, t, position);
        },
        [&](const LightTimeCorrected& seen) {
            return apparent_magnitude(record.h, record.g, seen.asteroid_position, seen.topocentric);
        },
        field_test);
    if (sighting) {
        sighting->number = record.number;
        sighting->name = record.name;
        sighting->elements_age_days = request.utc_mjd - epoch;
        sighting->uncertainty_arcsec = uncertainty_at(record, request.utc_mjd);
    }
    return sighting;
}

std::optional<AsteroidSighting> comet_sighting_tested(const SearchRequest& request, const ObserverPositions& observer,
                                                      const CometRecord& record, bool field_test,
                                                      const PerihelionElements* integrated)
{
    if (!has_valid_comet_elements(record)) {
        return std::nullopt;
    }
    const PerihelionElements elements = integrated != nullptr ? *integrated : perihelion_elements(record);
    std::optional<AsteroidSighting> sighting = sighting_in_field(
        request, observer,
        [&](const Vector3& position, double t) { return light_time_corrected_vector(elements, t, position); },
        [&](const LightTimeCorrected& seen) {
            return comet_total_magnitude(record.h, record.k, seen.asteroid_position, seen.topocentric);
        },
        field_test);
    if (sighting) {
        sighting->number = record.number;
        sighting->name = record.name;
        sighting->elements_age_days = request.utc_mjd - record.epoch_mjd;
        sighting->uncertainty_arcsec = NAN;
    }
    return sighting;
}

}  // namespace

std::optional<AsteroidSighting> asteroid_sighting(const SearchRequest& request, const ObserverPositions& observer,
                                                  const AstorbRecord& record)
{
    return asteroid_sighting_tested(request, observer, record, true, nullptr);
}

std::optional<AsteroidSighting> comet_sighting(const SearchRequest& request, const ObserverPositions& observer,
                                               const CometRecord& record)
{
    return comet_sighting_tested(request, observer, record, true, nullptr);
}

std::optional<AsteroidSighting> orbit_sighting_anywhere(const SearchRequest& request,
                                                        const ObserverPositions& observer, const OrbitRecord& record,
                                                        const PerihelionElements* integrated)
{
    if (const AstorbRecord* asteroid = std::get_if<AstorbRecord>(&record)) {
        return asteroid_sighting_tested(request, observer, *asteroid, false, integrated);
    }
    return comet_sighting_tested(request, observer, std::get<CometRecord>(record), false, integrated);
}

SkyPlace orbit_place_at(const OrbitRecord& record, const Vector3& observer_position, double utc_mjd,
                        const PerihelionElements* integrated)
{
    LightTimeCorrected seen{};
    if (integrated != nullptr) {
        seen = light_time_corrected_vector(*integrated, utc_mjd, observer_position);
    } else if (const AstorbRecord* asteroid = std::get_if<AstorbRecord>(&record)) {
        if (!has_elliptic_elements(*asteroid)) {
            return {};
        }
        seen = light_time_corrected_vector(epoch_mjd(*asteroid), elements_aei(*asteroid), elements_angles(*asteroid),
                                           utc_mjd, observer_position);
    } else {
        const CometRecord& comet = std::get<CometRecord>(record);
        if (!has_valid_comet_elements(comet)) {
            return {};
        }
        seen = light_time_corrected_vector(perihelion_elements(comet), utc_mjd, observer_position);
    }
    const double distance = std::sqrt(dot_product(seen.topocentric, seen.topocentric));
    const SphericalCoordinates place = spherical_from_vector(seen.topocentric);
    SkyPlace out{};
    out.ok = std::isfinite(distance) && distance > 0.0 && std::isfinite(place.ra_deg) && std::isfinite(place.dec_deg);
    if (out.ok) {
        out.ra_deg = place.ra_deg;
        out.dec_deg = place.dec_deg;
        for (int i = 1; i <= 3; ++i) {
            out.direction(i) = seen.topocentric(i) / distance;
        }
        out.distance_km = distance;
    }
    return out;
}

std::optional<AsteroidSighting> orbit_sighting(const SearchRequest& request, const ObserverPositions& observer,
                                               const OrbitRecord& record, const PerihelionElements* integrated)
{
    if (const AstorbRecord* asteroid = std::get_if<AstorbRecord>(&record)) {
        return asteroid_sighting_tested(request, observer, *asteroid, true, integrated);
    }
    return comet_sighting_tested(request, observer, std::get<CometRecord>(record), true, integrated);
}

namespace {

// The columns of an asteroid row, by index.
enum AsteroidColumn : std::size_t {
    NUMBER, NAME, RA_DEG, DEC_DEG, RA_H, RA_M, RA_S, DEC_SIGN, DEC_DEG_PART, DEC_ARCMIN, DEC_ARCSEC, V_MAG,
    MOTION_RA, MOTION_DEC, ELEMENTS_AGE, UNCERTAINTY,
};

}  // namespace

RowColumns asteroid_columns()
{
    RowColumns columns{"number", "name"};
    append_place_columns(columns);
    columns.insert(columns.end(), {"v_mag", "motion_ra_arcsec_per_hour", "motion_dec_arcsec_per_hour",
                                   "elements_age_days", "uncertainty_arcsec"});
    return columns;
}

Row asteroid_row(const AsteroidSighting& s)
{
    Row row;
    row.values = {designation_value(s.number.data()), text_value(trimmed_text(s.name.data()))};
    append_place_values(s.ra_deg, s.dec_deg, s.ra, s.dec, row);
    row.values.insert(row.values.end(), {real_value(s.magnitude, 3), real_value(s.ra_motion, 3),
                                         real_value(s.dec_motion, 3), real_value(s.elements_age_days, 5),
                                         real_value(s.uncertainty_arcsec, 3)});
    return row;
}

RowFormat asteroid_row_format()
{
    TextRowLayout layout{{{"|", NUMBER, TextStyle::right_aligned, 6},
                          {"|", NAME, TextStyle::blank_then_left, 11},
                          {"| ", RA_H, TextStyle::integer, 2},
                          {" ", RA_M, TextStyle::integer, 2},
                          {" ", RA_S, TextStyle::fixed, 5, 2},
                          {"  ", DEC_SIGN, TextStyle::character, 1},
                          {"", DEC_DEG_PART, TextStyle::integer, 2},
                          {" ", DEC_ARCMIN, TextStyle::integer, 2},
                          {" ", DEC_ARCSEC, TextStyle::fixed, 4, 1},
                          {" ", V_MAG, TextStyle::fixed, 5, 1},
                          {" ", MOTION_RA, TextStyle::fixed, 7, 1},
                          {" ", MOTION_DEC, TextStyle::fixed, 7, 1}},
                         "\n"};
    return {asteroid_columns(), std::move(layout),
            "\nobject designation       r.a.         decl.     v       motion/hr"
            "\n                       h  m  s       o  '              "
            "r.a.   decl.\n"
            "\n"};
}

void append_asteroid_view_columns(RowColumns& columns)
{
    columns.insert(columns.end(), {"helio_distance_au", "geo_distance_au", "phase_angle_deg", "elongation_deg",
                                   "altitude_deg", "azimuth_deg"});
}

void append_asteroid_view_values(const AsteroidSighting& s, Row& row)
{
    row.values.insert(row.values.end(),
                      {real_value(s.phase.helio_distance_au, 9), real_value(s.phase.geo_distance_au, 9),
                       real_value(s.phase.phase_angle_deg, 4), real_value(s.phase.elongation_deg, 4)});
    row.values.push_back(s.horizontal ? real_value(s.horizontal->altitude_deg, 6) : absent_value());
    row.values.push_back(s.horizontal ? real_value(s.horizontal->azimuth_deg, 6) : absent_value());
}

}  // namespace fieldsearch
