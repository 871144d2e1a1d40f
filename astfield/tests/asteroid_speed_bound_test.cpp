#include "asteroid_speed_bound.hpp"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

using namespace fieldsearch;

// Bounds against published speeds: 29.78 km/s for a circular orbit at 1 AU,
// 54.55 km/s at the perihelion of a Halley-like comet (a = 17.834 AU, e =
// 0.967, q = 0.5889 AU), plus the observer's 30.29 km/s; the comet's bound
// from its perihelion elements is that of the same orbit from a and e, and a
// parabola at q = 1 AU moves at sqrt(2) x 29.78 km/s. Safe, at most 5 % above.
TEST(AsteroidSpeedBound, CoversPublishedSpeedsAndRejectsNonConics)
{
    const struct { double bound, speed; } cases[] = {
        {asteroid_speed_bound_km_s(1.0, 0.0), 29.78 + 30.29},
        {asteroid_speed_bound_km_s(17.834, 0.967), 54.55 + 30.29},
        {comet_speed_bound_km_s(17.834 * (1.0 - 0.967), 0.967), 54.55 + 30.29},
        {comet_speed_bound_km_s(1.0, 1.0), 42.12 + 30.29},
    };
    for (const auto& c : cases) {
        EXPECT_GE(c.bound, c.speed);
        EXPECT_LE(c.bound, 1.05 * c.speed);
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double bound : {asteroid_speed_bound_km_s(nan, 0.1), asteroid_speed_bound_km_s(2.0, -0.1),
                         asteroid_speed_bound_km_s(2.0, 1.0), comet_speed_bound_km_s(0.0, 0.5),
                         comet_speed_bound_km_s(1.0, -0.5)}) {
        EXPECT_TRUE(std::isnan(bound));
    }
}
