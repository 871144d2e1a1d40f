#include "vinti.hpp"

#include <cmath>
#include <iterator>

#include "angles.hpp"

namespace fieldsearch {

namespace {

constexpr double MU = 398600.448;             // km^3/s^2
constexpr double EARTH_RADIUS = 6378.137;     // km
constexpr double FOCAL_DISTANCE = 209.728850857;  // c, km
constexpr double POLAR_OFFSET_RATIO = -0.0355889244242;  // kappa = delta / c

// sin I inside the root iteration is kept at least this far from 0: at an
// inclination of exactly 0 (and at 180 deg, where sin I is 1.2e-16) the
// iteration would divide 0 by 0. The roots then come out of the order of the
// floor, and C1 = 1 - s1^2 and D1 are 1 to the last digit, as at sin I = 0.
constexpr double ROOT_SIN_I_FLOOR = 1e-9;

// The pass count of the root iteration: fixed, no convergence test.
constexpr int ROOT_PASSES = 4;

double sin_i_for_roots(double sin_i)
{
    if (sin_i >= 0.0) {
        return std::fmax(sin_i, ROOT_SIN_I_FLOOR);
    }
    return std::fmin(sin_i, -ROOT_SIN_I_FLOOR);
}

}  // namespace

VintiOrbit vinti_init(double incl, double ecc, double n)
{
    VintiOrbit o{};
    o.mu = MU;
    o.earth_radius = EARTH_RADIUS;
    o.c = FOCAL_DISTANCE;
    o.kappa = POLAR_OFFSET_RATIO;
    const double mu = o.mu;
    const double c = o.c;
    const double kappa = o.kappa;

    const double nr = n * 6.283185307179586 * (1.0 / 86400.0);
    const double I = incl * 0.017453292519943295;
    const double sI = std::sin(I);
    const double cI = std::cos(I);
    const double two_alpha1 = -std::exp((2.0 / 3.0) * std::log(mu * nr));
    const double a0 = -mu / two_alpha1;

    const double e = ecc;
    const double g = c / a0;
    const double b = 1.0 - e * e;
    const double ep = 2.0 - b;
    const double b2 = b * b;

    const double sIr = sin_i_for_roots(sI);
    double a = a0;
    double s1 = sIr;
    double s2 = -sIr;
    double Q = 0.0;
    double Q2 = 0.0;
    double C1 = 0.0;
    double D1 = 0.0;
    for (int pass = 1; pass <= ROOT_PASSES; ++pass) {
        const double q = c / (a * b);
        Q = q * q;
        Q2 = Q * Q;
        const double k = q * kappa;

        const double S1 = s1 * s1;
        C1 = 1.0 - S1;
        D1 = (1.0 - 2.0 * k * s1 - Q * S1 * b) / (1.0 + 2.0 * Q * S1 * ep + Q2 * square(S1) * b2);
        const double F1 = 1.0 - C1 * D1;
        a = a0 * (1.0 - Q * b * C1 * D1);

        const double S2 = s2 * s2;
        const double C2 = 1.0 - S2;
        const double D2 = (1.0 - 2.0 * k * s2 - Q * S2 * b) / (1.0 + 2.0 * Q * S2 * ep + Q2 * square(S2) * b2);
        const double F2 = 1.0 - C2 * D2;

        const double G1 = (g * q * (2.0 * s1 + s2) + 2.0 * k) * S1 * s2 + F1;
        const double G2 = (g * q * (2.0 * s2 + s1) + 2.0 * k) * S2 * s1 + F2;
        const double r = std::sqrt(std::fabs((G1 / G2) * (F2 / F1)));
        const double h = D1 / D2;

        const double new_s2 = ((h - 1.0) - square((1.0 + r) * sIr) * h + (1.0 - h * square(r)) * S2) /
                              (2.0 * r * (1.0 + r) * h * sIr);
        s1 = (1.0 + r) * sIr + r * new_s2;
        s2 = new_s2;
    }

    double alpha3 = std::sqrt(std::fabs((1.0 + 2.0 * Q * ep + Q2 * b2) * mu * a * b * C1 * D1));
    if (cI < 0.0) {
        alpha3 = -alpha3;
    }
    o.minus_alpha2_sq = -mu * a * b * (1.0 + 2.0 * Q * ep * C1 * D1 + Q2 * b2 * C1 * D1);
    o.a = a;
    o.e = ecc;
    o.sin_i = sI;
    o.cos_i = cI;
    o.two_alpha1 = two_alpha1;
    o.alpha3 = alpha3;
    o.eta_root1 = s1;
    o.eta_root2 = s2;
    o.n_rad = nr;
    o.kepler_e = -a * e * two_alpha1 / mu;
    return vinti_coefficients(o);
}

VintiOrbit vinti_coefficients(const VintiOrbit& orbit)
{
    VintiOrbit o = orbit;
    const double mu = o.mu;
    const double a = o.a;
    const double e = o.e;
    const double sI = o.sin_i;

    const double e2 = e * e;
    const double b = 1.0 - e2;
    const double e4 = e2 * e2;
    const double S = sI * sI;
    const double C = 1.0 - S;
    const double S2 = S * S;
    const double q = o.c / (a * b);
    const double Q = q * q;
    const double k = q * o.kappa;
    const double K2 = o.kappa * o.kappa;
    double cIs = std::sqrt(std::fabs(1.0 - S));
    if (o.alpha3 < 0.0) {
        cIs = -cIs;
    }

    o.e1 = e * (1.0 + Q * b * ((1.0 - 2.0 * S) + Q * (3.0 - 16.0 * S + 14.0 * S2 - 2.0 * e2 * square(C))));
    o.eta_offset = -k * ((1.0 - 2.0 * S) - Q * ((3.0 - 12.0 * S + 10.0 * S2) + (1.0 - 2.0 * S2) * e2));
    o.eta_ecc = k * sI * (1.0 - Q * ((5.0 - 6.0 * S) - (1.0 - 2.0 * S) * e2));
    o.A_psi = 0.125 * Q * S * ((b + K2) - 4.0 * Q * b * C);
    o.B_v = 0.125 * Q * e2 * (S - Q * (1.0 - 10.0 * S + 11.0 * S2 + e2 * S2));

    const double P = std::sqrt(mu * a * b);
    const double Qh = 0.5 * Q;
    const double Q8 = 0.5 * square(Qh);
    o.g_eta = P * (1.0 + Qh * ((3.0 + e2) * C + (6.0 - 7.0 * S) * K2) -
                   Q8 * C * (9.0 + 11.0 * S + (6.0 + 34.0 * S) * e2 + (1.0 + 3.0 * S) * e4));
    o.g_rho = P * (1.0 - Qh * (3.0 - 4.0 * S - e2) -
                   Q8 * ((9.0 - 72.0 * S + 64.0 * S2) + (2.0 - 40.0 * S + 48.0 * S2) * e2 + e4));
    const double A = o.A_psi;
    const double B = o.B_v;
    o.freq_ratio = ((9.0 * square(B) + 2.0 * B + 1.0) * o.g_eta) / ((9.0 * square(A) + 2.0 * A + 1.0) * o.g_rho);

    const double kc = k * sI * cIs;
    o.lambda_offset = 2.0 * kc * (1.0 - Q * (4.0 - 5.0 * S + e2 * S));

    const double Qc = Q * cIs;
    const double Q16 = Q * 0.0625;
    const double Q8p = 2.0 * Q16;
    const double Q2p = 4.0 * Q8p;
    const double Qcc = 0.25 * Qc * Q16;
    o.node_part = -Qc * (1.0 + 0.5 * e2 + Q16 * (24.0 - 56.0 * S - 4.0 * (1.0 + 16.0 * S) * e2 - (2.0 + 3.0 * S) * e4));
    o.phi_v1 = -2.0 * Qc * e * (1.0 + Q8p * (4.0 - 28.0 * S - (6.0 + 7.0 * S) * e2));
    o.phi_v2 = -0.25 * Qc * e2 * (1.0 - Q2p * (11.0 + (1.0 + S) * e2));
    o.phi_v3 = 16.0 * Qcc * e * e2 * (2.0 - S);
    o.phi_v4 = Qcc * e4 * (2.0 + S);
    o.phi_part = -0.5 * Qc * ((b + 3.0 * K2) - 2.0 * Q16 * b * (30.0 - 35.0 * S + (2.0 + 3.0 * S) * e2));
    o.phi_psi1 = Q * kc * b;
    o.phi_psi2 = 6.0 * Qcc * S * square(b);

    const double T1 = 1.0 - (4.0 - 7.0 * S) * Q2p * b -
                      ((20.0 - 136.0 * S + 113.0 * S2) - (8.0 + 24.0 * S - 47.0 * S2) * e2) * Q * Q8p * b;
    const double T2 = Q * b * ((2.0 - 3.0 * S) + Q2p * ((2.0 - 22.0 * S + 19.0 * S2) - (10.0 - 13.0 * S) * e2 * S));
    const double W = square(b) / ((T2 + T1) * std::sqrt(1.0 - square(o.e1)));

    const double U1 = Q2p * (Q2p * (6.0 - 20.0 * S + 15.0 * S2 - e2 * S2) - S);
    const double U2 = -Q * Q2p * S * (2.0 - S);
    const double U3 = 3.0 * Q * Q8p * S2;
    o.kslope_part = W * ((1.0 + 0.5 * square(o.e1)) * U3 + U1 + U2);
    o.kepler_v1 = W * o.e1 * (2.0 * U3 + U2);
    o.kepler_v2 = 0.25 * W * e2 * U3;

    const double W2 = Q * W * o.g_rho / o.g_eta;
    o.kpsi_part = 0.5 * W2 * S * (1.0 + 3.0 * A);
    o.kepler_psi1 = -W2 * sI * (2.0 * o.eta_offset - 1.5 * sI * o.eta_ecc);
    o.kepler_psi3 = -W2 * S * o.eta_ecc * 0.16666666666666666;
    o.kepler_psi2 = -W2 * S * (0.25 + A);
    o.kepler_psi4 = 0.125 * W2 * S * A;

    o.kslope = -o.kslope_part - o.freq_ratio * o.kpsi_part;
    o.psi_slope = o.freq_ratio - 1.0;

    o.mean_anomaly_rate = o.n_rad / (1.0 - o.kslope);
    o.perigee_rate = o.psi_slope * o.mean_anomaly_rate;
    o.phi_slope = o.freq_ratio * o.phi_part + o.node_part;
    o.node_rate = o.mean_anomaly_rate * o.phi_slope;

    o.psi_psi2 = A * (1.0 + 4.0 * A);
    o.psi_psi4 = -0.75 * square(A);
    o.psi_v2 = -o.freq_ratio * B * (1.0 + 4.0 * B);
    o.psi_v4 = 0.75 * o.freq_ratio * square(B);

    // Cross terms of the phi and Kepler-equation series with the psi series.
    o.phi_v2 += o.phi_part * o.psi_v2;
    o.phi_psi2 += o.phi_part * o.psi_psi2;
    o.kepler_v2 += o.kpsi_part * o.psi_v2;
    o.kepler_psi2 += o.kpsi_part * o.psi_psi2;
    return o;
}

const char* vinti_orbit_problem(const VintiOrbit& o)
{
    if (o.a * (1.0 - o.e) < o.earth_radius) {
        return "the perigee lies inside the Earth";
    }
    using V = VintiOrbit;
    static constexpr double V::*FIELDS[] = {
        &V::mu, &V::earth_radius, &V::c, &V::kappa, &V::two_alpha1, &V::minus_alpha2_sq, &V::alpha3, &V::a, &V::e,
        &V::sin_i, &V::cos_i, &V::eta_root1, &V::eta_root2, &V::e1, &V::eta_offset, &V::eta_ecc, &V::g_eta,
        &V::g_rho, &V::freq_ratio, &V::lambda_offset, &V::node_part, &V::phi_v1, &V::phi_v2, &V::phi_v3,
        &V::phi_v4, &V::A_psi, &V::B_v, &V::phi_part, &V::phi_psi1, &V::phi_psi2, &V::kepler_e, &V::kslope_part,
        &V::kepler_v1, &V::kepler_v2, &V::kpsi_part, &V::kepler_psi1, &V::kepler_psi2, &V::kepler_psi3,
        &V::kepler_psi4, &V::kslope, &V::n_rad, &V::mean_anomaly_rate, &V::perigee_rate, &V::node_rate,
        &V::psi_slope, &V::phi_slope, &V::psi_psi2, &V::psi_psi4, &V::psi_v2, &V::psi_v4,
    };
    static_assert(std::size(FIELDS) * sizeof(double) == sizeof(VintiOrbit), "every field of the record is checked");
    // x - x is NaN exactly when x is infinite or NaN.
    double sum = 0.0;
    for (const double V::*field : FIELDS) {
        sum += o.*field - o.*field;
    }
    if (std::isnan(sum)) {
        return "the orbit theory gives a value that is not a finite number";
    }
    if (!(o.a > 0.0) || !(std::fabs(o.e1) < 1.0)) {
        return "the orbit theory has no real solution";
    }
    return nullptr;
}

namespace {

// Tolerance on the change of E between passes, radians.
constexpr double ANOMALY_TOLERANCE = 1e-15;
// Up to this pass only the tolerance stops the loop, so that orbits which
// settle within these passes give the same result to the last bit as a loop
// that stops here without further test.
constexpr int ANOMALY_FIRST_PASSES = 15;
// From then on a change within this many units in the last place of E also
// ends it: M is never reduced to one turn, and for |E| above about 8 rad the
// tolerance is below the spacing of doubles.
constexpr double ANOMALY_ROUNDING_ULPS = 8.0;
// Eccentric orbits (e about 0.7) need up to about 100 passes.
constexpr int ANOMALY_PASS_CAP = 200;

// The first quarter turn, added to the perigee angle and taken from the node angle.
constexpr double Q1 = 1.5707963267948966;
// The second quarter-turn literal, added back to the node angle in phi; three
// units in the last place below Q1.
constexpr double Q2 = 1.570796326794896;

double units_in_last_place(double x)
{
    const double ax = std::fabs(x);
    return std::nextafter(ax, INFINITY) - ax;
}

}  // namespace

VintiAnomalies vinti_anomalies(const VintiOrbit& o, double M, double w)
{
    const double se = std::sqrt(1.0 - square(o.e1));
    VintiAnomalies x{};
    x.sin_v = std::sin(M);
    x.cos_v = std::cos(M);
    x.sin_E = std::sin(M);
    x.v = M;
    double E_prev = M;
    x.sin_psi = 0.0;
    x.cos_psi = 1.0;
    int count = 0;
    double change = 1.0;
    for (;;) {
        if (count >= ANOMALY_PASS_CAP || change <= ANOMALY_TOLERANCE) {
            break;
        }
        if (count >= ANOMALY_FIRST_PASSES && change <= ANOMALY_ROUNDING_ULPS * units_in_last_place(x.E)) {
            break;
        }
        count = count + 1;
        x.d = x.v - M;
        x.s2v = 2.0 * x.sin_v * x.cos_v;
        x.c2v = x.cos_v * x.cos_v - x.sin_v * x.sin_v;
        x.s4v = 2.0 * x.s2v * x.c2v;
        x.s2p = 2.0 * x.sin_psi * x.cos_psi;
        x.c2p = x.cos_psi * x.cos_psi - x.sin_psi * x.sin_psi;
        x.s4p = 2.0 * x.s2p * x.c2p;

        x.E = M + o.kepler_e * x.sin_E + o.kslope * x.d - o.kepler_v1 * x.sin_v - o.kepler_v2 * x.s2v -
              o.kepler_psi1 * x.sin_psi + o.kepler_psi2 * x.s2p +
              o.kepler_psi3 * (x.sin_psi * x.c2p + x.cos_psi * x.s2p) - o.kepler_psi4 * x.s4p;

        x.sin_E = std::sin(x.E);
        x.cos_E = std::cos(x.E);
        const double f = 1.0 / (1.0 - o.e1 * x.cos_E);
        x.sin_v = se * f * x.sin_E;
        x.cos_v = (x.cos_E - o.e1) * f;
        // E plus the principal value of v - E.
        x.v = x.E + std::atan((x.sin_v * x.cos_E - x.cos_v * x.sin_E) / (x.cos_v * x.cos_E + x.sin_v * x.sin_E));

        x.psi = x.v + w + o.psi_slope * x.d + o.psi_v2 * x.s2v + o.psi_v4 * x.s4v - o.psi_psi2 * x.s2p +
                o.psi_psi4 * x.s4p;
        x.sin_psi = std::sin(x.psi);
        x.cos_psi = std::cos(x.psi);

        change = std::fabs(E_prev - x.E);
        E_prev = x.E;
    }
    x.passes = count;
    return x;
}

Vector3 vinti_position(const VintiOrbit& o, double epoch, double omega, double node, double mean_anom, double ndot2,
                       double t)
{
    const double dd = t - epoch;
    const double ds = dd * 86400.0;
    // The element set carries half the first derivative of the mean motion
    // (rev/day^2): the quadratic term of M is (1/2) (2 ndot2) dd^2 turns,
    // 2 pi ndot2 dd^2 radians.
    const double M = mean_anom * 0.017453292519943295 + o.mean_anomaly_rate * ds + square(dd) * (TWO_PI * ndot2);
    const double w = omega * 0.017453292519943295 + o.perigee_rate * ds + Q1;
    const double W = node * 0.017453292519943295 + o.node_rate * ds - Q1;

    const double c2 = square(o.c);
    const double delta = o.c * o.kappa;

    const VintiAnomalies x = vinti_anomalies(o, M, w);

    const double rho = o.a * (1.0 - o.e * x.cos_E);
    const double f2 = 1.0 / (1.0 - o.eta_ecc * x.cos_psi);
    const double eta = (o.eta_offset - o.sin_i * x.cos_psi) * f2;
    const double Rc = square(rho) + c2;
    const double H = 1.0 - square(eta);
    const double R = std::sqrt(Rc * H);
    const double L = o.lambda_offset - o.cos_i * x.cos_psi;
    const double N = std::sqrt(1.0 / (square(L) + square(x.sin_psi)));
    const double cl = x.sin_psi * N;
    const double sl = L * N;

    double phi = (((W + Q2) + o.phi_slope * x.d) + o.phi_psi1 * x.sin_psi) - o.phi_psi2 * x.s2p;
    phi = o.phi_v1 * x.sin_v + phi + o.phi_v2 * x.s2v + o.phi_v3 * (x.sin_v * x.c2v + x.cos_v * x.s2v) +
          o.phi_v4 * x.s4v;
    const double sin_phi = std::sin(phi);
    const double cos_phi = std::cos(phi);

    Vector3 p;
    p(1) = (cl * cos_phi - sl * sin_phi) * R;
    p(2) = (cl * sin_phi + sl * cos_phi) * R;
    p(3) = rho * eta + delta;
    return p;
}

Vector3 vinti_state(double epoch, double omega, double node, double incl, double ecc, double mean_anom, double n,
                    double ndot2, double t)
{
    return vinti_position(vinti_init(incl, ecc, n), epoch, omega, node, mean_anom, ndot2, t);
}

}  // namespace fieldsearch
