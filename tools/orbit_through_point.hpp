// For the sample generators: the plane of an orbit that passes through a
// chosen heliocentric point, so that an object can be placed where a field
// will see it.
#pragma once

#include <cmath>

#include "angles.hpp"
#include "two_body.hpp"
#include "vectors_matrices.hpp"

using namespace fieldsearch;

// The orbit plane through a point: its inclination and node (radians,
// ecliptic J2000) and the point's argument of latitude in it.
struct OrbitPlaneThroughPoint {
    double inclination;
    double node;
    double argument_of_latitude;
};

// The plane through `point` (heliocentric, equatorial J2000, any length
// unit; `r` its length) inclined by at least `least_inclination_deg`, and by
// a little more than the point's ecliptic latitude; the point on the
// ascending or the descending half of the orbit.
inline OrbitPlaneThroughPoint orbit_plane_through(const Vector3& point, double r, double least_inclination_deg,
                                                  bool ascending)
{
    constexpr double PI = 3.14159265358979323846;
    const double ce = std::cos(OBLIQUITY_J2000);
    const double se = std::sin(OBLIQUITY_J2000);
    const double xe = point(1);
    const double ye = ce * point(2) + se * point(3);
    const double ze = -se * point(2) + ce * point(3);
    const double longitude = std::atan2(ye, xe);
    const double latitude = std::asin(ze / r);
    const double inclination = std::fmax(least_inclination_deg * DEG_TO_RAD, std::fabs(latitude) + 0.01);
    const double sin_u = std::sin(latitude) / std::sin(inclination);
    const double u_lat = ascending ? std::asin(sin_u) : PI - std::asin(sin_u);
    const double node = longitude - std::atan2(std::cos(inclination) * sin_u, std::cos(u_lat));
    return {inclination, node, u_lat};
}
