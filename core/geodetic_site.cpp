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

GeodeticCoordinates geodetic_from_observer(const Vector3& earth_fixed)
{
    const double a = WGS84_EQUATORIAL_RADIUS_KM;
    const double e2 = WGS84_FLATTENING * (2.0 - WGS84_FLATTENING);
    const double x = earth_fixed(1);
    const double y = earth_fixed(2);
    const double z = earth_fixed(3);
    const double p = std::sqrt(square(x) + square(y));
    // Each step shrinks the error by about e^2 (0.0067); a point far inside
    // the Earth, near its centre, may need many or never settle: the number
    // of steps is bounded.
    double phi = atan2_radians(z, p * (1.0 - e2));
    for (int step = 0; step < 50; ++step) {
        const double sin_phi = std::sin(phi);
        const double n = a / std::sqrt(1.0 - e2 * square(sin_phi));
        const double next = atan2_radians(z + e2 * n * sin_phi, p);
        const bool settled = std::fabs(next - phi) <= 1e-15;
        phi = next;
        if (settled) {
            break;
        }
    }
    const double sin_phi = std::sin(phi);
    // The height along the normal: p cos(lat) + z sin(lat) - a sqrt(1 - e^2 sin^2(lat)),
    // well conditioned at every latitude.
    const double height_km = p * std::cos(phi) + z * sin_phi - a * std::sqrt(1.0 - e2 * square(sin_phi));
    return {phi * RAD_TO_DEG, atan2_radians(y, x) * RAD_TO_DEG, height_km * 1000.0};
}

}  // namespace fieldsearch
