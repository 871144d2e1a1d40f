#include "satellite_speed_bound.hpp"

#include <cmath>
#include <limits>

#include "constants.hpp"

namespace fieldsearch {

namespace {

// Covers the theory's short-period terms and the turning of the frame.
constexpr double SATELLITE_SPEED_FACTOR = 1.02;

}  // namespace

double satellite_speed_bound_km_s(double a_km, double e, const Vector3& observer_earth_fixed)
{
    if (!(std::isfinite(a_km) && std::isfinite(e) && a_km > 0.0 && e >= 0.0 && e < 1.0)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const double perigee_speed = std::sqrt(EARTH_GM_KM3_S2 * (1.0 + e) / (a_km * (1.0 - e)));
    const double axis_distance = std::hypot(observer_earth_fixed(1), observer_earth_fixed(2));
    return SATELLITE_SPEED_FACTOR * (perigee_speed + EARTH_ROTATION_RAD_PER_S * axis_distance);
}

double semimajor_axis_km(double n_rev_per_day)
{
    const double n_rad_per_s = n_rev_per_day * TWO_PI / SECONDS_PER_DAY;
    return std::cbrt(EARTH_GM_KM3_S2 / (n_rad_per_s * n_rad_per_s));
}

}  // namespace fieldsearch
