#include "light_time.hpp"

#include <cmath>

#include "angles.hpp"
#include "planet_ephemeris.hpp"
#include "sidereal_time.hpp"
#include "solar_ephemeris.hpp"
#include "two_body.hpp"

namespace fieldsearch {

Vector3 observer_heliocentric_position(double utc_mjd, double ut1_minus_utc_seconds,
                                       const LeapSecondTable& leap_seconds, const Vector3& observer_earth_fixed,
                                       bool erfa_earth)
{
    // One matrix serves both: its TDB for the Earth, its transpose for the
    // observer.
    const CelestialToTerrestrial c2t = celestial_to_terrestrial_matrix(utc_mjd, ut1_minus_utc_seconds, leap_seconds);
    const Vector3 geocentric = matrix_vector_product(transpose_matrix(c2t.matrix), observer_earth_fixed);
    const Vector3 earth = erfa_earth ? earth_heliocentric_position_km(c2t.tdb) : earth_heliocentric_vector(c2t.tdb);
    return Vector3{{earth(1) + geocentric(1), earth(2) + geocentric(2), earth(3) + geocentric(3)}};
}

namespace {

constexpr double SPEED_OF_LIGHT_KM_S = 299792.458;
// Seconds per km and days per second, held in extended precision and applied
// as two successive factors.
constexpr long double LIGHT_SECONDS_PER_KM = 1.0L / static_cast<long double>(SPEED_OF_LIGHT_KM_S);
constexpr long double DAYS_PER_SECOND_EXTENDED = 1.0L / 86400.0L;

constexpr int LIGHT_TIME_PASSES = 2;

Vector3 difference(const Vector3& a, const Vector3& b)
{
    return Vector3{{a(1) - b(1), a(2) - b(2), a(3) - b(3)}};
}

}  // namespace

double light_time_days(double distance_km)
{
    return static_cast<double>(static_cast<long double>(distance_km) * LIGHT_SECONDS_PER_KM *
                               DAYS_PER_SECOND_EXTENDED);
}

namespace {

// The light-time iteration over `position_km(t)`, the object's heliocentric
// position in km at t.
template <typename PositionKm>
LightTimeCorrected light_time_iteration(const PositionKm& position_km, double utc_mjd, const Vector3& observer_position)
{
    LightTimeCorrected result{};
    result.asteroid_position = position_km(utc_mjd);
    for (int pass = 0; pass < LIGHT_TIME_PASSES; ++pass) {
        result.topocentric = difference(result.asteroid_position, observer_position);
        const double rho = std::sqrt(square(result.topocentric(1)) + square(result.topocentric(2)) +
                                     square(result.topocentric(3)));
        const double tau = light_time_days(rho);
        result.asteroid_position = position_km(utc_mjd - tau);
    }
    result.topocentric = difference(result.asteroid_position, observer_position);
    return result;
}

}  // namespace

LightTimeCorrected light_time_corrected_vector(double epoch, const Vector3& elements_aei,
                                               const Vector3& elements_angles, double utc_mjd,
                                               const Vector3& observer_position)
{
    return light_time_iteration(
        [&](double t) { return asteroid_position_km(epoch, elements_aei, elements_angles, t); }, utc_mjd,
        observer_position);
}

LightTimeCorrected light_time_corrected_vector(const PerihelionElements& elements, double utc_mjd,
                                               const Vector3& observer_position)
{
    return light_time_iteration([&](double t) { return comet_position_km(elements, t); }, utc_mjd,
                                observer_position);
}

}  // namespace fieldsearch
