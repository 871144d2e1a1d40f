#include "exposure_search.hpp"

#include <array>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "angles.hpp"
#include "square_field.hpp"

using namespace fieldsearch;

namespace {

// The point (x, y) of the tangent plane about (ra0, dec0), as a vector of
// length `scale` from the origin's direction e_c + x e_xi + y e_eta.
Vector3 plane_point(double ra0, double dec0, double x, double y, double scale)
{
    const double a = ra0 * DEG_TO_RAD, d = dec0 * DEG_TO_RAD;
    return Vector3{{scale * (std::cos(d) * std::cos(a) - x * std::sin(a) - y * std::sin(d) * std::cos(a)),
                    scale * (std::cos(d) * std::sin(a) + x * std::cos(a) - y * std::sin(d) * std::sin(a)),
                    scale * (std::sin(d) + y * std::cos(d))}};
}

SkyPlace place_of(const Vector3& r)
{
    const SphericalCoordinates s = spherical_from_vector(r);
    return {true, s.ra_deg, s.dec_deg, Vector3{{r(1) / s.distance, r(2) / s.distance, r(3) / s.distance}}, s.distance};
}

constexpr double FIELD_RA = 150.0, FIELD_DEC = 0.0, FIELD_HALF_SIDE = 2.5;  // a 5 deg field
const double SIGMA = 1.1 * FIELD_HALF_SIDE * DEG_TO_RAD;  // widened half side on the tangent plane

}  // namespace

// Objects at rho0 km moving across the line of sight of the field centre
// trace x = x0 + u t, y = y0 + w t + amp sin(omega t) on the tangent plane
// (speed rho0 |(x', y')|), so entry and exit solve |x|, |y| = SIGMA by hand.
// A wrong step rule misses the 0.01 s corner crossing or the entry in the
// last millisecond; stopping at the first exit gets the returning track wrong.
// The returning track's speed bound is ten times its speed across the x
// edges, so its steps there shrink and grow slowly: it may cost more. A far
// object (rho sin(c) / V far longer than the exposure) costs one evaluation.
TEST(ExposureSearch, FindsEntryAndExitOfSyntheticTracks)
{
    struct Case {
        const char* what;
        double rho0, x0, u, y0, w, amp, omega;
        bool found;
        double t_in, t_out;
        int most_evaluations;
    };
    const double omega = PI / 50.0;  // y = 1.5 SIGMA sin(omega t) is 0 at t = 50 and 250
    const Case cases[] = {
        {"corner for 0.01 s", 1000, SIGMA - 0.05 * 100.01, 0.05, SIGMA + 0.05 * 100.0, -0.05, 0, 0, true, 100.0, 100.01, 60},
        {"just outside the corner", 1000, SIGMA - 0.05 * 100.0, 0.05, SIGMA + 0.05 * 100.01, -0.05, 0, 0, false, 0, 0, 60},
        {"inside all along", 1e8, -0.5 * SIGMA, SIGMA / 300, 0.2 * SIGMA, 0, 0, 0, true, 0.0, 300.0, 60},
        {"leaves and comes back", 5000, -SIGMA - 50 * SIGMA / 100, SIGMA / 100, 0, 0, 1.5 * SIGMA, omega, true, 50.0, 250.0, 1000},
        {"enters 5 ms before the end", 1000, -SIGMA - 0.05 * 299.995, 0.05, 0.1 * SIGMA, 0, 0, 0, true, 299.995, 300.0, 60},
        {"enters 0.4 ms before the end", 1000, -SIGMA - 0.05 * 299.9996, 0.05, 0, 0, 0, 0, true, 299.9996, 300.0, 60},
        {"satellite crossing in 2 s", 160, -SIGMA - 150 * SIGMA, SIGMA, 0.3 * SIGMA, 0, 0, 0, true, 150.0, 152.0, 60},
        {"asteroid 2 AU away, 40 deg off", 3e8, 0.84, 2e-7, 0, 0, 0, 0, false, 0, 0, 1},
        {"geostationary, 20 deg off", 36000, 0.36, 1e-4, 0, 0, 0, 0, false, 0, 0, 1},
    };
    const double exposure = 300.0, resolution = 0.001;
    const SquareRegion square = square_region(FIELD_RA, FIELD_DEC, FIELD_HALF_SIDE);
    for (const Case& c : cases) {
        const auto place = [&c](double t) {
            return place_of(plane_point(FIELD_RA, FIELD_DEC, c.x0 + c.u * t, c.y0 + c.w * t + c.amp * std::sin(c.omega * t), c.rho0));
        };
        const double speed = c.rho0 * (std::hypot(c.u, c.w) + std::fabs(c.amp * c.omega));
        const ExposureCrossing r = exposure_crossing(
            place, [&square](const SkyPlace& p) { return square_region_test(square, p); }, exposure, 1.01 * speed, resolution);
        EXPECT_TRUE(r.evaluated) << c.what;
        EXPECT_EQ(r.found, c.found) << c.what;
        EXPECT_LE(r.evaluations, c.most_evaluations) << c.what;
        if (r.found && c.found) {  // instants known inside, within the resolution of entry and exit
            EXPECT_NEAR(r.t_in_s, c.t_in + 0.5 * resolution, 0.5 * resolution + 1e-9) << c.what;
            EXPECT_NEAR(r.t_out_s, c.t_out - 0.5 * resolution, 0.5 * resolution + 1e-9) << c.what;
        }
    }
}

// A condition besides the field: here that the object lies in the band
// y_low < y < y_high of the tangent plane, between two great circles (the
// gnomonic projection maps great circles to lines), its clearance the exact
// angle to the nearer of them. Tracks cross the field along x at
// y = y0 + w t, so the condition changes where y0 + w t meets a band's edge,
// by hand. A search that ignored the condition, took the field's clearance
// alone inside it or the condition's alone outside it, steps over the short
// stays or ends them in the wrong place.
TEST(ExposureSearch, AConditionCutsTheStayWhereItChanges)
{
    struct Case {
        const char* what;
        double x0, u, y0, w, y_low, y_high;
        bool found;
        double t_in, t_out;
    };
    const double rho = 1000.0;
    const double far = 10.0;  // a band's edge 84 deg from the centre: never met
    const Case cases[] = {
        {"inside all along, the condition lost at 120 s", -0.5 * SIGMA, SIGMA / 300, -0.3 * SIGMA, 0.6 * SIGMA / 120,
         -far, 0.3 * SIGMA, true, 0.0, 120.0},
        {"inside all along, the condition gained at 200 s", -0.5 * SIGMA, SIGMA / 300, 0.5 * SIGMA, -0.4 * SIGMA / 200,
         -far, 0.1 * SIGMA, true, 200.0, 300.0},
        {"inside all along, the condition held from 150 s to 150.05 s", -0.5 * SIGMA, SIGMA / 300, 0.5 * SIGMA,
         -SIGMA / 300, 0.5 * SIGMA - SIGMA * 150.05 / 300, 0.5 * SIGMA - SIGMA * 150.0 / 300, true, 150.0, 150.05},
        // In the field from 100 s to 200 s.
        {"held for the last 0.01 s of the stay", -3.0 * SIGMA, SIGMA / 50, 0.5 * SIGMA, -0.5 * SIGMA / 300, -far,
         0.5 * SIGMA - 0.5 * SIGMA * 199.99 / 300, true, 199.99, 200.0},
        {"held only before the entry", -3.0 * SIGMA, SIGMA / 50, 0.0, 0.001 * SIGMA, -far, 0.099 * SIGMA, false, 0, 0},
        {"held only after the exit", -3.0 * SIGMA, SIGMA / 50, 0.0, -0.001 * SIGMA, -far, -0.201 * SIGMA, false, 0, 0},
    };
    const double exposure = 300.0, resolution = 0.001;
    const SquareRegion square = square_region(FIELD_RA, FIELD_DEC, FIELD_HALF_SIDE);
    const double a = FIELD_RA * DEG_TO_RAD;
    const Vector3 e_c{{std::cos(a), std::sin(a), 0.0}};
    const Vector3 e_eta{{0.0, 0.0, 1.0}};
    // The unit normal of the great circle y = edge, on whose negative side y < edge.
    const auto normal = [&](double edge) {
        const double norm = std::hypot(1.0, edge);
        return Vector3{{(e_eta(1) - edge * e_c(1)) / norm, (e_eta(2) - edge * e_c(2)) / norm,
                        (e_eta(3) - edge * e_c(3)) / norm}};
    };
    for (const Case& c : cases) {
        const Vector3 low = normal(c.y_low);
        const Vector3 high = normal(c.y_high);
        const auto place = [&](double t) {
            SkyPlace p = place_of(plane_point(FIELD_RA, FIELD_DEC, c.x0 + c.u * t, c.y0 + c.w * t, rho));
            const double above_low = dot_product(p.direction, low);
            const double below_high = -dot_product(p.direction, high);
            p.condition_holds = above_low > 0.0 && below_high > 0.0;
            p.condition_clearance_rad = std::asin(std::min(1.0, std::min(std::fabs(above_low), std::fabs(below_high))));
            return p;
        };
        const double speed = rho * std::hypot(c.u, c.w);
        const ExposureCrossing r = exposure_crossing(
            place, [&square](const SkyPlace& p) { return square_region_test(square, p); }, exposure, 1.01 * speed,
            resolution);
        EXPECT_TRUE(r.evaluated) << c.what;
        ASSERT_EQ(r.found, c.found) << c.what;
        if (r.found) {
            EXPECT_NEAR(r.t_in_s, c.t_in + 0.5 * resolution, 0.5 * resolution + 1e-6) << c.what;
            EXPECT_NEAR(r.t_out_s, c.t_out - 0.5 * resolution, 0.5 * resolution + 1e-6) << c.what;
        }
    }
}

namespace {

bool accepted(double ra0, double dec0, double h, const Vector3& q)
{
    const SphericalCoordinates s = spherical_from_vector(q);
    return in_square_field(s.ra_deg, s.dec_deg, 0.0, ra0, dec0, h, 0.0) == 1;
}

// Distance (rad) from p to the nearest point where in_square_field changes
// its answer, marching along 240 great-circle rays and bisecting: an upper bound of the
// true distance, independent of the region's geometry.
double brute_force_clearance(double ra0, double dec0, double h, const SkyPlace& p, double reach)
{
    const bool start = accepted(ra0, dec0, h, p.direction);
    double best = std::numeric_limits<double>::infinity();
    for (int k = 0; k < 240; ++k) {
        const double az = TWO_PI * k / 240;
        const auto at = [&](double r) {  // r rad from p towards az: gnomonic offsets tan(r) about p
            return plane_point(p.ra_deg, p.dec_deg, std::tan(r) * std::cos(az), std::tan(r) * std::sin(az), 1.0);
        };
        double lo = 0, hi = reach / 200;
        while (hi <= reach && hi < best && accepted(ra0, dec0, h, at(hi)) == start) {
            lo = hi;
            hi += reach / 200;
        }
        for (int i = 0; i < 40 && hi <= reach && hi < best; ++i) {  // keep hi on the other side
            const double mid = 0.5 * (lo + hi);
            (accepted(ra0, dec0, h, at(mid)) == start ? lo : hi) = mid;
        }
        best = hi <= reach ? std::min(best, hi) : best;
    }
    return best;
}

}  // namespace

// The region's answer must be in_square_field's exactly (checked on a grid
// hugging the edges), so that the search lists what the single-instant search
// lists; its clearance must never exceed the distance to where that answer
// changes (or the search could step over an entry), nor be uselessly small.
// Fields: equatorial, at dec 60 (the declination window cuts the lower
// corners), where the right-ascension window bites, a large one near the
// south pole, one straddling 0 h.
TEST(ExposureSearch, SquareRegionAgreesWithInSquareField)
{
    const double fields[][3] = {{150, 0, 1}, {40, 60, 1}, {150, 1.2, 1}, {10, -75, 10}, {0.04, 0.5, 1}};
    const double offsets[][2] = {{0, 0},      {0.9, 0},     {1.02, 0},       {0.98, 0.98}, {1.05, 1.05}, {0, -1.1},
                                 {-0.5, 0.99}, {2, 2},       {0.999, -0.999}, {0.3, -1.01}, {0.6, 0.85},  {0.95, -0.975}};
    const double edge[] = {-1.000001, -1, -0.999999, 0, 0.999999, 1, 1.000001};
    for (const auto& f : fields) {
        const SquareRegion square = square_region(f[0], f[1], f[2]);
        const double sigma = 1.1 * f[2] * DEG_TO_RAD;
        for (const auto& o : offsets) {
            const SkyPlace p = place_of(plane_point(f[0], f[1], o[0] * sigma, o[1] * sigma, 1.0));
            const double bound = square_region_test(square, p).clearance_rad;
            const double truth = brute_force_clearance(f[0], f[1], f[2], p, 3 * sigma);
            EXPECT_LE(bound, truth) << f[0] << " " << f[1] << " at " << o[0] << " " << o[1];
            if (std::isfinite(truth)) {
                EXPECT_GE(bound, 0.5 * truth) << f[0] << " " << f[1] << " at " << o[0] << " " << o[1];
            }
        }
        for (double x : edge) {
            for (double y : edge) {
                const SkyPlace p = place_of(plane_point(f[0], f[1], x * sigma, y * sigma, 1.0));
                EXPECT_EQ(square_region_test(square, p).inside, in_square_field(p.ra_deg, p.dec_deg, 0, f[0], f[1], f[2], 0) == 1);
            }
        }
    }
}

// Bad arguments and a place that cannot be evaluated give no answer rather
// than a wrong one, and no endless scan.
TEST(ExposureSearch, RejectsBadArgumentsAndFailedPlaces)
{
    const SquareRegion square = square_region(FIELD_RA, FIELD_DEC, FIELD_HALF_SIDE);
    const auto region = [&square](const SkyPlace& p) { return square_region_test(square, p); };
    const auto centre = [](double t) {  // at the centre, 1000 km away, failing from t = 100 s on
        return SkyPlace{t < 100.0, FIELD_RA, FIELD_DEC, plane_point(FIELD_RA, FIELD_DEC, 0, 0, 1), 1000.0};
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const auto& a : {std::array{50., nan, .01}, {50., 0., .01}, {50., 8., 0.}, {-1., 8., .01}, {nan, 8., .01}, {300., 8., .01}}) {
        EXPECT_FALSE(exposure_crossing(centre, region, a[0], a[1], a[2]).evaluated) << a[0] << " " << a[1] << " " << a[2];
    }
    EXPECT_TRUE(exposure_crossing(centre, region, 50, 8, 0.01).found);
}
