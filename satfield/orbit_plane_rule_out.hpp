// A cheap test that rules out, before Vinti's position is solved for, the
// element sets whose satellite cannot be in a square field at an instant:
// the satellite stays within a known distance of the plane through the
// Earth's centre with the node W + pi/2 and the inclination of the record,
// and within a spherical shell; the field's square lies within a cone about
// its centre. Positions and directions are referred to the true equator and
// equinox of date (the elements' frame); units km and radians.
#pragma once

#include "satellite_observer.hpp"
#include "vectors_matrices.hpp"
#include "vinti.hpp"

namespace fieldsearch {

// What bounds the position of the satellite of one record at every instant:
// its distance from the plane of the node and inclination, its radius, and
// where along the orbit it is (doc/orbit-plane-rule-out.md derives each bound).
struct OrbitPlaneBound {
    bool usable;              // false: the record is outside the range the bound is shown for
    double offset_km;         // |n.p| when the node of the plane is exact, km
    double lever_km;          // sin i times the largest cylindrical radius, km
    double node_spread_rad;   // largest |phi - (W + pi/2)| before rounding, radians
    double phi_slope;         // the (v - M) coefficient of phi, for the rounding of v - M
    double r_min_km;          // |p| is within [r_min_km, r_max_km]
    double r_max_km;
    // Along the orbit: with u = psi - pi/2, p lies within track_offset_km
    // (plus rho_max |dphi| at an instant) of the point rho (cos u a + sin u b)
    // of the plane's circle (a towards its node, b = n x a), and u within
    // track_spread_rad of the mean angle w + M - pi/2.
    bool track_usable;
    double track_offset_km;
    double track_spread_rad;
    double rho_min_km;
    double rho_max_km;
    // For eccentric orbits, where |v - M| is wide: every pass of the
    // Kepler-like equation gives E = M + kepler_e sin E' + (terms at most
    // kepler_rest), E' the pass before, so E stays in the intervals of that
    // map iterated from M; v follows from E by the Kepler relation with e1,
    // and psi from v within psi_rest.
    bool eccentric_track;
    double semimajor_km;
    double eccentricity;
    double kepler_e;
    double kepler_rest;
    double e1;
    double psi_rest;
    double delta_km;          // |c kappa|
    double focal_sq_km2;      // c^2
};

// The bound for the record `orbit` (one that vinti_orbit_problem accepts).
// Unusable when the record could give a position that is not a finite number
// with finite angles (eta reaching +-1, L and sin psi vanishing together,
// eta_ecc or the Kepler-equation slope not small).
OrbitPlaneBound orbit_plane_bound(const VintiOrbit& orbit);

// The satellite's plane and how far from it the satellite may be at one
// instant, true equator and equinox of date.
struct OrbitPlane {
    bool usable;          // false: no bound at this instant, evaluate in full
    Vector3 normal;       // unit normal n of the plane
    double half_width_km; // |n.p| is at most this, km
    double r_min_km;      // |p| is within [r_min_km, r_max_km], km
    double r_max_km;
    // What add_orbit_track starts from: the angles of the instant as
    // vinti_position forms them, the node's spread, and the plane's angles.
    double mean_anomaly;
    double perigee_angle;
    double node_spread;
    double sin_i, cos_i, sin_node, cos_node;
    bool track_added;     // add_orbit_track has run
    bool track_usable;    // false: no bound along the orbit at this instant
    Vector3 toward_node;  // a: unit vector in the plane towards its ascending node
    Vector3 ahead;        // b = n x a
    double track_angle;   // the mean angle w + M - pi/2 from a towards b, radians, in [-pi, pi]
    double track_half_width;  // the angle of p from a in the plane is within this of track_angle, radians
};

// The plane of record `orbit` at `t`, with its elements as vinti_position
// takes them (epoch and t MJDs on one time scale, angles in degrees, ndot2
// in rev/day^2). Unusable when the bound is, or when the mean anomaly, the
// perigee or the node angle at t is not finite or exceeds 1e12 rad.
OrbitPlane orbit_plane_at(const OrbitPlaneBound& bound, const VintiOrbit& orbit, double epoch, double omega,
                          double node, double mean_anom, double ndot2, double t);

// The bound along the orbit of `plane` (orbit_plane_at of `bound`'s record):
// its track angle and half width, and for eccentric orbits a thinner shell.
// Made on demand, since only sets that the plane does not rule out need it.
void add_orbit_track(const OrbitPlaneBound& bound, OrbitPlane& plane);

// A square field at an instant as a cone of directions from the observer,
// true equator and equinox of date.
struct FieldCone {
    bool usable;               // false: the cone is not narrower than a hemisphere
    Vector3 axis;              // unit vector to the field's centre
    double chord;              // |v - axis| for every direction v of the cone is at most this
    Vector3 observer;          // the observer's geocentric position, km
    double observer_norm_sq;   // |observer|^2, km^2
    double reach_lo;           // observer.v over the cone lies in [reach_lo, reach_hi], km
    double reach_hi;
};

// The cone holding every direction that in_square_field accepts for the
// field of half side `half_side_deg` centred on (centre_ra_deg,
// centre_dec_deg), J2000 degrees: the accepted square, 1.1 half sides wide in
// the tangent plane, lies within atan(sqrt(2) 1.1 tan h) of the centre; the
// cone is 1e-3 rad wider.
FieldCone field_cone(const ObservationInstant& instant, double centre_ra_deg, double centre_dec_deg,
                     double half_side_deg);

// True when the satellite of `plane` cannot be in the field of `cone`:
// a point X = observer + s v with v in the cone and |X| in the shell has s in
// [s_lo, s_hi] (s grows with |X| and falls with observer.v) and n.v within
// n.axis +- chord, so n.X = n.observer + s n.v takes its extremes at the four
// corners of that box; when all four lie beyond the half width on one side,
// no such point is close enough to the plane. False whenever either is
// unusable or the observer is not inside the shell.
bool plane_misses_field(const OrbitPlane& plane, const FieldCone& cone);

// True when the satellite of `plane` cannot be in the field of `cone` for
// where it is along its orbit: a point X = observer + s v of the cone in the
// shell lies within s_hi |v - axis| of the segment of the cone's axis
// between s_lo and s_hi; projected on the plane that segment spans an arc
// of angles from a (the angle along a line changes monotonically), widened
// by asin(that distance / the segment's least distance from the centre).
// When that arc misses the satellite's own arc of angles, no point of the
// cone is where the satellite can be. False whenever it cannot tell (and
// before add_orbit_track).
bool track_misses_field(const OrbitPlane& plane, const FieldCone& cone);

}  // namespace fieldsearch
