// An observing site given by geodetic coordinates on the WGS84 ellipsoid.
#pragma once

#include "constants.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// Geocentric Earth-fixed position (km) of the site at geodetic latitude and
// east longitude `lat_deg`, `lon_deg` (degrees) and `height_m` metres above
// the WGS84 ellipsoid.
Vector3 observer_from_geodetic_site(double lat_deg, double lon_deg, double height_m);

}  // namespace fieldsearch
