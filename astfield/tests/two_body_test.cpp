#include <gtest/gtest.h>

#include <cmath>

#include "angles.hpp"
#include "two_body.hpp"

using namespace fieldsearch;

namespace {

// The plain five Newton steps from M + e sin M.
double five_newton_steps(double e, double m)
{
    double x = m + e * std::sin(m);
    for (int k = 0; k < 5; ++k) {
        x = x - (x - e * std::sin(x) - m) / (1.0 - e * std::cos(x));
    }
    return x;
}

// True anomaly from the half-angle formula, in the revolution of E.
double half_angle_true_anomaly(double e, double big_e)
{
    const double nu = 2.0 * std::atan2(std::sqrt(1.0 + e) * std::sin(big_e / 2.0),
                                       std::sqrt(1.0 - e) * std::cos(big_e / 2.0));
    return nu + TWO_PI * std::round((big_e - nu) / TWO_PI);
}

}  // namespace

// Catches a wrong Kepler iteration or orbit formula: the root of Kepler's
// equation for e = 0.5, M = 1 and the published worked example of a full
// two-body position (a = 2.5 AU, e = 0.1, i = 10, node 80, perihelion 70,
// M0 = 30 deg, 100 days after the epoch).
TEST(TwoBody, MatchesWorkedExamples)
{
    EXPECT_NEAR(solve_kepler(0.5, 1.0), 1.498701134, 1e-9);

    EXPECT_NEAR(mean_motion(2.5), 0.004351825057, 1e-12);
    const Vector3 aei{{2.5, 0.1, 10.0}};
    const Vector3 angles{{80.0, 70.0, 30.0}};
    const double m = mean_motion(2.5) * 100.0 + 30.0 * DEG_TO_RAD;
    EXPECT_NEAR(m, 0.9587812813, 1e-10);
    EXPECT_NEAR(solve_kepler(0.1, m), 1.045288196, 1e-9);
    EXPECT_NEAR(true_anomaly(0.1, solve_kepler(0.1, m)), 1.134190854, 1e-9);

    const Vector3 au = position_from_elements(51000.0, aei, angles, 51100.0);
    EXPECT_NEAR(au(1), -1.920391221, 1e-9);
    EXPECT_NEAR(au(2), -1.369206385, 1e-9);
    EXPECT_NEAR(au(3), -0.2757428122, 1e-10);
    const Vector3 km = asteroid_position_km(51000.0, aei, angles, 51100.0);
    EXPECT_NEAR(km(1), -287286437.5, 0.1);
    EXPECT_NEAR(km(2), -204830359.8, 0.1);
    EXPECT_NEAR(km(3), -41250537.57, 0.01);
}

// Catches a Kepler solver that stops after five steps where they do not
// converge (e = 0.99 near perihelion, where they miss by 0.03 rad, and e up
// to 0.999999, where they run away; also many revolutions on), and one
// whose extra steps change the bits of ordinary orbits.
TEST(TwoBody, KeplerConvergesForHighEccentricityAndKeepsOrdinaryResults)
{
    const double hard[][2] = {{0.99, 1e-4},   {0.99, 0.0313}, {0.99, 0.05},     {0.99, -0.02},
                              {0.999, 1e-3},  {0.9999, 0.01}, {0.999999, -0.3}, {0.99, 100.0 * TWO_PI + 0.03}};
    for (const auto& c : hard) {
        const double e = c[0];
        const double m = c[1];
        const double big_e = solve_kepler(e, m);
        EXPECT_NEAR(big_e - e * std::sin(big_e), m, 1e-13 * std::fmax(1.0, std::fabs(m))) << "e " << e << " M " << m;
    }
    // Five steps alone are far off here: this is what the extra steps mend.
    EXPECT_GT(std::fabs(five_newton_steps(0.99, 0.0313) - solve_kepler(0.99, 0.0313)), 0.02);

    const double ordinary[][2] = {{0.0, 0.3}, {0.1, 0.9587812813}, {0.25, 2.0}, {0.5, 1.0}, {0.3, 57.0}};
    for (const auto& c : ordinary) {
        EXPECT_EQ(solve_kepler(c[0], c[1]), five_newton_steps(c[0], c[1])) << "e " << c[0] << " M " << c[1];
    }
}

// Catches the one-argument arctangent putting the true anomaly in the wrong
// half-plane when nu - E exceeds 90 deg (e above 2 sqrt(2)/3 near
// perihelion), and a change of result where that form was right.
TEST(TwoBody, TrueAnomalyLiesInTheRightHalfPlane)
{
    const double cases[][2] = {{0.97, 0.05}, {0.97, -0.08}, {0.99, 0.2}, {0.999, 0.01},
                               {0.1, 1.0},   {0.5, 3.0},    {0.2, -2.5}, {0.97, 0.05 + 4.0 * TWO_PI}};
    for (const auto& c : cases) {
        const double nu = true_anomaly(c[0], c[1]);
        EXPECT_NEAR(nu, half_angle_true_anomaly(c[0], c[1]), 1e-12) << "e " << c[0] << " E " << c[1];
    }
    // Near perihelion nu and E share their sign and cos(nu) > 0 for E small.
    EXPECT_GT(std::cos(true_anomaly(0.99, 0.1)), 0.0);
}

// Catches a mishandled circular or planar orbit, and a mean anomaly reduced
// wrongly: e = 0 moves uniformly on a circle, i = 0 keeps the point in the
// ecliptic (z/y = tan of the obliquity in the equatorial frame), and whole
// revolutions later the asteroid is back in place.
TEST(TwoBody, CircularPlanarAndLongPropagation)
{
    const Vector3 aei{{2.0, 0.0, 0.0}};
    const Vector3 angles{{0.0, 0.0, 0.0}};
    const double period = TWO_PI / mean_motion(2.0);
    const Vector3 quarter = position_from_elements(0.0, aei, angles, period / 4.0);
    EXPECT_NEAR(quarter(1), 0.0, 1e-12);
    EXPECT_NEAR(std::hypot(quarter(2), quarter(3)), 2.0, 1e-12);
    EXPECT_NEAR(quarter(3) / quarter(2), std::tan(OBLIQUITY_J2000), 1e-12);

    const Vector3 tilted{{2.7, 0.2, 12.0}};
    const Vector3 tilted_angles{{40.0, 250.0, 10.0}};
    const double tilted_period = TWO_PI / mean_motion(2.7);
    const Vector3 now = position_from_elements(0.0, tilted, tilted_angles, 5.0);
    const Vector3 later = position_from_elements(0.0, tilted, tilted_angles, 5.0 + 30.0 * tilted_period);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_NEAR(now(i), later(i), 1e-9);
    }
}
