#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "angles.hpp"
#include "osculating_elements.hpp"
#include "two_body.hpp"

using namespace fieldsearch;

namespace {

double distance(const Vector3& a, const Vector3& b)
{
    return std::sqrt((a(1) - b(1)) * (a(1) - b(1)) + (a(2) - b(2)) * (a(2) - b(2)) + (a(3) - b(3)) * (a(3) - b(3)));
}

double length(const Vector3& a)
{
    return std::sqrt(dot_product(a, a));
}

// The velocity of the two-body positions of two_body.hpp (written apart from
// the states here) by a central difference of step h days.
Vector3 differenced_velocity(const PerihelionElements& elements, double tt, double h)
{
    const Vector3 ahead = position_from_perihelion_elements(elements, tt + h);
    const Vector3 behind = position_from_perihelion_elements(elements, tt - h);
    return Vector3{{(ahead(1) - behind(1)) / (2.0 * h), (ahead(2) - behind(2)) / (2.0 * h),
                    (ahead(3) - behind(3)) / (2.0 * h)}};
}

// The difference of two angles in degrees, reduced into (-180, 180].
double angle_difference(double a, double b)
{
    double d = std::fmod(a - b, 360.0);
    if (d > 180.0) {
        d -= 360.0;
    }
    if (d <= -180.0) {
        d += 360.0;
    }
    return d;
}

}  // namespace

// Catches a wrong orientation (node and perihelion swapped, the obliquity's
// rotation the wrong way), a wrong conic or a velocity off in size or
// direction: states from elements against the positions of two_body.hpp and
// their numerical derivative, for an asteroid record's elements and for
// perihelion elements of every kind of conic.
TEST(OsculatingElements, StatesAgreeWithTwoBodyPositions)
{
    const Vector3 aei{{2.5, 0.1, 10.0}};
    const Vector3 angles{{80.0, 70.0, 30.0}};
    const StateVector record_state = state_from_elements(aei, angles);
    EXPECT_LT(distance(record_state.position, position_from_elements(51000.0, aei, angles, 51000.0)), 1e-14);
    const double n = mean_motion(2.5);
    // The same orbit as perihelion elements: M = 30 deg at 51000.
    const PerihelionElements same{51000.0 - 30.0 * DEG_TO_RAD / n, 2.5 * 0.9, 0.1, 10.0, 80.0, 70.0};
    EXPECT_LT(distance(record_state.velocity, differenced_velocity(same, 51000.0, 0.01)), 1e-11);

    const PerihelionElements conics[] = {
        {55000.0, 0.8, 0.3, 25.0, 120.0, 300.0},     // ellipse
        {55000.0, 0.5, 0.995, 145.0, 10.0, 40.0},    // long-period comet, retrograde
        {55000.0, 1.2, 1.0, 60.0, 200.0, 150.0},     // parabola
        {55000.0, 2.0, 1.4, 5.0, 330.0, 90.0},       // hyperbola
    };
    for (const PerihelionElements& elements : conics) {
        for (const double tt : {54900.0, 55000.0, 55003.0, 55250.0}) {
            const StateVector state = state_from_perihelion_elements(elements, tt);
            const Vector3 reference = position_from_perihelion_elements(elements, tt);
            EXPECT_LT(distance(state.position, reference), 1e-12 * length(reference)) << elements.e << " " << tt;
            const Vector3 velocity = differenced_velocity(elements, tt, 1e-3);
            EXPECT_LT(distance(state.velocity, velocity), 1e-8 * length(velocity)) << elements.e << " " << tt;
        }
    }
}

// Catches an element written in the wrong convention or range (node or
// perihelion in the wrong quadrant, an inclination above 90 deg folded back,
// a mean anomaly or perihelion time off by half a period, q and a confused):
// elements from the state of known elements give those elements back, for
// direct and retrograde ellipses, and the perihelion time is the nearest one.
TEST(OsculatingElements, ElementsFromStateGiveBackTheCatalogueElements)
{
    struct Case {
        Vector3 aei;
        Vector3 angles;
    };
    const Case cases[] = {
        {{{2.5, 0.1, 10.0}}, {{80.0, 70.0, 30.0}}},
        {{{1.1, 0.5, 5.0}}, {{40.0, 300.0, 10.0}}},
        {{{13.7, 0.38, 160.0}}, {{209.0, 339.0, 200.0}}},
        {{{5.2, 0.05, 28.0}}, {{300.0, 100.0, 359.0}}},
        {{{42.0, 0.2, 91.0}}, {{1.0, 181.0, 179.0}}},
    };
    for (const Case& c : cases) {
        const OsculatingElements elements = elements_from_state(state_from_elements(c.aei, c.angles), 60000.0);
        EXPECT_NEAR(elements.semimajor_axis, c.aei(1), 1e-12 * c.aei(1));
        EXPECT_NEAR(elements.eccentricity, c.aei(2), 1e-12);
        EXPECT_NEAR(elements.inclination, c.aei(3), 1e-10);
        EXPECT_NEAR(angle_difference(elements.node, c.angles(1)), 0.0, 1e-9);
        EXPECT_NEAR(angle_difference(elements.perihelion_argument, c.angles(2)), 0.0, 1e-9);
        EXPECT_NEAR(angle_difference(elements.mean_anomaly, c.angles(3)), 0.0, 1e-9);
        EXPECT_GE(elements.mean_anomaly, 0.0);
        EXPECT_LT(elements.mean_anomaly, 360.0);
        EXPECT_NEAR(elements.perihelion_distance, c.aei(1) * (1.0 - c.aei(2)), 1e-12 * c.aei(1));
        const double m = c.angles(3) > 180.0 ? c.angles(3) - 360.0 : c.angles(3);
        EXPECT_NEAR(elements.perihelion_time, 60000.0 - m * DEG_TO_RAD / mean_motion(c.aei(1)), 1e-6);
    }
}

// Catches a conversion that fails on awkward orbits (nearly circular, in the
// ecliptic, retrograde, nearly parabolic, hyperbolic) or loses digits: 2000
// random states go to elements and back (through perihelion elements, the
// comets' layout) to 1e-11 of their size.
TEST(OsculatingElements, StateElementsStateRoundTrip)
{
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double worst_position = 0.0;
    double worst_velocity = 0.0;
    for (int k = 0; k < 2000; ++k) {
        const int kind = k % 5;
        const double q = 0.1 + 30.0 * unit(random);
        double e = 0.0;
        switch (kind) {
        case 0: e = 1e-9 * unit(random); break;  // circular
        case 1: e = 0.9 * unit(random); break;
        case 2: e = 0.98 + 0.0199 * unit(random); break;
        case 3: e = 1.0 + 2.0 * unit(random); break;
        default: e = unit(random); break;
        }
        double inclination = 180.0 * unit(random);
        if (k % 7 == 0) {
            inclination = 1e-9 * unit(random);  // in the ecliptic
        }
        const PerihelionElements elements{60000.0, q, e, inclination, 360.0 * unit(random), 360.0 * unit(random)};
        const double tt = 60000.0 + (unit(random) - 0.5) * 400.0;
        const StateVector state = state_from_perihelion_elements(elements, tt);
        const StateVector back = state_from_perihelion_elements(perihelion_elements_of(elements_from_state(state, tt)), tt);
        const double dp = distance(back.position, state.position) / length(state.position);
        const double dv = distance(back.velocity, state.velocity) / length(state.velocity);
        worst_position = std::fmax(worst_position, dp);
        worst_velocity = std::fmax(worst_velocity, dv);
        EXPECT_LT(dp, 1e-11) << "q " << q << " e " << e << " i " << inclination;
        EXPECT_LT(dv, 1e-11) << "q " << q << " e " << e << " i " << inclination;
    }
    RecordProperty("worst_relative_position", std::to_string(worst_position));
    RecordProperty("worst_relative_velocity", std::to_string(worst_velocity));
}
