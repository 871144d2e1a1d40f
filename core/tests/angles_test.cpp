#include "angles.hpp"

#include <cmath>

#include <gtest/gtest.h>

using namespace fieldsearch;

// A missing 360 or swapped arguments put the angle in the wrong quadrant;
// frac must keep the sign of its argument.
TEST(Angles, PositionAngleAndFracKeepTheirQuadrantsAndSigns)
{
    EXPECT_DOUBLE_EQ(position_angle_deg(1, -1), 135.0);
    EXPECT_DOUBLE_EQ(position_angle_deg(-1, 1), 315.0);
    EXPECT_EQ(position_angle_deg(0, 1), 0.0);
    EXPECT_DOUBLE_EQ(position_angle_deg(0, -1), 180.0);
    EXPECT_EQ(frac(-0.5), -0.5);
    EXPECT_EQ(frac(2.75), 0.75);
    EXPECT_EQ(frac(-1.25), -0.25);
}

// Right ascension from the wrong components or a declination taken against
// r instead of rho would show here; the axis and the origin must give
// finite values, never a NaN.
TEST(SphericalFromVector, GivesPlaceAndDistanceEverywhere)
{
    struct Case {
        Vector3 v;
        double ra, dec, distance;
    };
    const Case cases[] = {
        {Vector3{{0, 1, 1}}, 90.0, 45.0, std::sqrt(2.0)},
        {Vector3{{1, -1, 0}}, 315.0, 0.0, std::sqrt(2.0)},
        {Vector3{{-2, 0, -2}}, 180.0, -45.0, std::sqrt(8.0)},
        {Vector3{{0, 0, 5}}, 0.0, 90.0, 5.0},
        {Vector3{{0, 0, -3}}, 0.0, -90.0, 3.0},
        {Vector3{{0, 0, 0}}, 0.0, 0.0, 0.0},
    };
    for (const Case& c : cases) {
        const SphericalCoordinates s = spherical_from_vector(c.v);
        EXPECT_NEAR(s.ra_deg, c.ra, 1e-12);
        EXPECT_NEAR(s.dec_deg, c.dec, 1e-12);
        EXPECT_NEAR(s.distance, c.distance, 1e-15);
    }
}

// The carries of the sexagesimal split: seconds above 59.999999 carry into
// the minutes and a carried 60 minutes into the hours, with no wrap at 24 h;
// values just below the threshold are left alone even where the printed
// seconds would round to 60.
TEST(Sexagesimal, CarriesOnlyAboveTheThreshold)
{
    struct RaCase {
        double ra;
        int hours, minutes;
        double seconds;
    };
    const RaCase ra_cases[] = {
        {150.0, 10, 0, 0.0},
        {359.9999999999, 24, 0, 0.0},
        {359.99999999, 23, 59, 59.9999976},
        {-15.0, 1, 0, 0.0},
        {0.041666666666666664, 0, 0, 10.0},
    };
    for (const RaCase& c : ra_cases) {
        const HoursMinutesSeconds hms = ra_to_hms(c.ra);
        EXPECT_EQ(hms.hours, c.hours) << c.ra;
        EXPECT_EQ(hms.minutes, c.minutes) << c.ra;
        EXPECT_NEAR(hms.seconds, c.seconds, 1e-6) << c.ra;
    }

    struct DecCase {
        double dec;
        char sign;
        int degrees, arcminutes;
        double arcseconds;
    };
    const DecCase dec_cases[] = {
        {-0.25, '-', 0, 15, 0.0},
        {0.5, '+', 0, 30, 0.0},
        {-0.0, '+', 0, 0, 0.0},
        {14.99999999999, '+', 15, 0, 0.0},
        {-45.5, '-', 45, 30, 0.0},
        // 59.9999995 s: carried into the minutes.
        {10.0 + 59.0 / 60.0 + 59.9999995 / 3600.0, '+', 11, 0, 0.0},
        // 59.9999 s: below the threshold, not carried.
        {10.0 + 59.0 / 60.0 + 59.9999 / 3600.0, '+', 10, 59, 59.9999},
    };
    for (const DecCase& c : dec_cases) {
        const SignDegreesMinutesSeconds dms = dec_to_dms(c.dec);
        EXPECT_EQ(dms.sign, c.sign) << c.dec;
        EXPECT_EQ(dms.degrees, c.degrees) << c.dec;
        EXPECT_EQ(dms.arcminutes, c.arcminutes) << c.dec;
        EXPECT_NEAR(dms.arcseconds, c.arcseconds, 1e-6) << c.dec;
    }
}
