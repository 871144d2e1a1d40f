#include "sidereal_time.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include "angles.hpp"

using namespace fieldsearch;

// GMST at J2000.0 and at the asteroid program's instant, and GAST there: a
// wrong coefficient, a wrong fraction of the day or a nutation taken at the
// wrong time scale moves the last digits.
TEST(SiderealTime, MatchesReferenceValues)
{
    EXPECT_NEAR(greenwich_mean_sidereal_time(51544.5, 0.0), 4.894961212823056, 2e-15);
    EXPECT_NEAR(greenwich_mean_sidereal_time(54606.21805555555, 0.0), 5.52806788844503, 2e-15);
    EXPECT_NEAR(greenwich_apparent_sidereal_time(54606.21805555555, 0.0, compiled_leap_second_table()),
        5.528107696004779, 2e-15);
    // The equation of the equinoxes there is +0.547 s of time.
    const double equation_of_equinoxes =
        greenwich_apparent_sidereal_time(54606.21805555555, 0.0, compiled_leap_second_table()) -
        greenwich_mean_sidereal_time(54606.21805555555, 0.0);
    EXPECT_NEAR(equation_of_equinoxes * 86400.0 / TWO_PI, 0.547, 0.0005);
    // UT1 - UTC of a whole day is one more day of UTC.
    EXPECT_NEAR(greenwich_mean_sidereal_time(54000.3, 86400.0), greenwich_mean_sidereal_time(54001.3, 0.0), 1e-12);
    for (double utc : {51544.5, 40000.99, 54606.87, 60000.5}) {
        const double gmst = greenwich_mean_sidereal_time(utc, 0.0);
        EXPECT_GE(gmst, 0.0);
        EXPECT_LT(gmst, TWO_PI);
    }
}

// The TDB handed back with the matrix, the orthogonality of the matrix and
// the observer turned into J2000: its length is kept and its z component,
// along the pole of date, barely changes.
TEST(SiderealTime, CelestialToTerrestrialMatrixIsARotationAtTheRightInstant)
{
    const CelestialToTerrestrial c2t = celestial_to_terrestrial_matrix(54606.21805555555, 0.0,
        compiled_leap_second_table());
    EXPECT_EQ(c2t.tdb, 54606.21881001337);
    const Matrix3 product = matrix_product(c2t.matrix, transpose_matrix(c2t.matrix));
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 3; ++j) {
            EXPECT_NEAR(product(i, j), i == j ? 1.0 : 0.0, 1e-15);
        }
    }

    Vector3 observer;
    observer(1) = 3395.0303;
    observer(2) = 3128.7911;
    observer(3) = 4388.8511;
    const Vector3 celestial = observer_geocentric_position(54606.21805555555, 0.0,
        compiled_leap_second_table(), observer);
    EXPECT_NEAR(std::sqrt(dot_product(celestial, celestial)), 6370.053, 0.0005);
    EXPECT_NEAR(celestial(3), observer(3), 15.0);  // 8 years of precession tilt the pole by ~2.7'
    // The observer's right ascension is its east longitude plus the apparent
    // sidereal time (less the precession of 8 years in right ascension, ~0.11 deg).
    const double longitude = std::atan2(observer(2), observer(1));
    const double gast = greenwich_apparent_sidereal_time(54606.21805555555, 0.0, compiled_leap_second_table());
    const double ra = std::atan2(celestial(2), celestial(1));
    EXPECT_NEAR(std::remainder(ra - (longitude + gast), TWO_PI) * RAD_TO_DEG, -0.11, 0.02);
}
