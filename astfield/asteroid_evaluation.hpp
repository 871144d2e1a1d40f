// The evaluation of one catalogue record against the search: its apparent
// topocentric place and magnitude at the instant, the field test and, for an
// asteroid in the field, its apparent motion; and the report row.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "angles.hpp"
#include "astorb_record.hpp"
#include "catalogue_record.hpp"
#include "comet_record.hpp"
#include "exposure_search.hpp"
#include "field_reports.hpp"
#include "horizontal_coordinates.hpp"
#include "phase_geometry.hpp"
#include "rows.hpp"
#include "search_scenario.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// An asteroid found in the field: everything its report row shows.
struct AsteroidSighting {
    std::array<char, 9> number;   // catalogue columns as read, NUL-terminated
    std::array<char, NAME_FIELD_BYTES> name;
    double ra_deg;                // apparent topocentric, J2000, [0, 360]
    double dec_deg;
    HoursMinutesSeconds ra;
    SignDegreesMinutesSeconds dec;
    double magnitude;             // V
    double ra_motion;             // arcseconds per hour, of the coordinate (not times cos dec)
    double dec_motion;            // arcseconds per hour
    double elements_age_days;     // the instant less the elements' epoch, days; NaN when no epoch is given
    double uncertainty_arcsec;    // the catalogue's ephemeris uncertainty at the instant; NaN when it gives none
    // The triangle of the Sun, the object where its light left it and the
    // observer, and the altitude and azimuth of the apparent place (geometric,
    // no refraction; empty for an observer at the Earth's centre).
    PhaseGeometry phase{};
    std::optional<HorizontalCoordinates> horizontal{};
};

// Motion in right ascension (arcseconds per hour) between the places alpha1
// at t - MOTION_STEP_DAYS and alpha2 at t + MOTION_STEP_DAYS (degrees); the
// difference is taken the short way round, into (-180, 180], so that a
// passage through 0h gives the true rate.
double ra_motion_arcsec_per_hour(double alpha1_deg, double alpha2_deg);

// Motion in declination (arcseconds per hour) between delta1 and delta2
// (degrees), taken as ra_motion_arcsec_per_hour takes its places.
double dec_motion_arcsec_per_hour(double delta1_deg, double delta2_deg);

// The observer's heliocentric positions (km, J2000) a search needs: at its
// instant and one motion step before and after it. They depend on the
// instant alone, so a search computes them once.
struct ObserverPositions {
    Vector3 at;      // t
    Vector3 before;  // t - MOTION_STEP_DAYS
    Vector3 after;   // t + MOTION_STEP_DAYS
    Matrix3 j2000_to_earth_fixed{};        // at t: celestial_to_terrestrial_matrix
    std::optional<LocalHorizon> horizon{};  // of the site; empty for an observer at the Earth's centre
};

// The observer of the request at its instant and a motion step either side;
// with `erfa_earth` on ERFA's Earth (observer_heliocentric_position).
ObserverPositions observer_positions(const SearchRequest& request, bool erfa_earth = false);

// The asteroid of `record` seen at the request's instant from the observer
// (positions from observer_positions of the same request):
// present when the record's elements describe an ellipse, its place lies in
// the square field and its magnitude is not fainter than the limit, and all
// it shows is finite.
std::optional<AsteroidSighting> asteroid_sighting(const SearchRequest& request, const ObserverPositions& observer,
                                                  const AstorbRecord& record);

// The comet of `record` seen as asteroid_sighting sees an asteroid, on its
// conic (any eccentricity) with its total magnitude: present when the
// record's elements are valid, its place lies in the field, its magnitude is
// not fainter than the limit and all it shows is finite.
std::optional<AsteroidSighting> comet_sighting(const SearchRequest& request, const ObserverPositions& observer,
                                               const CometRecord& record);

// The sighting of a record of any catalogue: asteroid_sighting or comet_sighting.
// With `integrated`, on that conic as orbit_sighting_anywhere takes it.
std::optional<AsteroidSighting> orbit_sighting(const SearchRequest& request, const ObserverPositions& observer,
                                               const OrbitRecord& record,
                                               const PerihelionElements* integrated = nullptr);

// The record's sighting at the request's instant, wherever it lies and
// however faint: place, magnitude and motion as orbit_sighting gives them,
// for a search that tests the place against another field (an image, an
// exposure) itself. Empty when the elements are not valid or anything it
// shows is not finite.
// With `integrated` (an orbit the run integrated to its instants, times on
// the UTC axis), the place comes from that conic instead of the record's
// elements; everything else still from the record.
std::optional<AsteroidSighting> orbit_sighting_anywhere(const SearchRequest& request,
                                                        const ObserverPositions& observer, const OrbitRecord& record,
                                                        const PerihelionElements* integrated = nullptr);

// The record's apparent place (light-time corrected, J2000) at UTC MJD
// `utc_mjd` seen from `observer_position` (heliocentric, km, J2000, at that
// instant), with its direction and distance (km); not ok when the elements
// are not valid or the place is not finite.
// With `integrated`, on that conic as orbit_sighting_anywhere takes it.
SkyPlace orbit_place_at(const OrbitRecord& record, const Vector3& observer_position, double utc_mjd,
                        const PerihelionElements* integrated = nullptr);

// The columns of an asteroid's row, in order: the designations, the place in
// degrees at full precision, its sexagesimal fields, V, both motions, the age
// of the elements and the uncertainty.
RowColumns asteroid_columns();

// The row of a sighting under asteroid_columns: the age and the uncertainty
// absent where NaN.
Row asteroid_row(const AsteroidSighting& sighting);

// How the rows look: the columns, the text report's line layout and the
// table header that stands above the rows.
RowFormat asteroid_row_format();

// Appends the columns of the site's view, which stand last in a row:
// helio_distance_au, geo_distance_au, phase_angle_deg, elongation_deg,
// altitude_deg, azimuth_deg.
void append_asteroid_view_columns(RowColumns& columns);

// Appends their values for a sighting: the distances to 1e-9 AU, the phase
// angle and the elongation to 1e-4 deg, altitude and azimuth to 1e-6 deg
// (absent for an observer at the Earth's centre).
void append_asteroid_view_values(const AsteroidSighting& sighting, Row& row);

}  // namespace fieldsearch
