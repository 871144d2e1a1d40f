// An observing site given by geodetic coordinates on the WGS84 ellipsoid.
#pragma once

#include "constants.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// Geocentric Earth-fixed position (km) of the site at geodetic latitude and
// east longitude `lat_deg`, `lon_deg` (degrees) and `height_m` metres above
// the WGS84 ellipsoid.
Vector3 observer_from_geodetic_site(double lat_deg, double lon_deg, double height_m);

// Geodetic latitude and east longitude (degrees) and height above the WGS84
// ellipsoid (metres) of a point.
struct GeodeticCoordinates {
    double lat_deg;   // [-90, 90]
    double lon_deg;   // (-180, 180]
    double height_m;
};

// The geodetic coordinates of the geocentric Earth-fixed position
// `earth_fixed` (km): the inverse of observer_from_geodetic_site, the
// latitude that of the ellipsoid's normal through the point, found by
// iterating tan(lat) = (z + e^2 N(lat) sin(lat)) / p (p the distance from the
// axis, N the radius of curvature in the prime vertical) from the latitude
// of a point on the ellipsoid; on the axis the longitude is 0.
GeodeticCoordinates geodetic_from_observer(const Vector3& earth_fixed);

}  // namespace fieldsearch
