#include "asteroid_speed_bound.hpp"

#include <cmath>
#include <limits>
#include <variant>

#include "constants.hpp"

namespace fieldsearch {

namespace {

// Above the observer's greatest heliocentric speed, km/s.
constexpr double OBSERVER_HELIOCENTRIC_SPEED_BOUND_KM_S = 30.8;
// For the change of the light time over the interval.
constexpr double LIGHT_TIME_FACTOR = 1.001;

// The heliocentric speed at perihelion, km/s, of a conic with perihelion
// distance q (AU) and eccentricity e: k sqrt((1 + e) / q) AU/day.
double perihelion_speed_km_s(double q_au, double e)
{
    return GAUSSIAN_CONSTANT * std::sqrt((1.0 + e) / q_au) * KM_PER_AU / SECONDS_PER_DAY;
}

}  // namespace

double asteroid_speed_bound_km_s(double a_au, double e)
{
    if (!(std::isfinite(a_au) && std::isfinite(e) && a_au > 0.0 && e >= 0.0 && e < 1.0)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const double perihelion_speed_au_per_day = GAUSSIAN_CONSTANT * std::sqrt((1.0 + e) / (a_au * (1.0 - e)));
    const double perihelion_speed = perihelion_speed_au_per_day * KM_PER_AU / SECONDS_PER_DAY;
    return LIGHT_TIME_FACTOR * (perihelion_speed + OBSERVER_HELIOCENTRIC_SPEED_BOUND_KM_S);
}

double comet_speed_bound_km_s(double q_au, double e)
{
    if (!(q_au > 0.0) || !(e >= 0.0) || !std::isfinite(q_au) || !std::isfinite(e)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return LIGHT_TIME_FACTOR * (perihelion_speed_km_s(q_au, e) + OBSERVER_HELIOCENTRIC_SPEED_BOUND_KM_S);
}

double relative_speed_bound_km_s(const OrbitRecord& record)
{
    if (const AstorbRecord* asteroid = std::get_if<AstorbRecord>(&record)) {
        return asteroid_speed_bound_km_s(asteroid->semimajor_axis, asteroid->eccentricity);
    }
    const CometRecord& comet = std::get<CometRecord>(record);
    return comet_speed_bound_km_s(comet.perihelion_distance, comet.eccentricity);
}

}  // namespace fieldsearch
