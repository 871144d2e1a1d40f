// The evaluation of one element set against the search: its place as seen by
// the observer at the instant, the square-field test and, for a satellite in
// the field, its apparent motion and report row. No I/O.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "angles.hpp"
#include "field_reports.hpp"
#include "horizontal_coordinates.hpp"
#include "illumination.hpp"
#include "rows.hpp"
#include "satellite_observer.hpp"
#include "sgp4.hpp"
#include "search_scenario.hpp"
#include "tle_record.hpp"

namespace fieldsearch {

// The field and the three instants of a search: the instant itself and one
// minute before and after it, for the motion. Built once per search.
struct SatelliteSearchGeometry {
    double centre_ra_deg;
    double centre_dec_deg;
    double half_side_deg;
    ObservationInstant at;      // t
    ObservationInstant before;  // t - MOTION_STEP_DAYS
    ObservationInstant after;   // t + MOTION_STEP_DAYS
    bool whole_sky = false;     // no square: every place is in the field (a search that tests places itself)
    // What the rows show of the site's view at t: the Sun's geometric
    // geocentric position (km, J2000, at the TDB of t), the matrix from J2000
    // to the Earth-fixed frame (celestial_to_terrestrial_matrix) and the
    // site's horizon (empty for an observer at the Earth's centre).
    Vector3 sun_j2000_km{};
    Matrix3 j2000_to_earth_fixed{};
    std::optional<LocalHorizon> horizon{};
};

// The geometry of a search request (its magnitude limit is not used).
SatelliteSearchGeometry satellite_search_geometry(const SearchRequest& request);

// UTC MJD of the epoch of an element set: January 1, 0 h of the two-digit
// year (00-84 are 2000-2084, 85-99 are 1985-1999) plus the day of the year less 1.
double tle_epoch_mjd(const TleRecord& record);

// The SGP4 elements of an element set with its epoch as a UTC MJD: angles
// from degrees to radians, the mean motion from rev/day to rad/min.
Sgp4Elements sgp4_elements_from_tle(const TleRecord& record, double epoch_utc_mjd);

// A change of angle (degrees) over the motion interval 2 MOTION_STEP_DAYS as
// a rate in arcseconds per second.
double motion_arcsec_per_second(double change_deg);

// Everything a report row shows of a satellite in the field. Right ascension
// and declination are topocentric and geometric, J2000.0; the motion in right
// ascension is the rate of the coordinate (not multiplied by cos dec).
struct SatelliteSighting {
    std::array<char, 15> name;  // the name's first 14 characters, blank-padded
    std::string full_name;      // the name whole, as the set or record gives it
    std::array<char, 7> cospar_id;
    std::array<char, 7> norad_id;
    long norad_number;  // the catalogue number in full
    double ra_deg;
    double dec_deg;
    HoursMinutesSeconds ra;
    SignDegreesMinutesSeconds dec;
    double ra_motion;   // arcsec/s
    double dec_motion;  // arcsec/s
    // With SatelliteTheory::sgp4 and ::both: SGP4's place (the same frame),
    // degrees. With ::both: the angle between Vinti's and SGP4's places,
    // arcseconds (0 otherwise).
    double sgp4_ra_deg;
    double sgp4_dec_deg;
    double theory_difference_arcsec;
    // Seen from the site at the instant, from the position whose place the
    // row shows: range, shadow, phase angle and magnitude (from the set's
    // standard magnitude), and altitude and azimuth (empty for an observer
    // at the Earth's centre). Geometric: no light time, no refraction.
    Illumination illumination{};
    std::optional<HorizontalCoordinates> horizontal{};
};

// The orbit theory of an evaluation: Vinti's, SGP4/SDP4, or both (a set is
// in the field when either places it there; the row shows Vinti's place).
enum class SatelliteTheory { vinti, sgp4, both };

enum class SatelliteOutcome {
    outside_field,
    in_field,       // the sighting is filled
    not_evaluated,  // the orbit cannot be evaluated or gave no finite place: see the problem
};

struct SatelliteEvaluation {
    SatelliteOutcome outcome;
    const char* problem;  // why not evaluated, else nullptr
    SatelliteSighting sighting;
    const char* sgp4_problem = nullptr;  // with both theories: why SGP4 gave no place (Vinti's alone decided)
};

// One element set at the instant of the search: its topocentric place, the
// square-field test (no magnitude condition) and, in the field, the motion
// from the places one minute before and after.
SatelliteEvaluation evaluate_satellite(const TleRecord& record, const SatelliteSearchGeometry& geometry);

// The same with the theory chosen. SGP4's TEME positions are turned to the
// true equinox of date and then reduced exactly as Vinti's; its motion is
// from its places one minute before and after, as Vinti's. With `both` the
// row is Vinti's (place and motion) even when only SGP4 puts the set in the
// field, and the sighting also carries SGP4's place and the angle between
// the two; a set that either theory cannot evaluate is not evaluated, with
// that theory's reason ("SGP4: ..." for SGP4). With `vinti` the result is
// evaluate_satellite(record, geometry).
SatelliteEvaluation evaluate_satellite(const TleRecord& record, const SatelliteSearchGeometry& geometry,
                                       SatelliteTheory theory);

// The orbits of an element set under a theory, initialised once for every
// instant it is evaluated at; problem says why it cannot be evaluated (as
// evaluate_satellite says it), else nullptr.
struct SatelliteOrbits {
    SatelliteTheory theory;
    VintiOrbit vinti;   // unless the theory is sgp4
    Sgp4Orbit sgp4;     // unless the theory is vinti
    double epoch_mjd;   // UTC MJD of the elements' epoch
    const char* problem;
    const char* sgp4_problem;  // with both theories: why SGP4 cannot propagate the set (Vinti's alone is used)
};
SatelliteOrbits satellite_orbits(const TleRecord& record, SatelliteTheory theory);

// The set's topocentric places (J2000, degrees) at one instant, by the
// theories of `orbits`: the places evaluate_satellite tests against the
// field; problem is set when a theory gives no finite position.
struct SatellitePlaces {
    const char* problem;
    SphericalCoordinates vinti;
    SphericalCoordinates sgp4;
    const char* sgp4_problem;  // with both theories: why SGP4 gave no place here (its place is NaN)
};
SatellitePlaces satellite_places(const TleRecord& record, const SatelliteOrbits& orbits,
                                 const ObservationInstant& instant);

// The field test evaluate_satellite applies: the theory's place in the
// square; with both theories, either place.
bool satellite_places_in_field(const SatellitePlaces& places, SatelliteTheory theory,
                               const SatelliteSearchGeometry& geometry);

// The columns of a satellite's row under a theory, in order: the
// designations, the place in degrees at full precision, its sexagesimal
// fields, both motions and the catalogue number in full; with `both` then
// SGP4's place (degrees, full precision) and the angle between the theories
// (arcseconds).
RowColumns satellite_columns(SatelliteTheory theory);

// The row of a sighting under satellite_columns(theory): with `both` an SGP4
// place that could not be had is absent.
Row satellite_row(const SatelliteSighting& sighting, SatelliteTheory theory);

// How the rows look under a theory: the columns, the text report's line
// layout and the table header that stands above the rows.
RowFormat satellite_row_format(SatelliteTheory theory);

// True when the satellite of a sighting is lit: sunlit or in penumbra.
bool sighting_is_lit(const SatelliteSighting& sighting);

// The name of a shadow state as the rows write it: sunlit, penumbra or umbra.
const char* shadow_state_name(ShadowState state);

// Appends the columns of the site's view, which stand last in a row:
// range_km, altitude_deg, azimuth_deg, illumination, phase_angle_deg,
// v_mag_estimate.
void append_satellite_view_columns(RowColumns& columns);

// Appends their values for a sighting: the range to 0.001 km, altitude and
// azimuth to 1e-6 deg (absent for an observer at the Earth's centre), the
// shadow's name, the phase angle to 1e-4 deg and the magnitude to 0.001
// (absent where it has none).
void append_satellite_view_values(const SatelliteSighting& sighting, Row& row);

}  // namespace fieldsearch
