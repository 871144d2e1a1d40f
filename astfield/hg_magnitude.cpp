#include "hg_magnitude.hpp"

#include <cmath>

#include "angles.hpp"
#include "illumination.hpp"

namespace fieldsearch {

namespace {

// Phi1 = exp(-A1 tan(alpha/2)^B1), Phi2 = exp(-A2 tan(alpha/2)^B2).
constexpr double PHASE_A1 = 3.33;
constexpr double PHASE_B1 = 0.63;
constexpr double PHASE_A2 = 1.87;
constexpr double PHASE_B2 = 1.22;
// Above this value of tan(alpha/2)^B2 the phase terms are dropped.
constexpr double PHASE_POWER_CUTOFF = 30.0;

// AU per km (1 / 149597870.691), held in extended precision.
constexpr long double AU_PER_KM = 1.0L / 149597870.691L;

double length(const Vector3& v)
{
    return std::sqrt(square(v(1)) + square(v(2)) + square(v(3)));
}

Vector3 in_au(const Vector3& km)
{
    return Vector3{{static_cast<double>(km(1) * AU_PER_KM), static_cast<double>(km(2) * AU_PER_KM),
                    static_cast<double>(km(3) * AU_PER_KM)}};
}

}  // namespace

double hg_magnitude(double h, double g, const Vector3& heliocentric_au, const Vector3& observer_to_object_au)
{
    const double r = length(heliocentric_au);
    const double delta = length(observer_to_object_au);
    const double alpha = phase_angle_rad(heliocentric_au, observer_to_object_au);
    const double t = std::sin(alpha / 2.0) / std::cos(alpha / 2.0);
    const double phi1 = std::exp(-PHASE_A1 * std::pow(t, PHASE_B1));
    const double w = std::pow(t, PHASE_B2);
    if (w > PHASE_POWER_CUTOFF) {
        return h;
    }
    const double phi2 = std::exp(-PHASE_A2 * w);
    const double phi = phi1 + g * (phi2 - phi1);
    return h + 5.0 * std::log10(delta * r) - 2.5 * std::log10(phi);
}

double apparent_magnitude(double h, double g, const Vector3& asteroid_position_km, const Vector3& topocentric_km)
{
    return hg_magnitude(h, g, in_au(asteroid_position_km), in_au(topocentric_km));
}

}  // namespace fieldsearch
