#include "illumination.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <erfa.h>
#include <gtest/gtest.h>

using namespace fieldsearch;

namespace {

constexpr double EARTH_RADIUS_KM = 6378.137;
constexpr double SUN_KM = 695700.0;
constexpr double ERFA_KM_PER_AU = 149597870.7;
constexpr double DEG = M_PI / 180.0;

Vector3 scaled(const Vector3& v, double k)
{
    return Vector3{{k * v(1), k * v(2), k * v(3)}};
}

Vector3 sum(const Vector3& a, const Vector3& b)
{
    return Vector3{{a(1) + b(1), a(2) + b(2), a(3) + b(3)}};
}

double norm(const Vector3& v)
{
    return std::sqrt(v(1) * v(1) + v(2) * v(2) + v(3) * v(3));
}

Vector3 unit(const Vector3& v)
{
    return scaled(v, 1.0 / norm(v));
}

Vector3 cross(const Vector3& a, const Vector3& b)
{
    return Vector3{{a(2) * b(3) - a(3) * b(2), a(3) * b(1) - a(1) * b(3), a(1) * b(2) - a(2) * b(1)}};
}

// The Sun's geometric geocentric position (km) at TT MJD `tt`: minus ERFA's
// heliocentric Earth (eraEpv00, ICRS axes, which the mean equator of J2000.0
// matches to 0.02").
Vector3 erfa_sun_km(double tt)
{
    double pvh[2][3];
    double pvb[2][3];
    eraEpv00(2400000.5, tt, pvh, pvb);
    return Vector3{{-pvh[0][0] * ERFA_KM_PER_AU, -pvh[0][1] * ERFA_KM_PER_AU, -pvh[0][2] * ERFA_KM_PER_AU}};
}

// The shadow by the second method: from the body, the Sun's and the Earth's
// apparent radii and the angle between their centres. The Sun is hidden in
// part when the discs overlap, wholly when the Sun's lies inside the Earth's.
struct AngularView {
    double sun_radius;
    double earth_radius;
    double separation;
};

AngularView angular_view(const Vector3& body, const Vector3& sun)
{
    const Vector3 to_sun = sum(sun, scaled(body, -1.0));
    const Vector3 to_earth = scaled(body, -1.0);
    const double c = dot_product(to_sun, to_earth) / (norm(to_sun) * norm(to_earth));
    return {std::asin(SUN_KM / norm(to_sun)), std::asin(EARTH_RADIUS_KM / norm(body)),
            std::acos(std::clamp(c, -1.0, 1.0))};
}

ShadowState angular_state(const AngularView& v)
{
    if (v.separation >= v.sun_radius + v.earth_radius) {
        return ShadowState::sunlit;
    }
    if (v.separation <= v.earth_radius - v.sun_radius) {
        return ShadowState::umbra;
    }
    return ShadowState::penumbra;
}

// The visible fraction of a disc of angular radius a whose centre is c from
// that of an occulting disc of radius b, by numerical integration over the
// disc: rings of radius rho about its centre (solid angle 2 pi sin rho drho),
// each hidden over the arc whose points lie within b of the occulter's
// centre (the spherical law of cosines), midpoint rule in rho.
double integrated_visible_fraction(double a, double b, double c, int rings = 100000)
{
    double hidden = 0.0;
    double total = 0.0;
    const double step = a / rings;
    for (int i = 0; i < rings; ++i) {
        const double rho = (i + 0.5) * step;
        // A point at rho from the disc's centre, at angle phi from the great
        // circle towards the occulter, is hidden when cos(distance) > cos b.
        const double denominator = std::sin(rho) * std::sin(c);
        double hidden_arc;  // fraction of the ring hidden
        if (denominator == 0.0) {
            hidden_arc = std::cos(rho) * std::cos(c) > std::cos(b) ? 1.0 : 0.0;
        } else {
            const double k = (std::cos(b) - std::cos(rho) * std::cos(c)) / denominator;
            hidden_arc = k >= 1.0 ? 0.0 : k <= -1.0 ? 1.0 : std::acos(k) / M_PI;
        }
        hidden += hidden_arc * std::sin(rho);
        total += std::sin(rho);
    }
    return 1.0 - hidden / total;
}

// A point at `distance` km from the Earth's centre, `off_axis` radians from
// the shadow's axis (the direction away from the Sun), turned by `roll`
// about it.
Vector3 point_off_the_axis(const Vector3& sun, double distance, double off_axis, double roll)
{
    const Vector3 away = unit(scaled(sun, -1.0));
    const Vector3 p = unit(cross(away, Vector3{{0.0, 0.0, 1.0}}));
    const Vector3 q = cross(away, p);
    const Vector3 across = sum(scaled(p, std::cos(roll)), scaled(q, std::sin(roll)));
    return scaled(sum(scaled(away, std::cos(off_axis)), scaled(across, std::sin(off_axis))), distance);
}

const char* name(ShadowState s)
{
    return s == ShadowState::sunlit ? "sunlit" : s == ShadowState::penumbra ? "penumbra" : "umbra";
}

}  // namespace

// The cones against the second method over a dense grid of bodies, from just
// above the Earth to beyond the umbra's vertex (about 1.38 million km), all
// round the axis and across both edges: a wrong cone angle, vertex, sign or
// a cone taken in front of the Earth gives a state the angles contradict.
// Points within 1e-9 rad of an edge are left out (rounding may go either way).
TEST(EarthShadow, AgreesWithTheApparentDiscsOfSunAndEarth)
{
    const Vector3 sun = erfa_sun_km(54606.5);
    int counts[3] = {0, 0, 0};
    int beyond_umbra = 0;
    for (const double distance : {6500.0, 6878.0, 7500.0, 12000.0, 26560.0, 42164.0, 384400.0, 1.2e6, 1.45e6, 3e6}) {
        for (const double roll : {0.0, 1.9, 4.0}) {
            for (double off_axis_deg = 0.0; off_axis_deg < 180.0;) {
                const Vector3 body = point_off_the_axis(sun, distance, off_axis_deg * DEG, roll);
                const AngularView view = angular_view(body, sun);
                const bool near_edge =
                    std::fabs(view.separation - (view.sun_radius + view.earth_radius)) < 1e-9 ||
                    std::fabs(view.separation - std::fabs(view.earth_radius - view.sun_radius)) < 1e-9;
                if (!near_edge) {
                    const Shadow shadow = earth_shadow(body, sun);
                    const ShadowState expected = angular_state(view);
                    ASSERT_EQ(shadow.state, expected)
                        << "distance " << distance << " off axis " << off_axis_deg << " roll " << roll << ": "
                        << name(shadow.state) << " for " << name(expected);
                    ++counts[static_cast<int>(expected)];
                    beyond_umbra += expected == ShadowState::penumbra && view.earth_radius < view.sun_radius;
                }
                // Fine steps where the edges lie (within 1.5 times the Earth's
                // apparent radius of the axis), coarse ones elsewhere.
                const double edge = std::asin(EARTH_RADIUS_KM / distance) / DEG;
                off_axis_deg += off_axis_deg < 1.5 * edge + 1.0 ? std::max(1e-4, edge * 2e-4) : 0.5;
            }
        }
    }
    EXPECT_GT(counts[static_cast<int>(ShadowState::sunlit)], 1000);
    EXPECT_GT(counts[static_cast<int>(ShadowState::penumbra)], 1000);
    EXPECT_GT(counts[static_cast<int>(ShadowState::umbra)], 1000);
    EXPECT_GT(beyond_umbra, 100);  // the Earth inside the Sun's disc
}

// Named places, with what an observer of the sky would expect there.
TEST(EarthShadow, ClassifiesTypicalPlaces)
{
    const Vector3 sun = erfa_sun_km(54606.5);
    struct Case {
        const char* what;
        Vector3 body;
        ShadowState state;
    };
    const Case cases[] = {
        {"geostationary, straight behind the Earth", point_off_the_axis(sun, 42164.0, 0.0, 0.0),
         ShadowState::umbra},
        {"geostationary, 8.6 deg off the axis (umbra ends near 8.4)", point_off_the_axis(sun, 42164.0, 8.6 * DEG, 0.0),
         ShadowState::penumbra},
        {"geostationary, 9.5 deg off the axis", point_off_the_axis(sun, 42164.0, 9.5 * DEG, 0.0),
         ShadowState::sunlit},
        {"low orbit over the terminator", point_off_the_axis(sun, 6878.0, 90.0 * DEG, 1.0), ShadowState::sunlit},
        {"low orbit under the Sun", point_off_the_axis(sun, 6878.0, 180.0 * DEG, 0.0), ShadowState::sunlit},
        {"towards the Sun at 1.2 million km, inside the penumbra cone's far nappe",
         point_off_the_axis(sun, 1.2e6, 180.0 * DEG, 0.0), ShadowState::sunlit},
        {"the Moon's distance on the axis", point_off_the_axis(sun, 384400.0, 0.0, 0.0), ShadowState::umbra},
        {"beyond the umbra's vertex on the axis", point_off_the_axis(sun, 3e6, 0.0, 0.0), ShadowState::penumbra},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(earth_shadow(c.body, sun).state, c.state) << c.what;
    }
}

// The visible part of the Sun against numerical integration over its disc,
// for the discs a low and a geostationary satellite see and for large and
// annular cases: a planar overlap formula, swapped radii or a wrong corner
// angle are off by far more than 1e-7 (the two methods agree to 2e-10).
TEST(VisibleDiscFraction, MatchesNumericalIntegrationOverTheDisc)
{
    struct Case {
        double disc;
        double occulter;
        double separation;
    };
    const double sun = 0.004650;          // the Sun's apparent radius at 1 AU
    const double low = std::asin(EARTH_RADIUS_KM / 6878.0);
    const double geo = std::asin(EARTH_RADIUS_KM / 42164.0);
    const Case cases[] = {
        {sun, low, low + 0.9 * sun},
        {sun, low, low},
        {sun, low, low - 0.7 * sun},
        {sun, geo, geo + 0.5 * sun},
        {sun, geo, geo - 0.95 * sun},
        {0.3, 0.5, 0.6},                   // large discs: the sphere's curvature counts
        {0.3, 1.2, 1.1},
        {0.5, 1.5707963267948966, 1.8},    // a half-sky occulter
        {0.1, 0.03, 0.05},                 // the occulter wholly inside the disc
        {0.1, 0.03, 0.11},                 // partly inside
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(visible_disc_fraction(c.disc, c.occulter, c.separation),
                    integrated_visible_fraction(c.disc, c.occulter, c.separation), 1e-7)
            << c.disc << " " << c.occulter << " " << c.separation;
    }
    // Disjoint, covering and contained cases have exact values: 1, 0, and
    // 1 - (the occulter's cap over the disc's), cap areas 4 pi sin^2(r / 2).
    EXPECT_EQ(visible_disc_fraction(sun, low, low + 1.0001 * sun), 1.0);
    EXPECT_EQ(visible_disc_fraction(sun, low, low - 1.0001 * sun), 0.0);
    EXPECT_NEAR(visible_disc_fraction(0.1, 0.03, 0.02),
                1.0 - std::pow(std::sin(0.015) / std::sin(0.05), 2.0), 1e-14);
}

// In penumbra the fraction earth_shadow gives is that of the Sun's disc as
// the body sees it (integrated here from the test's own angles), and it runs
// to 1 and 0 at the two cones: a fraction of the wrong disc, or at the wrong
// distances, fails.
TEST(EarthShadow, PenumbralFractionIsThatOfTheSunSeenFromTheBody)
{
    const Vector3 sun = erfa_sun_km(54606.5);
    for (const double distance : {6878.0, 26560.0, 42164.0, 2e6}) {
        // The outer and inner edges (in angle off the axis), by bisection on
        // the second method.
        const auto edge = [&](bool outer) {
            double inside = 0.0;
            double outside = 0.5 * M_PI;
            for (int i = 0; i < 200; ++i) {
                const double middle = 0.5 * (inside + outside);
                const AngularView v = angular_view(point_off_the_axis(sun, distance, middle, 0.7), sun);
                const bool in = outer ? v.separation < v.sun_radius + v.earth_radius
                                      : v.separation < std::fabs(v.earth_radius - v.sun_radius);
                (in ? inside : outside) = middle;
            }
            return inside;
        };
        const double outer = edge(true);
        const double inner = edge(false);
        ASSERT_LT(inner, outer);
        for (int i = 1; i < 10; ++i) {
            const double off_axis = inner + (outer - inner) * i / 10.0;
            const Vector3 body = point_off_the_axis(sun, distance, off_axis, 0.7);
            const AngularView v = angular_view(body, sun);
            const Shadow shadow = earth_shadow(body, sun);
            ASSERT_EQ(shadow.state, ShadowState::penumbra) << distance << " " << i;
            EXPECT_NEAR(shadow.visible_sun_fraction,
                        integrated_visible_fraction(v.sun_radius, v.earth_radius, v.separation), 1e-7)
                << distance << " " << i;
        }
        // At the edges: a hair inside the penumbra nearly all (at the outer
        // cone) or nearly none (at the inner) of the Sun shows.
        const double hair = (outer - inner) * 1e-6;
        const Shadow near_outer = earth_shadow(point_off_the_axis(sun, distance, outer - hair, 0.7), sun);
        const Shadow near_inner = earth_shadow(point_off_the_axis(sun, distance, inner + hair, 0.7), sun);
        EXPECT_EQ(near_outer.state, ShadowState::penumbra) << distance;
        EXPECT_GT(near_outer.visible_sun_fraction, 1.0 - 1e-5) << distance;
        EXPECT_EQ(near_inner.state, ShadowState::penumbra) << distance;
        if (distance < 1.38e6) {
            EXPECT_LT(near_inner.visible_sun_fraction, 1e-5) << distance;
        } else {
            // Beyond the umbra's vertex the inner edge is where the Earth's
            // disc enters the Sun's: the annulus left is 1 - (area ratio).
            const AngularView v = angular_view(point_off_the_axis(sun, distance, inner, 0.7), sun);
            EXPECT_NEAR(near_inner.visible_sun_fraction,
                        1.0 - std::pow(std::sin(0.5 * v.earth_radius) / std::sin(0.5 * v.sun_radius), 2.0), 1e-5);
        }
        EXPECT_EQ(earth_shadow(point_off_the_axis(sun, distance, outer + hair, 0.7), sun).visible_sun_fraction, 1.0);
    }
}

// A satellite on a circular orbit of 500 km height in the plane of the Sun
// passes sunlit -> penumbra -> umbra -> penumbra -> sunlit; the instants
// each change happens (by bisection on the cones' state) are those the
// second method gives (by bisection on the angles) to 1 microsecond, and the
// fraction falls steadily through the penumbra. An orbit tilted so that it
// clears the umbra only grazes the penumbra.
TEST(EarthShadow, SatelliteCrossesTheEdgesWhenTheGeometrySaysSo)
{
    const Vector3 sun = erfa_sun_km(54606.5);
    const double radius = EARTH_RADIUS_KM + 500.0;
    const double rate = std::sqrt(398600.4418 / (radius * radius * radius));  // rad/s
    const double period = 2.0 * M_PI / rate;
    const Vector3 s = unit(sun);
    const Vector3 p = unit(cross(s, Vector3{{0.0, 0.0, 1.0}}));
    const Vector3 q = cross(s, p);

    // `beta`: the Sun's angle above the orbit's plane.
    const auto run = [&](double beta, const std::vector<ShadowState>& expected_states) {
        const Vector3 in_plane_sun = sum(scaled(s, std::cos(beta)), scaled(q, -std::sin(beta)));
        const Vector3 normal = unit(cross(in_plane_sun, p));
        const Vector3 u = unit(cross(p, normal));  // in the plane, towards the Sun's projection
        const auto body_at = [&](double t) {
            return scaled(sum(scaled(u, std::cos(rate * t)), scaled(p, std::sin(rate * t))), radius);
        };
        const auto ours = [&](double t) { return earth_shadow(body_at(t), sun).state; };
        const auto second = [&](double t) { return angular_state(angular_view(body_at(t), sun)); };
        const auto changes = [&](const auto& state_at) {
            std::vector<std::pair<double, ShadowState>> found;
            ShadowState previous = state_at(0.0);
            for (double t = 1.0; t <= period; t += 1.0) {
                const ShadowState now = state_at(t);
                if (now != previous) {
                    double before = t - 1.0;
                    double after = t;
                    while (after - before > 1e-8) {
                        const double middle = 0.5 * (before + after);
                        (state_at(middle) == previous ? before : after) = middle;
                    }
                    found.emplace_back(after, now);
                    previous = now;
                }
            }
            return found;
        };
        const auto ours_found = changes(ours);
        const auto second_found = changes(second);
        if (ours_found.size() != expected_states.size() || second_found.size() != expected_states.size()) {
            ADD_FAILURE() << "beta " << beta << ": " << ours_found.size() << " and " << second_found.size()
                          << " changes for " << expected_states.size();
            return std::vector<std::pair<double, ShadowState>>(expected_states.size());
        }
        for (std::size_t i = 0; i < expected_states.size(); ++i) {
            EXPECT_EQ(ours_found[i].second, expected_states[i]) << beta << " " << i;
            EXPECT_EQ(second_found[i].second, expected_states[i]) << beta << " " << i;
            EXPECT_NEAR(ours_found[i].first, second_found[i].first, 1e-6) << beta << " " << i;
        }
        // Through the entry into the umbra the fraction of the Sun in view falls.
        double last = 1.0;
        const bool into_umbra = expected_states[1] == ShadowState::umbra;
        for (double t = ours_found[0].first + 0.01; into_umbra && t < ours_found[1].first; t += 0.01) {
            const Shadow shadow = earth_shadow(body_at(t), sun);
            if (shadow.state != ShadowState::penumbra) {
                break;
            }
            EXPECT_LT(shadow.visible_sun_fraction, last) << t;
            last = shadow.visible_sun_fraction;
        }
        return ours_found;
    };

    // The orbit starts under the Sun, so it begins sunlit.
    const auto full = run(0.0, {ShadowState::penumbra, ShadowState::umbra, ShadowState::penumbra,
                                ShadowState::sunlit});
    // The angle between the Sun's and the Earth's centres seen from the
    // satellite turns at the orbit's rate (less a parallax of 5e-5 rad): the
    // umbra lasts while it is below the Earth's apparent radius b less the
    // Sun's a, 2 (b - a) of the 2 pi of a revolution (2 x 67.8 deg), the
    // penumbra while it crosses the Sun's diameter (2 x 0.266 deg at
    // 0.0634 deg/s: 8.4 s).
    const double a = std::asin(SUN_KM / norm(sun));
    const double b = std::asin(EARTH_RADIUS_KM / radius);
    EXPECT_NEAR((full[2].first - full[1].first) / period, 2.0 * (b - a) / (2.0 * M_PI), 1e-4);
    EXPECT_NEAR(full[1].first - full[0].first, 2.0 * a / rate, 0.1);
    // With the Sun as far above the orbit's plane as the Earth's apparent
    // radius the satellite never loses the whole Sun.
    run(std::asin(EARTH_RADIUS_KM / radius), {ShadowState::penumbra, ShadowState::sunlit});
}

// The distance to the umbra's boundary: by hand on the axis (from x km
// behind the centre, (vertex - x) sin f to the cone and x - re sin f to the
// tangent circle's disc) and beside it (a body straight above the cone's
// surface by h, measured along its normal, is h from it); and against
// earth_shadow itself: no point nearer than the distance to a body, in any
// of 40 directions, is on the other side of the umbra's edge, and one just
// beyond it along the cone's normal is. A distance to the penumbra's cone, to
// the cone's far nappe or too large anywhere fails.
TEST(UmbraBoundaryDistance, IsTheDistanceToTheEdgeEarthShadowDraws)
{
    const Vector3 sun = erfa_sun_km(54606.5);
    const Vector3 axis = unit(scaled(sun, -1.0));
    const Vector3 across = unit(cross(axis, Vector3{{0.0, 0.0, 1.0}}));
    const double sin_f = (SUN_KM - EARTH_RADIUS_KM) / norm(sun);
    const double cos_f = std::sqrt(1.0 - sin_f * sin_f);
    const double vertex = EARTH_RADIUS_KM / sin_f;
    const double tangent_x = EARTH_RADIUS_KM * sin_f;
    // A point x along the axis behind the centre and rho from it.
    const auto at = [&](double x, double rho) { return sum(scaled(axis, x), scaled(across, rho)); };
    const auto in_umbra = [&](const Vector3& p) { return earth_shadow(p, sun).state == ShadowState::umbra; };

    for (const double x : {6400.0, 42164.0, 384400.0, 1.2e6}) {
        const double expected = std::min((vertex - x) * sin_f, x - tangent_x);
        EXPECT_NEAR(umbra_boundary_distance_km(at(x, 0.0), sun), expected, 1e-6 * expected) << x;
    }
    // The cone's surface at x, its outward normal (sin f, cos f) in (x, rho).
    for (const double x : {7000.0, 42164.0, 384400.0}) {
        const double surface = (vertex - x) * sin_f / cos_f;
        for (const double h : {-200.0, -5.0, 5.0, 200.0}) {
            const Vector3 p = at(x + h * sin_f, surface + h * cos_f);
            EXPECT_NEAR(umbra_boundary_distance_km(p, sun), std::fabs(h), 1e-6) << x << " " << h;
            EXPECT_EQ(in_umbra(p), h < 0.0) << x << " " << h;
        }
    }

    std::uint32_t seed = 12345u;
    const auto uniform = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / 16777216.0;
    };
    int inside = 0;
    int outside = 0;
    for (int k = 0; k < 3000; ++k) {
        const double x = -8000.0 + uniform() * 1.45e6;
        const double cone = std::max(0.0, (vertex - x) * sin_f / cos_f);
        const double rho = std::max(0.0, cone + (uniform() - 0.5) * (x < 50000.0 ? 2000.0 : 20000.0));
        const Vector3 roll = unit(sum(scaled(across, uniform() - 0.5),
                                      scaled(cross(axis, across), uniform() - 0.5)));
        const Vector3 p = sum(scaled(axis, x), scaled(roll, rho));
        if (norm(p) < EARTH_RADIUS_KM) {
            continue;
        }
        const double d = umbra_boundary_distance_km(p, sun);
        const bool state = in_umbra(p);
        (state ? inside : outside) += 1;
        for (int j = 0; j < 40; ++j) {
            const Vector3 u = unit(Vector3{{uniform() - 0.5, uniform() - 0.5, uniform() - 0.5}});
            for (const double part : {0.5, 0.999}) {
                ASSERT_EQ(in_umbra(sum(p, scaled(u, part * d))), state)
                    << "x " << x << " rho " << rho << " distance " << d << " part " << part;
            }
        }
    }
    EXPECT_GT(inside, 500);
    EXPECT_GT(outside, 500);
}

// The phase angle at its extremes and at a right angle, from the vectors in
// either order of size: a wrong vertex or sign fails.
TEST(PhaseAngle, IsTheAngleAtTheBodyBetweenSunAndObserver)
{
    struct Case {
        Vector3 sun_to_body;
        Vector3 observer_to_body;
        double degrees;
    };
    const Case cases[] = {
        {{{1.5e8, 0.0, 0.0}}, {{36000.0, 0.0, 0.0}}, 0.0},  // observer between Sun and body: full phase
        {{{1.5e8, 0.0, 0.0}}, {{-400.0, 0.0, 0.0}}, 180.0},  // body between: new
        {{{1.5e8, 0.0, 0.0}}, {{0.0, 0.0, 1000.0}}, 90.0},
        {{{1.0, 1.0, 0.0}}, {{0.0, 2.0, 0.0}}, 45.0},
        {{{-3.0, 4.0, 0.0}}, {{3.0, 4.0, 0.0}}, 2.0 * std::atan2(3.0, 4.0) / DEG},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(phase_angle_rad(c.sun_to_body, c.observer_to_body) / DEG, c.degrees, 1e-6) << c.degrees;
    }
}

// The diffuse sphere's law and magnitude at full, quarter and new phase, the
// range term, the penumbral term and what leaves the magnitude empty; values
// by hand: -2.5 log10(pi) = -1.2428747, 5 log10(2) = 1.5051500,
// -2.5 log10(0.5) = 0.7525750, sin 60 + (2 pi / 3) cos 60 = 1.9132229.
TEST(DiffuseSphereMagnitude, FollowsTheLambertLaw)
{
    const Shadow lit{ShadowState::sunlit, 1.0};
    struct Case {
        double range_km;
        double phase_deg;
        Shadow shadow;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {1000.0, 90.0, lit, 4.0},
        {1000.0, 0.0, lit, 4.0 - 1.2428747},
        {2000.0, 90.0, lit, 4.0 + 1.5051500},
        {1000.0, 60.0, lit, 4.0 - 2.5 * std::log10(1.9132229)},
        {1000.0, 90.0, {ShadowState::penumbra, 0.5}, 4.0 + 0.7525750},
        {1000.0, 180.0, lit, std::nullopt},
        {1000.0, 90.0, {ShadowState::umbra, 0.0}, std::nullopt},
        {1000.0, 90.0, {ShadowState::penumbra, 0.0}, std::nullopt},
        {0.0, 90.0, lit, std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<double> m = diffuse_sphere_magnitude(4.0, c.range_km, c.phase_deg * DEG, c.shadow);
        ASSERT_EQ(m.has_value(), c.expected.has_value()) << c.range_km << " " << c.phase_deg;
        if (m) {
            EXPECT_NEAR(*m, *c.expected, 1e-7) << c.range_km << " " << c.phase_deg;
        }
    }
    EXPECT_NEAR(diffuse_sphere_phase_law(0.0), M_PI, 1e-15);
    EXPECT_NEAR(diffuse_sphere_phase_law(0.5 * M_PI), 1.0, 1e-15);
    EXPECT_EQ(diffuse_sphere_phase_law(M_PI), 0.0);
}

// Close to 180 deg the law's two terms cancel: against the same expression
// in long double, a lost digit or a wrong series term shows (1e-3 is where
// the series takes over).
TEST(DiffuseSphereMagnitude, PhaseLawNearNewPhaseKeepsItsDigits)
{
    // pi as the double M_PI plus the rest, 1.2246467991473532e-16.
    constexpr long double PI_REST = 1.2246467991473532e-16L;
    for (const double e : {1e-1, 1e-2, 1.001e-3, 0.999e-3, 1e-4, 3e-5}) {
        const double phase = M_PI - e;
        // sin e' - e' cos e' in long double, e' = pi - phase exactly (M_PI -
        // phase is exact in double arithmetic so close to pi).
        const long double e_exact = static_cast<long double>(M_PI - phase) + PI_REST;
        const long double expected = std::sin(e_exact) - e_exact * std::cos(e_exact);
        EXPECT_NEAR(diffuse_sphere_phase_law(phase) / expected, 1.0L, 1e-8) << e;
    }
}

// Everything a row shows at once, for a body 1,000 km straight above an
// observer at midnight (the Sun behind the observer, so 90 deg phase means
// the Sun is at right angles): range, phase and a magnitude that is m_std,
// and no magnitude without one.
TEST(IlluminationSeenFrom, GathersRangeShadowPhaseAndMagnitude)
{
    const Vector3 sun{{1.496e8, 0.0, 0.0}};
    const Vector3 observer{{0.0, 6378.137, 0.0}};
    const Vector3 body{{0.0, 7378.137, 0.0}};
    const Illumination seen = illumination_seen_from(body, observer, sun, 5.5);
    EXPECT_NEAR(seen.range_km, 1000.0, 1e-9);
    EXPECT_EQ(seen.shadow.state, ShadowState::sunlit);
    // The Sun at 1.496e8 km along x: from the body its direction is 90 deg
    // from the observer's less the tiny parallax atan(7378 / 1.496e8).
    const double expected_phase = 90.0 - std::atan2(7378.137, 1.496e8) / DEG;
    EXPECT_NEAR(seen.phase_angle_deg, expected_phase, 1e-9);
    ASSERT_TRUE(seen.v_mag);
    const double law = std::sin(expected_phase * DEG) + (M_PI - expected_phase * DEG) * std::cos(expected_phase * DEG);
    EXPECT_NEAR(*seen.v_mag, 5.5 - 2.5 * std::log10(law), 1e-9);
    EXPECT_FALSE(illumination_seen_from(body, observer, sun, std::nullopt).v_mag);
    // Behind the Earth: in umbra, no magnitude.
    const Illumination eclipsed = illumination_seen_from(Vector3{{-7378.137, 0.0, 0.0}}, observer, sun, 5.5);
    EXPECT_EQ(eclipsed.shadow.state, ShadowState::umbra);
    EXPECT_FALSE(eclipsed.v_mag);
}
