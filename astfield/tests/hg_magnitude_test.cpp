#include <gtest/gtest.h>

#include <cmath>

#include "angles.hpp"
#include "hg_magnitude.hpp"

using namespace fieldsearch;

namespace {

// Heliocentric vector of length r along x and observer-to-object vector of
// length delta at the phase angle alpha (degrees) from it.
void phase_geometry(double r, double delta, double alpha_deg, Vector3& helio, Vector3& topo)
{
    helio = Vector3{{r, 0.0, 0.0}};
    topo = Vector3{{delta * std::cos(alpha_deg * DEG_TO_RAD), delta * std::sin(alpha_deg * DEG_TO_RAD), 0.0}};
}

}  // namespace

// Catches a wrong phase function, phase angle or distance term: the worked
// example (H 10, G 0.15, r 2 AU, delta 1.118 AU, phase 26.565 deg gives
// V 12.94751) and the phase terms of the H-G system at 0, 20 and 60 deg for
// G = 0.15 (0, 0.99963 and 2.14865 mag).
TEST(HgMagnitude, MatchesWorkedExampleAndPhaseTerms)
{
    EXPECT_NEAR(hg_magnitude(10.0, 0.15, Vector3{{2.0, 0.0, 0.0}}, Vector3{{1.0, 0.5, 0.0}}), 12.94751, 5e-6);
    struct Case {
        double r;
        double delta;
        double alpha_deg;
        double expected_minus_h;
    };
    const Case cases[] = {
        {2.0, 1.0, 0.0, 1.50515},   // 5 log10(2), no phase term
        {1.0, 1.0, 20.0, 0.99963},  // phase term alone
        {1.0, 1.0, 60.0, 2.14865},
    };
    for (const Case& c : cases) {
        Vector3 helio;
        Vector3 topo;
        phase_geometry(c.r, c.delta, c.alpha_deg, helio, topo);
        EXPECT_NEAR(hg_magnitude(7.0, 0.15, helio, topo) - 7.0, c.expected_minus_h, 5e-6) << c.alpha_deg;
    }
}

// Catches a missing or misplaced guard on the power term: near opposition of
// the Sun (phase above about 172.96 deg) the result is H itself, just below
// it the full formula applies.
TEST(HgMagnitude, FullFormulaUpToTheCutOff)
{
    Vector3 helio;
    Vector3 topo;
    phase_geometry(1.0, 0.5, 173.5, helio, topo);
    EXPECT_EQ(hg_magnitude(12.0, 0.15, helio, topo), 12.0);
    phase_geometry(1.0, 0.5, 172.5, helio, topo);
    EXPECT_GT(hg_magnitude(12.0, 0.15, helio, topo), 12.0 + 5.0);
}
