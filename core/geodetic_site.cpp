#include "geodetic_site.hpp"

#include <cmath>

#include "angles.hpp"

namespace fieldsearch {

Vector3 observer_from_geodetic_site(double lat_deg, double lon_deg, double height_m)
{
    const double e2 = WGS84_FLATTENING * (2.0 - WGS84_FLATTENING);
    const double phi = lat_deg * DEG_TO_RAD;
    const double lambda = lon_deg * DEG_TO_RAD;
    const double height_km = height_m * 0.001;
    // Radius of curvature in the prime vertical.
    const double n = WGS84_EQUATORIAL_RADIUS_KM / std::sqrt(1.0 - e2 * square(std::sin(phi)));
    Vector3 v;
    v(1) = (n + height_km) * std::cos(phi) * std::cos(lambda);
    v(2) = (n + height_km) * std::cos(phi) * std::sin(lambda);
    v(3) = (n * (1.0 - e2) + height_km) * std::sin(phi);
    return v;
}

}  // namespace fieldsearch
