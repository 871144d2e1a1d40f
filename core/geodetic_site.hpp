// An observing site given by geodetic coordinates on the WGS84 ellipsoid.
#pragma once

#include "vectors_matrices.hpp"

inline constexpr double WGS84_EQUATORIAL_RADIUS_KM = 6378.137;
inline constexpr double WGS84_FLATTENING = 1.0 / 298.257223563;

// Geocentric Earth-fixed position (km) of the site at geodetic latitude and
// east longitude `lat_deg`, `lon_deg` (degrees) and `height_m` metres above
// the WGS84 ellipsoid.
Vector3 observer_from_geodetic_site(double lat_deg, double lon_deg, double height_m);
