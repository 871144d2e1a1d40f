#include "orbit_plane_rule_out.hpp"

#include <algorithm>
#include <cmath>

#include "angles.hpp"

namespace {

// The same quarter turns as vinti_position: the first taken from the node
// angle, the second added back to it in phi.
constexpr double Q1 = 1.5707963267948966;
constexpr double Q2 = 1.570796326794896;

// Angles at an instant beyond this (radians) are not bounded: rounding alone
// would move the node by more than the bound is worth.
constexpr double LARGEST_ANGLE_RAD = 1e12;

// eta must stay this far inside [-1, 1] for every psi, so that 1 - eta^2
// cannot round to a negative number in vinti_position.
constexpr double ETA_CLEARANCE = 1e-9;
// |cos i| - |lambda_offset| at least this, so that L^2 + sin^2 psi (at least
// its square) cannot vanish.
constexpr double L_CLEARANCE = 1e-6;
// The square of sin i + cos i = 1 holds to rounding: the unperturbed
// |u0| = sqrt(1 - eta0^2) may be off by the square root of that.
constexpr double UNIT_SQUARE_ROUNDING = 1e-7;

// Margins on every bound: relative, and absolute in km.
constexpr double RELATIVE_MARGIN = 1e-9;
constexpr double ABSOLUTE_MARGIN_KM = 1.0;
constexpr double RADIUS_MARGIN = 1e-6;
// Rounding of phi - (W + pi/2) and of v - M, per radian of |W| + |M|.
constexpr double ANGLE_ROUNDING = 1e-14;

// The accepted square is this many half sides wide (in_square_field).
constexpr double ACCEPTANCE_FACTOR = 1.1;
// The cone is this much wider than the accepted square (radians).
constexpr double CONE_MARGIN_RAD = 1e-3;
// Cones wider than this (half-angle, radians) rule out too little to be built.
constexpr double WIDEST_CONE_RAD = 1.4;

// The distance s > 0 along a direction v from an observer inside a sphere to
// the sphere: s^2 + 2 w s - k = 0 with w = observer.v and k = r^2 -
// |observer|^2 > 0; written without cancellation for either sign of w.
double distance_to_sphere(double w, double k)
{
    const double root = std::sqrt(w * w + k);
    return w <= 0.0 ? root - w : k / (w + root);
}

}  // namespace

OrbitPlaneBound orbit_plane_bound(const VintiOrbit& o)
{
    OrbitPlaneBound bound{};
    const double sI = std::fabs(o.sin_i);
    const double cI = std::fabs(o.cos_i);
    const double ee = o.eta_ecc;
    const double eo = o.eta_offset;
    const double lo = std::fabs(o.lambda_offset);
    const double delta = std::fabs(o.c * o.kappa);
    const double c2 = o.c * o.c;
    if (!(o.e >= 0.0 && o.e < 1.0 && o.a > 0.0 && std::fabs(ee) <= 0.5 && std::fabs(o.kslope) <= 0.5 &&
          std::fabs(o.phi_slope) <= 1.0 && std::fabs(o.e1) < 1.0)) {
        return bound;
    }
    const double rho_min = o.a * (1.0 - o.e) * (1.0 - RELATIVE_MARGIN);
    const double rho_max = o.a * (1.0 + o.e) * (1.0 + RELATIVE_MARGIN);

    // eta is a Moebius function of cos psi, monotonic on [-1, 1]: its
    // extremes lie at cos psi = +-1.
    const double eta_max = std::max(std::fabs(eo - o.sin_i) / (1.0 - ee), std::fabs(eo + o.sin_i) / (1.0 + ee));
    if (!(eta_max <= 1.0 - ETA_CLEARANCE) || !(cI - lo >= L_CLEARANCE) || !(rho_min > 2.0 * delta)) {
        return bound;
    }
    const double den = 1.0 - std::fabs(ee);

    // |eta - eta0| = |eta_offset - sin i eta_ecc x^2| / (1 - eta_ecc x), x = cos psi.
    const double eps0 = std::fabs(eo - o.sin_i * ee);
    const double eta_shift = std::max(std::fabs(eo), eps0) / den;

    // A = sqrt(1 - eta^2), A0 = sqrt(1 - eta0^2) >= |cos i|. With 1 - x^2 <=
    // A0^2: |eta^2 - eta0^2| <= P + q A0^2, hence |A - A0| <= q + P / (A + A0),
    // and also < sqrt(P) + q when A + A0 < sqrt(P).
    const double m = (eta_max + sI) / den;
    const double P = m * eps0;
    const double q = m * std::fabs(o.sin_i * ee);
    const double a_sum_min = std::sqrt(1.0 - eta_max * eta_max) + cI;
    const double a_shift = q + std::min(std::sqrt(P), P / a_sum_min) + UNIT_SQUARE_ROUNDING;
    // |A - |u|| <= |A - A0| + ||u0| - |u|| <= |A - A0| + |lambda_offset|.
    const double u_shift = a_shift + lo;

    const double across = c2 / (2.0 * rho_min) + rho_max * (u_shift + lo);   // |R sin lambda - rho L0|
    const double along_axis = rho_max * eta_shift + delta;                    // |rho eta + delta - rho eta0|
    const double r_max = std::sqrt(square(rho_max + delta) + c2) * (1.0 + RELATIVE_MARGIN) + RADIUS_MARGIN;

    // v - M: |v - E| <= 2 asin(beta) (at most a quarter turn: the principal
    // value), |E - M| <= |kepler_e| + sum of the other amplitudes + |kslope| |v - M|.
    const double beta = std::fabs(o.e1) / (1.0 + std::sqrt(1.0 - o.e1 * o.e1));
    const double v_minus_e = std::min(0.5 * PI, 2.0 * std::asin(beta));
    const double kepler_terms = std::fabs(o.kepler_e) + std::fabs(o.kepler_v1) + std::fabs(o.kepler_v2) +
                                std::fabs(o.kepler_psi1) + std::fabs(o.kepler_psi2) + std::fabs(o.kepler_psi3) +
                                std::fabs(o.kepler_psi4);
    const double d_max = (v_minus_e + kepler_terms) * (1.0 + RELATIVE_MARGIN) / (1.0 - std::fabs(o.kslope));
    const double spread = std::fabs(o.phi_slope) * d_max + std::fabs(o.phi_psi1) + std::fabs(o.phi_psi2) +
                          std::fabs(o.phi_v1) + std::fabs(o.phi_v2) + std::fabs(o.phi_v3) + std::fabs(o.phi_v4);

    bound.offset_km = (sI * across + cI * along_axis) * (1.0 + RELATIVE_MARGIN) + ABSOLUTE_MARGIN_KM + RADIUS_MARGIN * r_max;
    bound.lever_km = sI * std::sqrt(rho_max * rho_max + c2) * (1.0 + RELATIVE_MARGIN);
    bound.node_spread_rad = spread * (1.0 + RELATIVE_MARGIN);
    bound.phi_slope = o.phi_slope;
    bound.r_min_km = (rho_min - delta) * (1.0 - RELATIVE_MARGIN) - RADIUS_MARGIN;
    bound.r_max_km = r_max;
    bound.usable = std::isfinite(bound.offset_km) && std::isfinite(bound.lever_km) &&
                   std::isfinite(bound.node_spread_rad) && std::isfinite(bound.r_max_km) && bound.r_min_km > 0.0;
    return bound;
}

OrbitPlane orbit_plane_at(const OrbitPlaneBound& bound, const VintiOrbit& o, double epoch, double omega, double node,
                          double mean_anom, double ndot2, double t)
{
    OrbitPlane plane{};
    if (!bound.usable) {
        return plane;
    }
    // The angles exactly as vinti_position forms them.
    const double dd = t - epoch;
    const double ds = dd * 86400.0;
    const double M = mean_anom * 0.017453292519943295 + o.mean_anomaly_rate * ds + square(dd) * (TWO_PI * ndot2);
    const double w = omega * 0.017453292519943295 + o.perigee_rate * ds + Q1;
    const double W = node * 0.017453292519943295 + o.node_rate * ds - Q1;
    if (!(std::fabs(M) < LARGEST_ANGLE_RAD && std::fabs(w) < LARGEST_ANGLE_RAD && std::fabs(W) < LARGEST_ANGLE_RAD)) {
        return plane;
    }
    const double node_angle = W + Q2;
    const double spread = bound.node_spread_rad + ANGLE_ROUNDING * (std::fabs(W) + std::fabs(M) + 10.0);
    plane.normal(1) = o.sin_i * std::sin(node_angle);
    plane.normal(2) = -o.sin_i * std::cos(node_angle);
    plane.normal(3) = o.cos_i;
    plane.half_width_km = bound.offset_km + bound.lever_km * std::min(2.0, spread);
    plane.r_min_km = bound.r_min_km;
    plane.r_max_km = bound.r_max_km;
    plane.usable = true;
    return plane;
}

FieldCone field_cone(const ObservationInstant& instant, double centre_ra_deg, double centre_dec_deg,
                     double half_side_deg)
{
    FieldCone cone{};
    // in_square_field accepts tangent-plane offsets (measured in degrees of
    // the plane's unit) up to 1.1 h on each axis: the direction is within
    // atan(sqrt(2) 1.1 h) of the centre, h in radians.
    const double h = half_side_deg * DEG_TO_RAD;
    const double half_angle = std::atan(std::sqrt(2.0) * ACCEPTANCE_FACTOR * h) + CONE_MARGIN_RAD;
    if (!(half_angle <= WIDEST_CONE_RAD) || !std::isfinite(centre_ra_deg) || !std::isfinite(centre_dec_deg)) {
        return cone;
    }
    const double ra = centre_ra_deg * DEG_TO_RAD;
    const double dec = centre_dec_deg * DEG_TO_RAD;
    Vector3 axis_j2000;
    axis_j2000(1) = std::cos(dec) * std::cos(ra);
    axis_j2000(2) = std::cos(dec) * std::sin(ra);
    axis_j2000(3) = std::sin(dec);
    const Matrix3 to_date = transpose_matrix(instant.true_of_date_to_j2000);
    cone.axis = matrix_vector_product(to_date, axis_j2000);
    cone.observer = matrix_vector_product(to_date, instant.observer_j2000);
    cone.chord = 2.0 * std::sin(0.5 * half_angle);
    cone.observer_norm_sq = dot_product(cone.observer, cone.observer);
    const double observer_norm = std::sqrt(cone.observer_norm_sq);
    const double w = dot_product(cone.observer, cone.axis);
    const double spread = observer_norm * cone.chord * (1.0 + RELATIVE_MARGIN);
    cone.reach_lo = std::max(-observer_norm, w - spread);
    cone.reach_hi = std::min(observer_norm, w + spread);
    cone.usable = std::isfinite(cone.observer_norm_sq) && std::isfinite(w);
    return cone;
}

bool plane_misses_field(const OrbitPlane& plane, const FieldCone& cone)
{
    if (!plane.usable || !cone.usable) {
        return false;
    }
    const double k_min = square(plane.r_min_km) - cone.observer_norm_sq;
    const double k_max = square(plane.r_max_km) - cone.observer_norm_sq;
    if (!(k_min > 0.0)) {
        return false;
    }
    const double s_lo = distance_to_sphere(cone.reach_hi, k_min);
    const double s_hi = distance_to_sphere(cone.reach_lo, k_max);
    const double nu = dot_product(plane.normal, cone.axis);
    const double nv_lo = std::max(-1.0, nu - cone.chord);
    const double nv_hi = std::min(1.0, nu + cone.chord);
    const double n_o = dot_product(plane.normal, cone.observer);
    const double corners[] = {n_o + s_lo * nv_lo, n_o + s_lo * nv_hi, n_o + s_hi * nv_lo, n_o + s_hi * nv_hi};
    const double b = plane.half_width_km;
    bool above = true;
    bool below = true;
    for (const double x : corners) {
        above = above && x > b;
        below = below && x < -b;
    }
    return above || below;
}
