#include "orbit_plane_rule_out.hpp"

#include <algorithm>
#include <cmath>

#include "angles.hpp"
#include "image_frame.hpp"
#include "square_field.hpp"

namespace fieldsearch {

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

// Orbits whose |v - M| bound is at least this wide (radians) get the
// eccentric bound along the track: Kepler-like equations of eccentricity up
// to LARGEST_KEPLER_E (contracting enough for the iteration to narrow the
// interval), |e1| up to LARGEST_E1 (so that v - E stays within a quarter turn).
constexpr double ECCENTRIC_TRACK_SPREAD = 0.05;
constexpr double LARGEST_KEPLER_E = 0.9;
constexpr double LARGEST_E1 = 0.9;
constexpr int ECCENTRIC_TRACK_STEPS = 60;
// Rounding of a sine or cosine from the library, and of the intervals' ends.
constexpr double TRIG_ROUNDING = 1e-15;

// The least and greatest sine over [lo, hi] (radians, hi >= lo).
void sine_range(double lo, double hi, double& least, double& most)
{
    if (!(hi - lo < TWO_PI)) {
        least = -1.0;
        most = 1.0;
        return;
    }
    const double a = std::sin(lo);
    const double b = std::sin(hi);
    least = std::min(a, b) - TRIG_ROUNDING;
    most = std::max(a, b) + TRIG_ROUNDING;
    // A crest pi/2 + 2 k pi or a trough -pi/2 + 2 k pi inside (decided with
    // a little room either way: near one, the sine is flat).
    constexpr double ROOM = 1e-9;
    const double crest = 0.5 * PI + TWO_PI * std::ceil((lo - ROOM - 0.5 * PI) / TWO_PI);
    if (crest <= hi + ROOM) {
        most = 1.0;
    }
    const double trough = -0.5 * PI + TWO_PI * std::ceil((lo - ROOM + 0.5 * PI) / TWO_PI);
    if (trough <= hi + ROOM) {
        least = -1.0;
    }
}

// The least and greatest cosine over [lo, hi].
void cosine_range(double lo, double hi, double& least, double& most)
{
    sine_range(lo + 0.5 * PI, hi + 0.5 * PI, least, most);
    least -= TRIG_ROUNDING * (std::fabs(lo) + std::fabs(hi));
    most += TRIG_ROUNDING * (std::fabs(lo) + std::fabs(hi));
}

// v of E on the Kepler ellipse of eccentricity e1: E plus the principal
// value of v - E, 2 atan(beta sin E / (1 - beta cos E)), increasing with E.
double true_anomaly_of(double e1, double E)
{
    const double beta = e1 / (1.0 + std::sqrt(1.0 - e1 * e1));
    return E + 2.0 * std::atan(beta * std::sin(E) / (1.0 - beta * std::cos(E)));
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
    // Along the orbit. With A0 = sqrt(1 - eta0^2) and u = psi - pi/2, the
    // unperturbed point p0 = rho (cos u a + sin u b) has height rho eta0 and
    // horizontal part rho A0 at azimuth O + atan2(L0, sin psi). Then
    // |p - p0| <= |rho eta + delta - rho eta0| + |R - rho A0| + rho A0 |dphi|
    // + rho A0 |e^(i lambda) - e^(i lambda0)|, where |R - rho A0| <= c^2 /
    // (2 rho) + rho |A - A0| and, (sin psi, L) and (sin psi, L0) differing by
    // lambda_offset with |(sin psi, L0)| = A0, the last term is at most
    // 2 rho |lambda_offset|.
    // psi = v + w + psi_slope d + (terms in sin 2v, sin 4v, sin 2psi, sin
    // 4psi), so |psi - (w + M)| <= |v - M| + |psi_slope| d_max + amplitudes.
    bound.track_offset_km = (along_axis + c2 / (2.0 * rho_min) + rho_max * (a_shift + 2.0 * lo)) * (1.0 + RELATIVE_MARGIN) +
                            ABSOLUTE_MARGIN_KM + RADIUS_MARGIN * r_max;
    bound.track_spread_rad = (d_max * (1.0 + std::fabs(o.psi_slope)) + std::fabs(o.psi_v2) + std::fabs(o.psi_v4) +
                              std::fabs(o.psi_psi2) + std::fabs(o.psi_psi4)) *
                             (1.0 + RELATIVE_MARGIN);
    bound.rho_min_km = rho_min;
    bound.rho_max_km = rho_max;
    bound.track_usable = std::isfinite(bound.track_offset_km) && std::isfinite(bound.track_spread_rad) &&
                         bound.track_spread_rad < 1.0;
    bound.semimajor_km = o.a;
    bound.eccentricity = o.e;
    bound.kepler_e = o.kepler_e;
    bound.kepler_rest = (kepler_terms - std::fabs(o.kepler_e) + std::fabs(o.kslope) * d_max) * (1.0 + RELATIVE_MARGIN);
    bound.e1 = o.e1;
    bound.psi_rest = (d_max * std::fabs(o.psi_slope) + std::fabs(o.psi_v2) + std::fabs(o.psi_v4) +
                      std::fabs(o.psi_psi2) + std::fabs(o.psi_psi4)) *
                     (1.0 + RELATIVE_MARGIN);
    bound.delta_km = delta;
    bound.focal_sq_km2 = c2;
    bound.eccentric_track = !(bound.track_spread_rad < ECCENTRIC_TRACK_SPREAD) && std::isfinite(bound.track_offset_km) &&
                            std::fabs(o.kepler_e) <= LARGEST_KEPLER_E && std::fabs(o.e1) <= LARGEST_E1 &&
                            std::isfinite(bound.kepler_rest) && bound.kepler_rest < 0.1 && std::isfinite(bound.psi_rest) &&
                            bound.psi_rest < 0.1;
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
    plane.cos_node = std::cos(node_angle);
    plane.sin_node = std::sin(node_angle);
    plane.normal(1) = o.sin_i * plane.sin_node;
    plane.normal(2) = -o.sin_i * plane.cos_node;
    plane.sin_i = o.sin_i;
    plane.cos_i = o.cos_i;
    plane.normal(3) = o.cos_i;
    plane.half_width_km = bound.offset_km + bound.lever_km * std::min(2.0, spread);
    plane.r_min_km = bound.r_min_km;
    plane.r_max_km = bound.r_max_km;
    plane.usable = true;
    plane.mean_anomaly = M;
    plane.perigee_angle = w;
    plane.node_spread = spread;
    return plane;
}

void add_orbit_track(const OrbitPlaneBound& bound, OrbitPlane& plane)
{
    if (!plane.usable || plane.track_added) {
        return;
    }
    plane.track_added = true;
    const double M = plane.mean_anomaly;
    const double w = plane.perigee_angle;
    const double spread = plane.node_spread;
    double track_angle = w + M - Q1;
    double track_spread = bound.track_spread_rad;
    bool track = bound.track_usable;
    if (bound.eccentric_track) {
        // Every pass's E lies in I_k: I_0 = M +- (|kepler_e| + rest), I_k+1 =
        // M + kepler_e sin(I_k) +- rest, nested, so the last E lies in the
        // last interval formed; a loop stopped on a small change also leaves
        // E in each of them, with the rest widened by kepler_e times that
        // change (at most 8 units in the last place of E).
        const double rest = bound.kepler_rest + std::fabs(bound.kepler_e) * (1e-15 + 2e-15 * (std::fabs(M) + 10.0)) +
                            ANGLE_ROUNDING * (std::fabs(M) + 10.0);
        double lo = M - std::fabs(bound.kepler_e) - rest;
        double hi = M + std::fabs(bound.kepler_e) + rest;
        for (int k = 0; k < ECCENTRIC_TRACK_STEPS; ++k) {
            double least = 0.0;
            double most = 0.0;
            sine_range(lo, hi, least, most);
            const double a = bound.kepler_e * (bound.kepler_e >= 0.0 ? least : most);
            const double b = bound.kepler_e * (bound.kepler_e >= 0.0 ? most : least);
            const double next_lo = std::max(lo, M + a - rest);
            const double next_hi = std::min(hi, M + b + rest);
            const bool settled = (hi - lo) - (next_hi - next_lo) < 1e-9;
            lo = next_lo;
            hi = next_hi;
            if (settled) {
                break;
            }
        }
        // v from E, psi within psi_rest of v + w.
        const double v_lo = true_anomaly_of(bound.e1, lo) - TRIG_ROUNDING * (std::fabs(lo) + 10.0);
        const double v_hi = true_anomaly_of(bound.e1, hi) + TRIG_ROUNDING * (std::fabs(hi) + 10.0);
        track_angle = w - Q1 + 0.5 * (v_lo + v_hi);
        track_spread = 0.5 * (v_hi - v_lo) + bound.psi_rest;
        // rho = a (1 - e cos E) over that interval: a thinner shell.
        double cos_least = 0.0;
        double cos_most = 0.0;
        cosine_range(lo, hi, cos_least, cos_most);
        const double rho_lo = bound.semimajor_km * (1.0 - bound.eccentricity * cos_most) * (1.0 - RELATIVE_MARGIN);
        const double rho_hi = bound.semimajor_km * (1.0 - bound.eccentricity * cos_least) * (1.0 + RELATIVE_MARGIN);
        plane.r_min_km = std::max(plane.r_min_km, (rho_lo - bound.delta_km) * (1.0 - RELATIVE_MARGIN) - RADIUS_MARGIN);
        plane.r_max_km = std::min(plane.r_max_km, std::sqrt(square(rho_hi + bound.delta_km) + bound.focal_sq_km2) *
                                                      (1.0 + RELATIVE_MARGIN) + RADIUS_MARGIN);
        track = std::isfinite(track_angle) && std::isfinite(track_spread) && track_spread < 1.0;
    }
    if (track) {
        plane.toward_node(1) = plane.cos_node;
        plane.toward_node(2) = plane.sin_node;
        plane.toward_node(3) = 0.0;
        plane.ahead(1) = -plane.cos_i * plane.sin_node;
        plane.ahead(2) = plane.cos_i * plane.cos_node;
        plane.ahead(3) = plane.sin_i;
        // p within `offset` of a point of the circle of radius rho >= rho_min
        // at angle u: its angle differs from u by at most asin(offset / rho_min).
        const double offset = bound.track_offset_km + bound.rho_max_km * std::min(2.0, spread);
        if (offset < 0.5 * bound.rho_min_km) {
            plane.track_angle = track_angle - TWO_PI * std::round(track_angle / TWO_PI);
            plane.track_half_width = track_spread + std::asin(offset / bound.rho_min_km) +
                                     ANGLE_ROUNDING * (std::fabs(w) + std::fabs(M) + 10.0);
            plane.track_usable = plane.track_half_width < 1.0;
        }
    }
}

FieldCone field_cone(const ObservationInstant& instant, double centre_ra_deg, double centre_dec_deg,
                     double half_side_deg)
{
    FieldCone cone{};
    // Every direction in_square_field accepts lies within the square's cap.
    const double half_angle = square_field_cap_radius(half_side_deg) + CONE_MARGIN_RAD;
    if (!(half_angle <= WIDEST_CONE_RAD) || !std::isfinite(centre_ra_deg) || !std::isfinite(centre_dec_deg)) {
        return cone;
    }
    const Vector3 axis_j2000 = unit_vector_from_sky(centre_ra_deg, centre_dec_deg);
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

namespace {

// The distances [s_lo, s_hi] along the cone's directions at which a point
// of the cone lies in the plane's shell (the smallest at the shell's inner
// radius and the largest o.v, the largest at its outer radius and the
// smallest o.v); false when the observer is not inside the shell.
bool shell_reach(const OrbitPlane& plane, const FieldCone& cone, double& s_lo, double& s_hi)
{
    const double k_min = square(plane.r_min_km) - cone.observer_norm_sq;
    const double k_max = square(plane.r_max_km) - cone.observer_norm_sq;
    if (!(k_min > 0.0)) {
        return false;
    }
    s_lo = distance_to_sphere(cone.reach_hi, k_min);
    s_hi = distance_to_sphere(cone.reach_lo, k_max);
    return true;
}

}  // namespace

bool plane_misses_field(const OrbitPlane& plane, const FieldCone& cone)
{
    if (!plane.usable || !cone.usable) {
        return false;
    }
    double s_lo = 0.0;
    double s_hi = 0.0;
    if (!shell_reach(plane, cone, s_lo, s_hi)) {
        return false;
    }
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

bool track_misses_field(const OrbitPlane& plane, const FieldCone& cone)
{
    if (!plane.usable || !plane.track_usable || !cone.usable) {
        return false;
    }
    double s_lo = 0.0;
    double s_hi = 0.0;
    if (!shell_reach(plane, cone, s_lo, s_hi)) {
        return false;
    }
    // The axis segment's ends on the plane, and the distance from it of any
    // point of the cone in the shell.
    const double oa = dot_product(cone.observer, plane.toward_node);
    const double ob = dot_product(cone.observer, plane.ahead);
    const double xa = dot_product(cone.axis, plane.toward_node);
    const double xb = dot_product(cone.axis, plane.ahead);
    const double a0 = oa + s_lo * xa;
    const double b0 = ob + s_lo * xb;
    const double a1 = oa + s_hi * xa;
    const double b1 = ob + s_hi * xb;
    const double spread = s_hi * cone.chord * (1.0 + RELATIVE_MARGIN) + ABSOLUTE_MARGIN_KM;
    // The segment's least distance from the centre.
    const double da = a1 - a0;
    const double db = b1 - b0;
    const double length_sq = da * da + db * db;
    const double f = length_sq > 0.0 ? std::clamp(-(a0 * da + b0 * db) / length_sq, 0.0, 1.0) : 0.0;
    const double nearest = std::hypot(a0 + f * da, b0 + f * db);
    if (!(spread < 0.5 * nearest)) {
        return false;
    }
    const double from = std::atan2(b0, a0);
    double to = std::atan2(b1, a1);
    // The segment subtends less than half a turn at the centre.
    to = from + (to - from - TWO_PI * std::round((to - from) / TWO_PI));
    const double centre = 0.5 * (from + to);
    const double half = 0.5 * std::fabs(to - from) + std::asin(spread / nearest) + plane.track_half_width +
                        ANGLE_ROUNDING * 10.0;
    if (!(half < PI)) {
        return false;
    }
    const double apart = plane.track_angle - centre;
    return std::fabs(apart - TWO_PI * std::round(apart / TWO_PI)) > half;
}

}  // namespace fieldsearch
