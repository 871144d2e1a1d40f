#include "horizontal_coordinates.hpp"

#include <cmath>

#include "angles.hpp"
#include "geodetic_site.hpp"
#include "sidereal_time.hpp"

namespace fieldsearch {

std::optional<LocalHorizon> local_horizon(const Vector3& site_km)
{
    if (!(dot_product(site_km, site_km) > square(GEOCENTRIC_SITE_KM))) {
        return std::nullopt;
    }
    const GeodeticCoordinates site = geodetic_from_observer(site_km);
    const double phi = site.lat_deg * DEG_TO_RAD;
    const double lambda = site.lon_deg * DEG_TO_RAD;
    const double sin_phi = std::sin(phi);
    const double cos_phi = std::cos(phi);
    const double sin_lambda = std::sin(lambda);
    const double cos_lambda = std::cos(lambda);
    LocalHorizon horizon;
    horizon.east = Vector3{{-sin_lambda, cos_lambda, 0.0}};
    horizon.north = Vector3{{-sin_phi * cos_lambda, -sin_phi * sin_lambda, cos_phi}};
    horizon.up = Vector3{{cos_phi * cos_lambda, cos_phi * sin_lambda, sin_phi}};
    return horizon;
}

HorizontalCoordinates horizontal_from_earth_fixed(const Vector3& direction, const LocalHorizon& horizon)
{
    const double east = dot_product(direction, horizon.east);
    const double north = dot_product(direction, horizon.north);
    const double up = dot_product(direction, horizon.up);
    const double level = std::sqrt(square(east) + square(north));
    double azimuth = level > 0.0 ? atan2_radians(east, north) * RAD_TO_DEG : 0.0;
    if (azimuth < 0.0) {
        azimuth += 360.0;
    }
    if (azimuth >= 360.0) {  // a tiny negative angle rounded up by the turn added
        azimuth = 0.0;
    }
    return {atan2_radians(up, level) * RAD_TO_DEG, azimuth};
}

HorizontalCoordinates horizontal_from_j2000(const Vector3& direction_j2000, const Matrix3& j2000_to_earth_fixed,
                                            const LocalHorizon& horizon)
{
    return horizontal_from_earth_fixed(matrix_vector_product(j2000_to_earth_fixed, direction_j2000), horizon);
}

std::optional<HorizontalCoordinates> horizontal_coordinates_at(double utc, double dut1_seconds,
                                                               const LeapSecondTable& leap_seconds,
                                                               const Vector3& site_km,
                                                               const Vector3& direction_j2000)
{
    const std::optional<LocalHorizon> horizon = local_horizon(site_km);
    if (!horizon) {
        return std::nullopt;
    }
    const CelestialToTerrestrial c2t = celestial_to_terrestrial_matrix(utc, dut1_seconds, leap_seconds);
    return horizontal_from_j2000(direction_j2000, c2t.matrix, *horizon);
}

}  // namespace fieldsearch
