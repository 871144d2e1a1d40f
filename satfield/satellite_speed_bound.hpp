// How fast a satellite can move as seen from an observer on the Earth: the
// bound the exposure search steps by.
#pragma once

#include "vectors_matrices.hpp"

namespace fieldsearch {

// Bound of the speed (km/s) of a satellite relative to an observer on the
// Earth: 1.02 times the sum of the vis-viva speed at perigee for the mean
// semi-major axis `a_km` and eccentricity `e`, and the observer's speed from
// the Earth's rotation (distance of `observer_earth_fixed`, km, from the
// axis). The 2 % covers the theory's short-period terms, of relative size
// about 3 J2 (R/r)^2 < 0.4 %, and the slow turning of the celestial frame.
// NaN when a, e describe no ellipse.
double satellite_speed_bound_km_s(double a_km, double e, const Vector3& observer_earth_fixed);

// The mean semi-major axis (km) of an orbit of mean motion `n_rev_per_day`
// (revolutions per day) about the Earth (EARTH_GM_KM3_S2).
double semimajor_axis_km(double n_rev_per_day);

}  // namespace fieldsearch
