#include "phase_geometry.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include "constants.hpp"

using namespace fieldsearch;

namespace {

Vector3 au(double x, double y, double z)
{
    return Vector3{{x * KM_PER_AU, y * KM_PER_AU, z * KM_PER_AU}};
}

}  // namespace

// The Sun - object - observer triangle drawn by hand (vectors in AU times
// KM_PER_AU): opposition, quadrature, an object between the Sun and the
// observer, one beside the Sun and one off the ecliptic. A phase angle and
// an elongation taken at the wrong vertex, the observer's heliocentric
// position formed with the wrong sign, or distances in km fail.
TEST(PhaseGeometry, SidesAndAnglesOfTheTriangle)
{
    struct Case {
        const char* what;
        Vector3 object_heliocentric;
        Vector3 observer_to_object;
        double r_au;
        double delta_au;
        double phase_deg;
        double elongation_deg;
    };
    const Case cases[] = {
        // Observer at (1, 0, 0) AU throughout.
        {"opposition", au(2.5, 0.0, 0.0), au(1.5, 0.0, 0.0), 2.5, 1.5, 0.0, 180.0},
        {"quadrature", au(1.0, 1.0, 0.0), au(0.0, 1.0, 0.0), std::sqrt(2.0), 1.0, 45.0, 90.0},
        {"inferior conjunction", au(0.7, 0.0, 0.0), au(-0.3, 0.0, 0.0), 0.7, 0.3, 180.0, 0.0},
        // At (0, 0.5): r 0.5, delta sqrt(1.25); elongation atan(0.5), phase
        // 180 - 90 - atan(0.5).
        {"beside the Sun", au(0.0, 0.5, 0.0), au(-1.0, 0.5, 0.0), 0.5, std::sqrt(1.25),
         90.0 - std::atan(0.5) * 180.0 / M_PI, std::atan(0.5) * 180.0 / M_PI},
        // Straight above the observer by 1 AU: r sqrt(2), elongation 90,
        // phase 45.
        {"above the ecliptic", au(1.0, 0.0, 1.0), au(0.0, 0.0, 1.0), std::sqrt(2.0), 1.0, 45.0, 90.0},
    };
    for (const Case& c : cases) {
        const PhaseGeometry g = phase_geometry(c.object_heliocentric, c.observer_to_object);
        EXPECT_NEAR(g.helio_distance_au, c.r_au, 1e-12) << c.what;
        EXPECT_NEAR(g.geo_distance_au, c.delta_au, 1e-12) << c.what;
        EXPECT_NEAR(g.phase_angle_deg, c.phase_deg, 1e-6) << c.what;
        EXPECT_NEAR(g.elongation_deg, c.elongation_deg, 1e-6) << c.what;
    }
}
