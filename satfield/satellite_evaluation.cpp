#include "satellite_evaluation.hpp"

#include <cmath>
#include <numbers>

#include "planet_ephemeris.hpp"
#include "sidereal_time.hpp"
#include "square_field.hpp"
#include "time_scales.hpp"

namespace fieldsearch {

SatelliteSearchGeometry satellite_search_geometry(const SearchRequest& request)
{
    Vector3 observer;
    observer(1) = request.observer_x;
    observer(2) = request.observer_y;
    observer(3) = request.observer_z;
    const double t = request.utc_mjd;
    const double dut1 = request.ut1_minus_utc_seconds;
    const LeapSecondTable& leap_seconds = request.leap_seconds;
    const CelestialToTerrestrial c2t = celestial_to_terrestrial_matrix(t, dut1, leap_seconds);
    SatelliteSearchGeometry geometry{request.centre_ra_deg,
                                     request.centre_dec_deg,
                                     request.half_side_deg,
                                     observation_instant(t, dut1, leap_seconds, observer),
                                     observation_instant(t - MOTION_STEP_DAYS, dut1, leap_seconds, observer),
                                     observation_instant(t + MOTION_STEP_DAYS, dut1, leap_seconds, observer)};
    geometry.sun_j2000_km = sun_geocentric_position_km(c2t.tdb);
    geometry.j2000_to_earth_fixed = c2t.matrix;
    geometry.horizon = local_horizon(observer);
    return geometry;
}

double tle_epoch_mjd(const TleRecord& record)
{
    return mjd_from_calendar(1, 1, record.epoch_year, 0, 0, 0.0) + (record.epoch_day - 1.0);
}

Sgp4Elements sgp4_elements_from_tle(const TleRecord& r, double epoch_utc_mjd)
{
    constexpr double RAD = std::numbers::pi / 180.0;
    constexpr double RAD_PER_MIN_PER_REV_PER_DAY = 2.0 * std::numbers::pi / 1440.0;
    return {epoch_utc_mjd,    r.n * RAD_PER_MIN_PER_REV_PER_DAY,
            r.ecc,            r.incl * RAD,
            r.node * RAD,     r.omega * RAD,
            r.mean_anom * RAD, r.bstar};
}

double motion_arcsec_per_second(double change_deg)
{
    return change_deg / (2.0 * MOTION_STEP_DAYS) * 3600.0 / 86400.0;
}

namespace {

bool is_finite(const Vector3& v)
{
    return std::isfinite(v(1)) && std::isfinite(v(2)) && std::isfinite(v(3));
}

// In-field test with the magnitude condition switched off.
constexpr double SATELLITE_MAGNITUDE = 0.0;
constexpr double SATELLITE_MAGNITUDE_LIMIT = 99.0;

constexpr const char* NO_FINITE_PLACE = "the orbit theory gives no finite position";

bool in_field(const SphericalCoordinates& place, const SatelliteSearchGeometry& g)
{
    return g.whole_sky || in_square_field(place.ra_deg, place.dec_deg, SATELLITE_MAGNITUDE, g.centre_ra_deg, g.centre_dec_deg,
                           g.half_side_deg, SATELLITE_MAGNITUDE_LIMIT) != 0;
}

// A theory's topocentric vector (km, J2000.0) at one instant, or why it has none.
struct TheoryVector {
    Vector3 v;
    const char* problem;
};

// Vinti's vector at an instant, from the record built once per set.
struct VintiVectors {
    const TleRecord& r;
    const VintiOrbit& orbit;
    double epoch;

    TheoryVector operator()(const ObservationInstant& at) const
    {
        const Vector3 v = satellite_topocentric_vector(orbit, epoch, r.mean_anom, r.omega, r.node, r.ndot2, at);
        return {v, is_finite(v) ? nullptr : NO_FINITE_PLACE};
    }
};

// Why SGP4 gives no state, as the evaluation reports it.
const char* sgp4_problem(int error)
{
    switch (error) {
    case SGP4_MEAN_ECCENTRICITY:
        return "SGP4: mean eccentricity out of range";
    case SGP4_MEAN_MOTION:
        return "SGP4: mean motion not positive";
    case SGP4_PERTURBED_ECCENTRICITY:
        return "SGP4: perturbed eccentricity out of range";
    case SGP4_SEMI_LATUS_RECTUM:
        return "SGP4: semi-latus rectum negative";
    case SGP4_DECAYED:
        return "SGP4: decayed";
    default:
        return "SGP4: no state";
    }
}

// SGP4's vector at an instant, from the record built once per set.
struct Sgp4Vectors {
    const Sgp4Orbit& orbit;
    double epoch;

    TheoryVector operator()(const ObservationInstant& at) const
    {
        const Sgp4State state = sgp4_state(orbit, (at.utc_mjd - epoch) * 1440.0);
        if (state.error != SGP4_OK) {
            return {{}, sgp4_problem(state.error)};
        }
        const Vector3 v = topocentric_vector_from_teme(state.position, at);
        return {v, is_finite(v) ? nullptr : NO_FINITE_PLACE};
    }
};

SatelliteEvaluation not_evaluated(const char* problem)
{
    SatelliteEvaluation result{};
    result.outcome = SatelliteOutcome::not_evaluated;
    result.problem = problem;
    return result;
}

// The site's view of the set whose topocentric vector at the geometry's
// instant is `topocentric` (km, J2000).
void fill_site_view(SatelliteSighting& s, const TleRecord& r, const Vector3& topocentric,
                    const SatelliteSearchGeometry& g)
{
    const Vector3& observer = g.at.observer_j2000;
    const Vector3 geocentric{{topocentric(1) + observer(1), topocentric(2) + observer(2), topocentric(3) + observer(3)}};
    s.illumination = illumination_seen_from(geocentric, observer, g.sun_j2000_km, r.standard_magnitude);
    s.horizontal.reset();
    if (g.horizon) {
        s.horizontal = horizontal_from_j2000(topocentric, g.j2000_to_earth_fixed, *g.horizon);
    }
}

// The sighting of the set at `place`, with the motion from the vectors one
// minute before and after; nullptr, or why they have no place.
const char* fill_sighting(SatelliteSighting& s, const TleRecord& r, const SphericalCoordinates& place,
                          const TheoryVector& before, const TheoryVector& after)
{
    if (before.problem != nullptr) {
        return before.problem;
    }
    if (after.problem != nullptr) {
        return after.problem;
    }
    const SphericalCoordinates p1 = spherical_from_vector(before.v);
    const SphericalCoordinates p2 = spherical_from_vector(after.v);
    s.name = r.name;
    s.full_name = r.full_name;
    s.cospar_id = r.cospar_id;
    s.norad_id = r.norad_id;
    s.norad_number = r.norad_number;
    s.ra_deg = place.ra_deg;
    s.dec_deg = place.dec_deg;
    s.ra = ra_to_hms(place.ra_deg);
    s.dec = dec_to_dms(place.dec_deg);
    s.ra_motion = motion_arcsec_per_second(right_ascension_change_deg(p1.ra_deg, p2.ra_deg));
    s.dec_motion = motion_arcsec_per_second(p2.dec_deg - p1.dec_deg);
    return nullptr;
}

// One theory alone: the place at the instant, the field test and, in the
// field, the motion.
template <typename Vectors>
SatelliteEvaluation evaluate_with(const TleRecord& r, const SatelliteSearchGeometry& g, const Vectors& vector_at)
{
    const TheoryVector v = vector_at(g.at);
    if (v.problem != nullptr) {
        return not_evaluated(v.problem);
    }
    const SphericalCoordinates place = spherical_from_vector(v.v);
    SatelliteEvaluation result{};
    if (!in_field(place, g)) {
        result.outcome = SatelliteOutcome::outside_field;
        return result;
    }
    if (const char* problem = fill_sighting(result.sighting, r, place, vector_at(g.before), vector_at(g.after))) {
        return not_evaluated(problem);
    }
    fill_site_view(result.sighting, r, v.v, g);
    result.outcome = SatelliteOutcome::in_field;
    return result;
}

}  // namespace

SatelliteOrbits satellite_orbits(const TleRecord& r, SatelliteTheory theory)
{
    SatelliteOrbits orbits{};
    orbits.theory = theory;
    orbits.epoch_mjd = tle_epoch_mjd(r);
    if (theory != SatelliteTheory::vinti) {
        orbits.sgp4 = sgp4_orbit(sgp4_elements_from_tle(r, orbits.epoch_mjd));
    }
    if (theory != SatelliteTheory::sgp4) {
        orbits.vinti = vinti_init(r.incl, r.ecc, r.n);
        orbits.problem = vinti_orbit_problem(orbits.vinti);
    }
    if (orbits.problem == nullptr && theory != SatelliteTheory::vinti && orbits.sgp4.error != SGP4_OK) {
        if (theory == SatelliteTheory::both) {
            // Vinti's theory alone decides; the set is still evaluated by it.
            orbits.sgp4_problem = sgp4_problem(orbits.sgp4.error);
            orbits.theory = SatelliteTheory::vinti;
        } else {
            orbits.problem = sgp4_problem(orbits.sgp4.error);
        }
    }
    return orbits;
}

SatellitePlaces satellite_places(const TleRecord& r, const SatelliteOrbits& orbits, const ObservationInstant& at)
{
    SatellitePlaces places{};
    if (orbits.theory != SatelliteTheory::sgp4) {
        const TheoryVector v = VintiVectors{r, orbits.vinti, orbits.epoch_mjd}(at);
        if (v.problem != nullptr) {
            places.problem = v.problem;
            return places;
        }
        places.vinti = spherical_from_vector(v.v);
    }
    if (orbits.theory != SatelliteTheory::vinti) {
        const TheoryVector w = Sgp4Vectors{orbits.sgp4, orbits.epoch_mjd}(at);
        if (w.problem != nullptr && orbits.theory == SatelliteTheory::both) {
            // No SGP4 place at this instant: Vinti's alone decides.
            places.sgp4 = {NAN, NAN, NAN};
            places.sgp4_problem = w.problem;
            return places;
        }
        if (w.problem != nullptr) {
            places.problem = w.problem;
            return places;
        }
        places.sgp4 = spherical_from_vector(w.v);
    }
    return places;
}

bool satellite_places_in_field(const SatellitePlaces& places, SatelliteTheory theory, const SatelliteSearchGeometry& g)
{
    return (theory != SatelliteTheory::sgp4 && in_field(places.vinti, g)) ||
           (theory != SatelliteTheory::vinti && in_field(places.sgp4, g));
}

SatelliteEvaluation evaluate_satellite(const TleRecord& r, const SatelliteSearchGeometry& g)
{
    const VintiOrbit orbit = vinti_init(r.incl, r.ecc, r.n);
    if (const char* problem = vinti_orbit_problem(orbit)) {
        return not_evaluated(problem);
    }
    return evaluate_with(r, g, VintiVectors{r, orbit, tle_epoch_mjd(r)});
}

namespace {

// The evaluation by Vinti's theory alone of a set SGP4 gives no place for
// (`why`), as both theories report it: SGP4's columns empty.
SatelliteEvaluation vinti_alone(const TleRecord& r, const SatelliteSearchGeometry& g, const char* why)
{
    SatelliteEvaluation result = evaluate_satellite(r, g);
    result.sighting.sgp4_ra_deg = NAN;
    result.sighting.sgp4_dec_deg = NAN;
    result.sighting.theory_difference_arcsec = NAN;
    if (result.outcome != SatelliteOutcome::not_evaluated) {
        result.sgp4_problem = why;
    }
    return result;
}

}  // namespace

SatelliteEvaluation evaluate_satellite(const TleRecord& r, const SatelliteSearchGeometry& g, SatelliteTheory theory)
{
    if (theory == SatelliteTheory::vinti) {
        return evaluate_satellite(r, g);
    }
    const double epoch = tle_epoch_mjd(r);
    const Sgp4Orbit sgp4 = sgp4_orbit(sgp4_elements_from_tle(r, epoch));
    if (sgp4.error != SGP4_OK) {
        if (theory == SatelliteTheory::both) {
            return vinti_alone(r, g, sgp4_problem(sgp4.error));
        }
        return not_evaluated(sgp4_problem(sgp4.error));
    }
    const Sgp4Vectors sgp4_at{sgp4, epoch};
    if (theory == SatelliteTheory::sgp4) {
        SatelliteEvaluation result = evaluate_with(r, g, sgp4_at);
        result.sighting.sgp4_ra_deg = result.sighting.ra_deg;
        result.sighting.sgp4_dec_deg = result.sighting.dec_deg;
        return result;
    }

    const VintiOrbit vinti = vinti_init(r.incl, r.ecc, r.n);
    if (const char* problem = vinti_orbit_problem(vinti)) {
        return not_evaluated(problem);
    }
    const VintiVectors vinti_at{r, vinti, epoch};
    const TheoryVector v = vinti_at(g.at);
    if (v.problem != nullptr) {
        return not_evaluated(v.problem);
    }
    const TheoryVector w = sgp4_at(g.at);
    if (w.problem != nullptr) {
        return vinti_alone(r, g, w.problem);
    }
    const SphericalCoordinates vinti_place = spherical_from_vector(v.v);
    const SphericalCoordinates sgp4_place = spherical_from_vector(w.v);
    SatelliteEvaluation result{};
    if (!in_field(vinti_place, g) && !in_field(sgp4_place, g)) {
        result.outcome = SatelliteOutcome::outside_field;
        return result;
    }
    SatelliteSighting& s = result.sighting;
    if (const char* problem = fill_sighting(s, r, vinti_place, vinti_at(g.before), vinti_at(g.after))) {
        return not_evaluated(problem);
    }
    fill_site_view(s, r, v.v, g);
    s.sgp4_ra_deg = sgp4_place.ra_deg;
    s.sgp4_dec_deg = sgp4_place.dec_deg;
    s.theory_difference_arcsec = angle_between(v.v, w.v) * RAD_TO_DEG * ARCSEC_PER_DEGREE;
    result.outcome = SatelliteOutcome::in_field;
    return result;
}

namespace {

// The columns of a satellite row, by index.
enum SatelliteColumn : std::size_t {
    NAME, COSPAR_ID, NORAD_ID, RA_DEG, DEC_DEG, RA_H, RA_M, RA_S, DEC_SIGN, DEC_DEG_PART, DEC_ARCMIN, DEC_ARCSEC,
    MOTION_RA, MOTION_DEC, NORAD_NUMBER,
};

// The text without the blanks that pad it on the right.
std::string_view right_trimmed(std::string_view text)
{
    const std::size_t last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

}  // namespace

RowColumns satellite_columns(SatelliteTheory theory)
{
    RowColumns columns{"name", "cospar_id", "norad_id"};
    append_place_columns(columns);
    columns.insert(columns.end(), {"motion_ra_arcsec_per_s", "motion_dec_arcsec_per_s", "norad_number"});
    if (theory == SatelliteTheory::both) {
        columns.insert(columns.end(), {"sgp4_ra_deg", "sgp4_dec_deg", "theory_difference_arcsec"});
    }
    return columns;
}

Row satellite_row(const SatelliteSighting& s, SatelliteTheory theory)
{
    Row row;
    // The name whole: the text report cuts it to its column on a character's boundary.
    row.values = {text_value(right_trimmed(s.full_name)), text_value(right_trimmed(s.cospar_id.data())),
                  text_value(right_trimmed(s.norad_id.data()))};
    append_place_values(s.ra_deg, s.dec_deg, s.ra, s.dec, row);
    row.values.insert(row.values.end(),
                      {real_value(s.ra_motion, 3), real_value(s.dec_motion, 3), whole_value(s.norad_number)});
    if (theory == SatelliteTheory::both) {
        const bool sgp4 = std::isfinite(s.sgp4_ra_deg);
        row.values.push_back(sgp4 ? real_value(s.sgp4_ra_deg, ALL_DIGITS) : absent_value());
        row.values.push_back(sgp4 ? real_value(s.sgp4_dec_deg, ALL_DIGITS) : absent_value());
        row.values.push_back(sgp4 ? real_value(s.theory_difference_arcsec, 3) : absent_value());
    }
    return row;
}

RowFormat satellite_row_format(SatelliteTheory theory)
{
    TextRowLayout layout{{{"|", NAME, TextStyle::left_padded, 14},
                          {"|", COSPAR_ID, TextStyle::left_padded, 6},
                          {"|", NORAD_ID, TextStyle::left_padded, 6},
                          {"| ", RA_H, TextStyle::integer, 2},
                          {" ", RA_M, TextStyle::integer, 2},
                          {" ", RA_S, TextStyle::fixed, 5, 2},
                          {"  ", DEC_SIGN, TextStyle::character, 1},
                          {"", DEC_DEG_PART, TextStyle::integer, 2},
                          {" ", DEC_ARCMIN, TextStyle::integer, 2},
                          {" ", DEC_ARCSEC, TextStyle::fixed, 4, 1},
                          {"  ", MOTION_RA, TextStyle::fixed, 7, 1},
                          {" ", MOTION_DEC, TextStyle::fixed, 7, 1}},
                         "\n"};
    std::string header;
    header += "\n object designation                r.a.         decl.";
    header += "        motion ''/s";
    header += "\n name           cospar norad     h  m  s       o  ' ''      ";
    header += "r.a.    decl.\n";
    header += "\n";
    return {satellite_columns(theory), std::move(layout), std::move(header)};
}

bool sighting_is_lit(const SatelliteSighting& sighting)
{
    return sighting.illumination.shadow.state != ShadowState::umbra;
}

const char* shadow_state_name(ShadowState state)
{
    switch (state) {
    case ShadowState::sunlit:
        return "sunlit";
    case ShadowState::penumbra:
        return "penumbra";
    case ShadowState::umbra:
        return "umbra";
    }
    return "";
}

void append_satellite_view_columns(RowColumns& columns)
{
    columns.insert(columns.end(),
                   {"range_km", "altitude_deg", "azimuth_deg", "illumination", "phase_angle_deg", "v_mag_estimate"});
}

void append_satellite_view_values(const SatelliteSighting& s, Row& row)
{
    const Illumination& light = s.illumination;
    row.values.push_back(real_value(light.range_km, 3));
    row.values.push_back(s.horizontal ? real_value(s.horizontal->altitude_deg, 6) : absent_value());
    row.values.push_back(s.horizontal ? real_value(s.horizontal->azimuth_deg, 6) : absent_value());
    row.values.push_back(text_value(shadow_state_name(light.shadow.state)));
    row.values.push_back(real_value(light.phase_angle_deg, 4));
    row.values.push_back(light.v_mag ? real_value(*light.v_mag, 3) : absent_value());
}

}  // namespace fieldsearch
