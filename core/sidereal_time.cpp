#include "sidereal_time.hpp"

#include <cmath>

#include "angles.hpp"
#include "precession_nutation.hpp"
#include "time_scales.hpp"

namespace fieldsearch {

double greenwich_mean_sidereal_time(double utc, double dut1_seconds)
{
    const double ut1 = utc + dut1_seconds * DAYS_PER_SECOND;
    const double d0 = std::trunc(ut1);
    const double f = ut1 - d0;
    const double t0 = (d0 - MJD_J2000) * CENTURIES_PER_DAY;
    // GMST at 0h UT1: 24110.54841 s + 8640184.812866 s T0 + 0.093104 s T0^2
    // - 6.2e-6 s T0^3, each coefficient times 2 pi / 86400.
    const double theta0 =
        ((6.770713944903336e-6 - 4.5087672343186846e-10 * t0) * t0 + 628.3319706888409) * t0 + 1.753368559233266;
    // Ratio of sidereal to solar time, the derivative of the same expression.
    const double r = (5.900575455674703e-11 - 5.893984333409384e-15 * t0) * t0 + 1.002737909350795;
    double theta = r * f * TWO_PI + theta0;
    theta = theta - std::trunc(theta / TWO_PI) * TWO_PI;
    if (theta < 0.0) {
        theta += TWO_PI;
    }
    return theta;
}

double greenwich_apparent_sidereal_time(double utc, double dut1_seconds, const LeapSecondTable& leap_seconds)
{
    const double tt = tt_from_utc(utc, leap_seconds).tt;
    const double eps = mean_obliquity(tt);
    const NutationAngles nutation = nutation_angles(tt);
    return greenwich_mean_sidereal_time(utc, dut1_seconds) + nutation.dpsi * std::cos(eps);
}

Matrix3 earth_rotation_matrix(double utc, double dut1_seconds, const LeapSecondTable& leap_seconds)
{
    return rotation_matrix(3, greenwich_apparent_sidereal_time(utc, dut1_seconds, leap_seconds));
}

CelestialToTerrestrial celestial_to_terrestrial_matrix(double utc, double dut1_seconds,
                                                       const LeapSecondTable& leap_seconds)
{
    const double tdb = tdb_from_tt(tt_from_utc(utc, leap_seconds).tt);
    const Matrix3 rotation = earth_rotation_matrix(utc, dut1_seconds, leap_seconds);
    const Matrix3 np = precession_nutation_matrix(tdb);
    return {tdb, matrix_product(rotation, np)};
}

Vector3 observer_geocentric_position(double utc, double dut1_seconds, const LeapSecondTable& leap_seconds,
                                     const Vector3& observer_earth_fixed)
{
    const CelestialToTerrestrial c2t = celestial_to_terrestrial_matrix(utc, dut1_seconds, leap_seconds);
    return matrix_vector_product(transpose_matrix(c2t.matrix), observer_earth_fixed);
}

}  // namespace fieldsearch
