// A cheap, conservative first test of a catalogue record against the field:
// from the asteroid's geometric place at the instant alone it rules out the
// records whose light-time corrected place cannot lie in the accepted
// square, so that only the few others need the full evaluation. It never
// rules out a record that the full evaluation would list.
#pragma once

#include <vector>

#include "astorb_record.hpp"
#include "catalogue_record.hpp"
#include "search_scenario.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// Where on the ecliptic of J2000.0, seen from the Sun, a body can lie that
// the observer sees within the accepted square (widened by a fixed
// allowance for light time): the line of sight through the centre meets the
// sphere of heliocentric distance r at a point of ecliptic longitude L(r),
// and every point of the widened cone at that distance lies within
// spread(r) of it in longitude. The distances are cut into shells of equal
// width; along the line of sight the longitude changes monotonically.
struct LongitudeWindow {
    bool active = false;
    double first_au = 0.0;                // heliocentric distance of the first shell's inner edge, AU
    double step_au = 0.0;                 // width of a shell, AU
    std::vector<double> edge_longitude;   // L at each shell edge, radians, unwrapped (one more than shells)
    std::vector<double> spread;           // the largest spread of this shell and every one beyond, radians
};

struct FieldPrefilter {
    bool active;                // false: every record goes to the full evaluation
    double utc_mjd;             // the instant
    Vector3 observer_position;  // heliocentric, km, J2000
    Vector3 centre;             // unit vector of the field centre, J2000
    double cos_radius;          // of the angle that bounds the accepted square about the centre
    double sin_radius;
    double mag_limit;           // the faintest magnitude listed (infinite: any)
    LongitudeWindow window;     // when active: a first test that takes no Kepler solution
};

// A heliocentric position (km, J2000 equator) and a bound on its distance
// from the position of the full two-body evaluation, km.
struct BoundedPosition {
    Vector3 position;
    double error_km;
};

// The geometric position of the record's asteroid at `t`, formed straight
// from the eccentric anomaly with a Kepler solution that stops early: the
// error of an anomaly E is at most |E - e sin E - M| / (1 - e), and a point
// of the ellipse moves by at most a per radian of E.
BoundedPosition bounded_geometric_position(const AstorbRecord& record, double t);

// An upper bound (radians) of the angle between the direction to the
// asteroid's geometric position and to its light-time corrected position,
// seen from any observer; infinite when the orbit is too fast to bound.
double light_time_shift_bound(const AstorbRecord& record);

// The test for one search: `observer_position` is the observer's
// heliocentric position at the request's instant. With `with_window`, the
// longitude window is made too (a few thousand shells: worth it when the
// whole catalogue meets this one field).
FieldPrefilter field_prefilter(const SearchRequest& request, const Vector3& observer_position,
                               bool with_window = false);

// The window of the cone of half-angle `radius` (radians) about the unit
// vector `centre` (J2000 equator) seen from `observer_position` (km,
// heliocentric, J2000 equator); inactive when the cone is too wide or the
// line of sight passes too near the ecliptic's axis to bound.
LongitudeWindow longitude_window(const Vector3& centre, double radius, const Vector3& observer_position);

// True when the asteroid of `record` (elements that describe an ellipse)
// cannot lie in the window's cone at the instant `t` (MJD), its light-time
// shift within the window's allowance: its heliocentric longitude, bounded
// from the mean anomaly without Kepler's equation (the equation of the
// centre and the reduction to the ecliptic), misses the window over the
// shells between perihelion and aphelion. False whenever it cannot tell.
bool outside_longitude_window(const LongitudeWindow& window, const AstorbRecord& record, double t);

// False only when the asteroid of `record` (elements that describe an
// ellipse) cannot be in the field at the instant: its geometric direction
// lies farther from the centre than the accepted square reaches, by more than
// light time can move it, or it lies too far from the Sun and the observer
// to be as bright as the magnitude limit (H-G, 0 <= G <= 1). `deviation_km`
// widens the test for a place that may lie that far (km) from the two-body
// position (an integrated orbit).
bool may_be_in_field(const FieldPrefilter& prefilter, const AstorbRecord& record, double deviation_km = 0.0);

// The deviation (km) below which may_be_in_field rules the record out
// (without the longitude window): 0 when it cannot rule it out even with
// none. So a search can hold a record's bound against it, and stop
// computing a bound that has grown past it.
double ruled_out_reach_km(const FieldPrefilter& prefilter, const AstorbRecord& record);

// may_be_in_field for a record of any catalogue: a comet (whose orbit may be
// no ellipse) always goes to the full evaluation.
bool may_be_in_field(const FieldPrefilter& prefilter, const OrbitRecord& record, double deviation_km = 0.0);

}  // namespace fieldsearch
