#include "two_body.hpp"

#include <cmath>

#include "angles.hpp"

namespace fieldsearch {

double mean_motion(double a)
{
    return GAUSSIAN_CONSTANT / std::sqrt(a * a * a);
}

namespace {

// The five Newton steps are always taken: they settle ordinary orbits, and
// their result is kept bit for bit. Further steps run only while the last
// correction is larger than the larger of KEPLER_TOLERANCE and a few units
// in the last place of E, at most KEPLER_EXTRA_STEPS of them in each of the
// two stages below.
constexpr int KEPLER_FIXED_STEPS = 5;
constexpr int KEPLER_EXTRA_STEPS = 100;
constexpr double KEPLER_TOLERANCE = 1e-15;
constexpr double KEPLER_ULPS = 4.0;

double newton_correction(double e, double m, double eccentric_anomaly)
{
    return (eccentric_anomaly - e * std::sin(eccentric_anomaly) - m) / (1.0 - e * std::cos(eccentric_anomaly));
}

double kepler_tolerance(double eccentric_anomaly)
{
    const double ulp = std::nextafter(std::fabs(eccentric_anomaly), INFINITY) - std::fabs(eccentric_anomaly);
    return std::fmax(KEPLER_TOLERANCE, KEPLER_ULPS * ulp);
}

}  // namespace

double solve_kepler(double e, double m)
{
    double eccentric_anomaly = m + e * std::sin(m);
    double correction = 0.0;
    for (int step = 0; step < KEPLER_FIXED_STEPS; ++step) {
        correction = newton_correction(e, m, eccentric_anomaly);
        eccentric_anomaly = eccentric_anomaly - correction;
    }
    for (int step = 0; step < KEPLER_EXTRA_STEPS && std::fabs(correction) > kepler_tolerance(eccentric_anomaly);
         ++step) {
        correction = newton_correction(e, m, eccentric_anomaly);
        eccentric_anomaly = eccentric_anomaly - correction;
    }
    if (!(std::fabs(correction) > kepler_tolerance(eccentric_anomaly))) {
        return eccentric_anomaly;
    }
    // Still unsettled (e very close to 1 near perihelion, where the steps from
    // M + e sin M can run away): Newton from E = +-pi, with M reduced into
    // [-pi, pi], converges for every e < 1.
    const double turns = std::nearbyint(m / TWO_PI);
    const double reduced = m - turns * TWO_PI;
    eccentric_anomaly = reduced < 0.0 ? -PI : PI;
    for (int step = 0; step < KEPLER_EXTRA_STEPS; ++step) {
        correction = newton_correction(e, reduced, eccentric_anomaly);
        eccentric_anomaly = eccentric_anomaly - correction;
        if (!(std::fabs(correction) > kepler_tolerance(eccentric_anomaly))) {
            break;
        }
    }
    return eccentric_anomaly + turns * TWO_PI;
}

double true_anomaly(double e, double eccentric_anomaly)
{
    const double sin_e = std::sin(eccentric_anomaly);
    const double cos_e = std::cos(eccentric_anomaly);
    const double divisor = 1.0 - e * cos_e;
    const double sin_nu = std::sqrt(1.0 - e * e) * sin_e / divisor;
    const double cos_nu = (cos_e - e) / divisor;
    // sin(nu - E) and cos(nu - E). While nu - E stays within 90 deg the
    // one-argument arctangent of their ratio is exact; beyond (e above
    // 2 sqrt(2)/3 near perihelion) only the two-argument form finds the
    // right half-plane.
    const double numerator = sin_nu * cos_e - cos_nu * sin_e;
    const double denominator = cos_nu * cos_e + sin_nu * sin_e;
    if (denominator > 0.0) {
        return eccentric_anomaly + std::atan(numerator / denominator);
    }
    return eccentric_anomaly + atan2_radians(numerator, denominator);
}

Vector3 position_from_elements(double epoch, const Vector3& elements_aei, const Vector3& elements_angles, double t)
{
    const double a = elements_aei(1);
    const double e = elements_aei(2);
    const double i = elements_aei(3) * DEG_TO_RAD;
    const double node = elements_angles(1) * DEG_TO_RAD;
    const double n = mean_motion(a);
    const double m = n * (t - epoch) + elements_angles(3) * DEG_TO_RAD;
    const double eccentric_anomaly = solve_kepler(e, m);
    const double nu = true_anomaly(e, eccentric_anomaly);
    const double u = elements_angles(2) * DEG_TO_RAD + nu;
    const double r = a * (1.0 - e * std::cos(eccentric_anomaly));

    // Ecliptic of J2000.0.
    const double x = r * (std::cos(u) * std::cos(node) - std::sin(u) * std::sin(node) * std::cos(i));
    const double y = r * (std::cos(u) * std::sin(node) + std::sin(u) * std::cos(node) * std::cos(i));
    const double z = r * (std::sin(u) * std::sin(i));

    return equator_from_ecliptic(Vector3{{x, y, z}});
}

Vector3 equator_from_ecliptic(const Vector3& v)
{
    const double c = std::cos(OBLIQUITY_J2000);
    const double s = std::sin(OBLIQUITY_J2000);
    return Vector3{{v(1), c * v(2) - s * v(3), s * v(2) + c * v(3)}};
}

Vector3 ecliptic_from_equator(const Vector3& v)
{
    const double c = std::cos(OBLIQUITY_J2000);
    const double s = std::sin(OBLIQUITY_J2000);
    return Vector3{{v(1), c * v(2) + s * v(3), -s * v(2) + c * v(3)}};
}

OrbitAxes orbit_axes(double inclination_deg, double node_deg, double perihelion_argument_deg)
{
    const double i = inclination_deg * DEG_TO_RAD;
    const double node = node_deg * DEG_TO_RAD;
    const double w = perihelion_argument_deg * DEG_TO_RAD;
    const double ci = std::cos(i);
    const double si = std::sin(i);
    const double cn = std::cos(node);
    const double sn = std::sin(node);
    const double cw = std::cos(w);
    const double sw = std::sin(w);
    // On the ecliptic of J2000.0, then turned onto the equator.
    return OrbitAxes{equator_from_ecliptic(Vector3{{cw * cn - sw * sn * ci, cw * sn + sw * cn * ci, sw * si}}),
                     equator_from_ecliptic(Vector3{{-sw * cn - cw * sn * ci, -sw * sn + cw * cn * ci, cw * si}})};
}

Vector3 asteroid_position_km(double epoch, const Vector3& elements_aei, const Vector3& elements_angles, double t)
{
    const Vector3 au = position_from_elements(epoch, elements_aei, elements_angles, t);
    return Vector3{{KM_PER_AU * au(1), KM_PER_AU * au(2), KM_PER_AU * au(3)}};
}

double solve_barker(double w)
{
    // With s = 2 sinh(x), s^3 + 3 s = 2 sinh(3x): no cancellation for any w.
    return 2.0 * std::sinh(std::asinh(0.5 * w) / 3.0);
}

double solve_hyperbolic_kepler(double e, double m)
{
    // f(H) = e sinh H - H - M is odd in (H, M) and convex for H > 0: solve
    // for |M| from asinh(|M| / e), where Newton's steps settle from either side.
    const double target = std::fabs(m);
    double h = std::asinh(target / e);
    for (int step = 0; step < KEPLER_EXTRA_STEPS; ++step) {
        const double correction = (e * std::sinh(h) - h - target) / (e * std::cosh(h) - 1.0);
        h -= correction;
        if (!(std::fabs(correction) > kepler_tolerance(h))) {
            break;
        }
    }
    return m < 0.0 ? -h : h;
}

namespace {

// The position (AU, J2000 equator) of a point at distance r and true anomaly
// nu (radians) on the orbit of `elements`.
Vector3 position_on_conic(const PerihelionElements& elements, double r, double nu)
{
    const double i = elements.inclination * DEG_TO_RAD;
    const double node = elements.node * DEG_TO_RAD;
    const double u = elements.perihelion_argument * DEG_TO_RAD + nu;
    const double x = r * (std::cos(u) * std::cos(node) - std::sin(u) * std::sin(node) * std::cos(i));
    const double y = r * (std::cos(u) * std::sin(node) + std::sin(u) * std::cos(node) * std::cos(i));
    const double z = r * (std::sin(u) * std::sin(i));
    const double cos_eps = std::cos(OBLIQUITY_J2000);
    const double sin_eps = std::sin(OBLIQUITY_J2000);
    return Vector3{{x, cos_eps * y - sin_eps * z, sin_eps * y + cos_eps * z}};
}

}  // namespace

Vector3 position_from_perihelion_elements(const PerihelionElements& elements, double t)
{
    const double q = elements.q;
    const double e = elements.e;
    const double dt = t - elements.perihelion_time;
    if (e < 1.0) {
        const double a = q / (1.0 - e);
        return position_from_elements(elements.perihelion_time, Vector3{{a, e, elements.inclination}},
                                      Vector3{{elements.node, elements.perihelion_argument, 0.0}}, t);
    }
    if (e == 1.0) {
        const double s = solve_barker(3.0 * GAUSSIAN_CONSTANT * dt / std::sqrt(2.0 * q * q * q));
        return position_on_conic(elements, q * (1.0 + s * s), 2.0 * std::atan(s));
    }
    // Hyperbola: |a| = q / (e - 1), mean motion k / |a|^1.5.
    const double a = q / (e - 1.0);
    const double h = solve_hyperbolic_kepler(e, GAUSSIAN_CONSTANT / std::sqrt(a * a * a) * dt);
    const double x = a * (e - std::cosh(h));
    const double y = a * std::sqrt(e * e - 1.0) * std::sinh(h);
    return position_on_conic(elements, a * (e * std::cosh(h) - 1.0), atan2_radians(y, x));
}

Vector3 comet_position_km(const PerihelionElements& elements, double t)
{
    const Vector3 au = position_from_perihelion_elements(elements, t);
    return Vector3{{KM_PER_AU * au(1), KM_PER_AU * au(2), KM_PER_AU * au(3)}};
}

}  // namespace fieldsearch
