#include "osculating_elements.hpp"

#include <cmath>

#include "angles.hpp"
#include "constants.hpp"

namespace fieldsearch {

namespace {

constexpr double SUN_GM = GAUSSIAN_CONSTANT * GAUSSIAN_CONSTANT;

Vector3 cross(const Vector3& a, const Vector3& b)
{
    return Vector3{{a(2) * b(3) - a(3) * b(2), a(3) * b(1) - a(1) * b(3), a(1) * b(2) - a(2) * b(1)}};
}

double norm(const Vector3& a)
{
    return std::sqrt(dot_product(a, a));
}

// The state on the conic of semi-latus rectum p, eccentricity e at true
// anomaly nu (radians), with the orbit's orientation (degrees).
StateVector state_on_conic(double p, double e, double nu, double inclination_deg, double node_deg,
                           double perihelion_deg)
{
    const double i = inclination_deg * DEG_TO_RAD;
    const double node = node_deg * DEG_TO_RAD;
    const double w = perihelion_deg * DEG_TO_RAD;
    // Unit vectors towards the perihelion (P) and 90 deg ahead of it (Q), ecliptic.
    const Vector3 pv{{std::cos(w) * std::cos(node) - std::sin(w) * std::sin(node) * std::cos(i),
                      std::cos(w) * std::sin(node) + std::sin(w) * std::cos(node) * std::cos(i),
                      std::sin(w) * std::sin(i)}};
    const Vector3 qv{{-std::sin(w) * std::cos(node) - std::cos(w) * std::sin(node) * std::cos(i),
                      -std::sin(w) * std::sin(node) + std::cos(w) * std::cos(node) * std::cos(i),
                      std::cos(w) * std::sin(i)}};
    const double r = p / (1.0 + e * std::cos(nu));
    const double x = r * std::cos(nu);
    const double y = r * std::sin(nu);
    const double speed = std::sqrt(SUN_GM / p);
    const double vx = -speed * std::sin(nu);
    const double vy = speed * (e + std::cos(nu));
    const Vector3 position{{x * pv(1) + y * qv(1), x * pv(2) + y * qv(2), x * pv(3) + y * qv(3)}};
    const Vector3 velocity{{vx * pv(1) + vy * qv(1), vx * pv(2) + vy * qv(2), vx * pv(3) + vy * qv(3)}};
    return StateVector{equator_from_ecliptic(position), equator_from_ecliptic(velocity)};
}

// Degrees reduced into [0, 360).
double degrees_in_circle(double radians)
{
    double d = std::fmod(radians * RAD_TO_DEG, 360.0);
    if (d < 0.0) {
        d += 360.0;
    }
    return d >= 360.0 ? 0.0 : d;
}

}  // namespace

StateVector state_from_elements(const Vector3& elements_aei, const Vector3& elements_angles)
{
    const double a = elements_aei(1);
    const double e = elements_aei(2);
    const double eccentric_anomaly = solve_kepler(e, elements_angles(3) * DEG_TO_RAD);
    const double nu = true_anomaly(e, eccentric_anomaly);
    return state_on_conic(a * (1.0 - e * e), e, nu, elements_aei(3), elements_angles(1), elements_angles(2));
}

StateVector state_from_perihelion_elements(const PerihelionElements& elements, double tt)
{
    const double q = elements.q;
    const double e = elements.e;
    const double dt = tt - elements.perihelion_time;
    double nu = 0.0;
    if (e < 1.0) {
        const double a = q / (1.0 - e);
        nu = true_anomaly(e, solve_kepler(e, mean_motion(a) * dt));
    } else if (e == 1.0) {
        nu = 2.0 * std::atan(solve_barker(3.0 * GAUSSIAN_CONSTANT * dt / std::sqrt(2.0 * q * q * q)));
    } else {
        const double a = q / (e - 1.0);
        const double h = solve_hyperbolic_kepler(e, GAUSSIAN_CONSTANT / std::sqrt(a * a * a) * dt);
        nu = 2.0 * std::atan(std::sqrt((e + 1.0) / (e - 1.0)) * std::tanh(0.5 * h));
    }
    return state_on_conic(q * (1.0 + e), e, nu, elements.inclination, elements.node, elements.perihelion_argument);
}

OsculatingElements elements_from_state(const StateVector& state, double tt)
{
    const Vector3 r = ecliptic_from_equator(state.position);
    const Vector3 v = ecliptic_from_equator(state.velocity);
    const double radius = norm(r);
    const Vector3 h = cross(r, v);
    const double h_norm = norm(h);
    const double p = h_norm * h_norm / SUN_GM;
    const double rv = dot_product(r, v);

    const double h_xy = std::hypot(h(1), h(2));
    const double inclination = std::atan2(h_xy, h(3));
    const double node = h_xy > 0.0 ? std::atan2(h(1), -h(2)) : 0.0;
    // In-plane unit vectors: towards the node, and 90 deg ahead of it.
    const Vector3 n{{std::cos(node), std::sin(node), 0.0}};
    const Vector3 h_unit{{h(1) / h_norm, h(2) / h_norm, h(3) / h_norm}};
    const Vector3 m = cross(h_unit, n);
    const double latitude_argument = std::atan2(dot_product(r, m), dot_product(r, n));

    // e cos nu and e sin nu from the radius and the radial velocity.
    const double e_cos = p / radius - 1.0;
    const double e_sin = std::sqrt(p / SUN_GM) * rv / radius;
    const double e = std::hypot(e_cos, e_sin);
    const double nu = e > 0.0 ? std::atan2(e_sin, e_cos) : 0.0;
    const double perihelion_argument = latitude_argument - nu;

    OsculatingElements elements{};
    elements.eccentricity = e;
    elements.inclination = inclination * RAD_TO_DEG;
    elements.node = degrees_in_circle(node);
    elements.perihelion_argument = degrees_in_circle(perihelion_argument);
    elements.perihelion_distance = p / (1.0 + e);
    if (e < 1.0) {
        const double a = p / (1.0 - e * e);
        const double eccentric_anomaly = std::atan2(std::sqrt(1.0 - e * e) * std::sin(nu), e + std::cos(nu));
        const double mean_anomaly = eccentric_anomaly - e * std::sin(eccentric_anomaly);  // (-pi, pi]
        elements.semimajor_axis = a;
        elements.mean_anomaly = degrees_in_circle(mean_anomaly);
        elements.perihelion_time = tt - mean_anomaly / mean_motion(a);
    } else if (e == 1.0) {
        const double s = std::tan(0.5 * nu);
        const double q = elements.perihelion_distance;
        elements.semimajor_axis = INFINITY;
        elements.mean_anomaly = NAN;
        elements.perihelion_time = tt - std::sqrt(2.0 * q * q * q) * (s * s * s + 3.0 * s) / (3.0 * GAUSSIAN_CONSTANT);
    } else {
        const double a = p / (1.0 - e * e);  // negative
        const double sinh_h = std::sqrt(e * e - 1.0) * std::sin(nu) / (1.0 + e * std::cos(nu));
        const double big_h = std::asinh(sinh_h);
        const double mean_anomaly = e * sinh_h - big_h;
        elements.semimajor_axis = a;
        elements.mean_anomaly = NAN;
        elements.perihelion_time = tt - mean_anomaly / (GAUSSIAN_CONSTANT / std::sqrt(-a * a * a));
    }
    return elements;
}

PerihelionElements perihelion_elements_of(const OsculatingElements& elements)
{
    return PerihelionElements{elements.perihelion_time,     elements.perihelion_distance, elements.eccentricity,
                              elements.inclination,         elements.node,                elements.perihelion_argument};
}

}  // namespace fieldsearch
