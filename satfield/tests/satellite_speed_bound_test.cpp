#include "satellite_speed_bound.hpp"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

using namespace fieldsearch;

// Bounds against published speeds: 7.67 km/s on a circular orbit 400 km up,
// 3.07 km/s geostationary, about 10.0 km/s at a Molniya perigee (a = 26600
// km, e = 0.74), plus the equator's 0.465 km/s. Safe, and no more than 5 %
// above; no bound for what is no ellipse.
TEST(SatelliteSpeedBound, CoversPublishedSpeedsAndRejectsNonEllipses)
{
    const struct { double bound, speed; } cases[] = {
        {satellite_speed_bound_km_s(6778.137, 0.0, Vector3{{6378.137, 0, 0}}), 7.67 + 0.465},
        {satellite_speed_bound_km_s(42164.0, 0.0, Vector3{{0, 0, 6356.8}}), 3.07},
        {satellite_speed_bound_km_s(26600.0, 0.74, Vector3{{0, 6378.137, 0}}), 10.0 + 0.465},
    };
    for (const auto& c : cases) {
        EXPECT_GE(c.bound, c.speed);
        EXPECT_LE(c.bound, 1.05 * c.speed);
    }
    for (double bound : {satellite_speed_bound_km_s(7000.0, 1.0, Vector3{}), satellite_speed_bound_km_s(-7000.0, 0.1, Vector3{})}) {
        EXPECT_TRUE(std::isnan(bound));
    }
}

// The geostationary mean motion, 1.0027379 rev/day, gives the published
// radius 42,164 km; one revolution in 92.56 min (a circular orbit 400 km up,
// by Kepler's third law) about 6,778 km.
TEST(SatelliteSpeedBound, SemimajorAxisFromTheMeanMotion)
{
    EXPECT_NEAR(semimajor_axis_km(1.00273781191135448), 42164.17, 0.05);
    EXPECT_NEAR(semimajor_axis_km(1440.0 / 92.56), 6778.1, 1.0);
}
