// A cheap, conservative first test of a catalogue record against the field:
// from the asteroid's geometric place at the instant alone it rules out the
// records whose light-time corrected place cannot lie in the accepted
// square, so that only the few others need the full evaluation. It never
// rules out a record that the full evaluation would list.
#pragma once

#include "astorb_record.hpp"
#include "catalogue_record.hpp"
#include "search_scenario.hpp"
#include "vectors_matrices.hpp"

struct FieldPrefilter {
    bool active;                // false: every record goes to the full evaluation
    double utc_mjd;             // the instant
    Vector3 observer_position;  // heliocentric, km, J2000
    Vector3 centre;             // unit vector of the field centre, J2000
    double cos_radius;          // of the angle that bounds the accepted square about the centre
    double sin_radius;
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
// heliocentric position at the request's instant.
FieldPrefilter field_prefilter(const SearchRequest& request, const Vector3& observer_position);

// False only when the asteroid of `record` (elements that describe an
// ellipse) cannot be in the field at the instant: its geometric direction
// lies farther from the centre than the accepted square reaches, by more than
// light time can move it.
bool may_be_in_field(const FieldPrefilter& prefilter, const AstorbRecord& record);

// may_be_in_field for a record of any catalogue: a comet (whose orbit may be
// no ellipse) always goes to the full evaluation.
bool may_be_in_field(const FieldPrefilter& prefilter, const OrbitRecord& record);
