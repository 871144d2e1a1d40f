// Vinti's spheroidal theory of a satellite in the Earth's oblate,
// pear-shaped field: the constants of motion and coefficients of one element
// set, and its geocentric position at an instant. The potential is separable
// in oblate spheroidal coordinates (rho, eta, phi) about a centre displaced by
// delta = c kappa along the polar axis; c and delta carry J2 and J3. The
// motion splits into a rho-motion (anomalies E, v), an eta-motion (angle psi,
// a quarter turn ahead of the argument of latitude) and a phi-motion (the
// node of the instantaneous plane). Units: km, s, radians.
#pragma once

#include "vectors_matrices.hpp"

namespace fieldsearch {

// The constants and the 50 coefficients of one element set, in this order.
struct VintiOrbit {
    double mu;               // 1: gravitational parameter, km^3/s^2
    double earth_radius;     // 2: equatorial radius, km (carried, not used)
    double c;                // 3: focal distance of the spheroidal coordinates, km
    double kappa;            // 4: delta / c
    double two_alpha1;       // 5: twice the energy constant, km^2/s^2
    double minus_alpha2_sq;  // 6: minus the square of the total angular momentum, km^4/s^2
    double alpha3;           // 7: polar angular momentum, km^2/s, sign of cos I
    double a;                // 8: semi-major axis of the rho-motion, km
    double e;                // 9: eccentricity of the element set
    double sin_i;            // 10
    double cos_i;            // 11
    double eta_root1;        // 12: roots s1, s2 of the eta polynomial
    double eta_root2;        // 13
    double e1;               // 14: eccentricity connecting E to v
    double eta_offset;       // 15: constant term of the eta numerator
    double eta_ecc;          // 16: cos psi factor of the eta denominator
    double g_eta;            // 17: scale of the eta rate, km^2/s
    double g_rho;            // 18: scale of the rho rate, km^2/s
    double freq_ratio;       // 19: eta frequency over rho frequency
    double lambda_offset;    // 20: offset of the in-plane longitude
    double node_part;        // 21: part of the phi slope
    double phi_v1;           // 22-25: phi terms in sin v .. sin 4v
    double phi_v2;
    double phi_v3;
    double phi_v4;
    double A_psi;            // 26: eta-motion modulus A
    double B_v;              // 27: rho-motion modulus B
    double phi_part;         // 28: part of the phi slope and the phi terms
    double phi_psi1;         // 29-30: phi terms in sin psi, sin 2psi
    double phi_psi2;
    double kepler_e;         // 31: sin E coefficient of the Kepler-like equation
    double kslope_part;      // 32: part of kslope
    double kepler_v1;        // 33-34: Kepler-equation terms in sin v, sin 2v
    double kepler_v2;
    double kpsi_part;        // 35: part of kslope and of the psi terms
    double kepler_psi1;      // 36-39: Kepler-equation terms in sin psi .. sin 4psi
    double kepler_psi2;
    double kepler_psi3;
    double kepler_psi4;
    double kslope;           // 40: (v - M) coefficient of the Kepler-like equation
    double n_rad;            // 41: mean motion, rad/s
    double mean_anomaly_rate;  // 42: rate of M, rad/s
    double perigee_rate;     // 43: rate of the perigee angle, rad/s
    double node_rate;        // 44: rate of the node angle, rad/s
    double psi_slope;        // 45: (v - M) coefficient of psi
    double phi_slope;        // 46: (v - M) coefficient of phi
    double psi_psi2;         // 47-48: psi terms in sin 2psi, sin 4psi
    double psi_psi4;
    double psi_v2;           // 49-50: psi terms in sin 2v, sin 4v
    double psi_v4;
};

// The record of an element set: inclination (degrees), eccentricity and mean
// motion (rev/day) taken as the mean elements of the spheroidal solution.
// Fills the constants, the angular momenta and the roots of the eta
// polynomial (four fixed passes), then the coefficients.
VintiOrbit vinti_init(double incl, double ecc, double n);

// The record with its coefficients (numbers 14-30 and 32-50) computed from
// mu, c, kappa, alpha3, a, e, sin_i and n_rad, to second order in c / p.
VintiOrbit vinti_coefficients(const VintiOrbit& orbit);

// Why the record describes no orbit that can be evaluated, or nullptr when it
// does: a perigee a (1 - e) below the Earth's equatorial radius (the series
// in c / p lose their meaning as p approaches c), a field that is not a
// finite number, or no real solution (a not positive, |e1| not below 1).
const char* vinti_orbit_problem(const VintiOrbit& orbit);

// The solution of the coupled Kepler-like equation at one instant, with the
// values of the last pass. The multiple angles of v and psi are those formed
// at the start of the last pass, from the pass before it.
struct VintiAnomalies {
    double E, sin_E, cos_E;   // eccentric anomaly of the rho-motion, radians
    double v, sin_v, cos_v;   // true anomaly of the rho-motion
    double psi, sin_psi, cos_psi;  // eta-motion angle
    double d;                 // v - M
    double s2v, c2v, s4v;     // sin 2v, cos 2v, sin 4v
    double s2p, c2p, s4p;     // sin 2psi, cos 2psi, sin 4psi
    int passes;               // fixed-point passes made
};

// E, v and psi by fixed-point iteration from the mean anomaly M and the
// perigee angle w (radians, not reduced to one turn). Stops when E changes by
// at most 1e-15 rad; from the 15th pass on also when the change is within a
// few units in the last place of E (rounding noise once |E| is large), and
// after 200 passes at the latest.
VintiAnomalies vinti_anomalies(const VintiOrbit& orbit, double M, double w);

// Geocentric position (km) at `t` of the satellite of record `orbit`, in the
// equatorial frame of the elements (omega, node, mean_anom in degrees at
// `epoch`; ndot2 the element set's half first derivative of the mean motion,
// rev/day^2). epoch and t are MJDs on one time scale.
Vector3 vinti_position(const VintiOrbit& orbit, double epoch, double omega, double node, double mean_anom, double ndot2,
                       double t);

// Geocentric position (km) at `t` of one element set, the record built afresh:
// vinti_position(vinti_init(incl, ecc, n), ...).
Vector3 vinti_state(double epoch, double omega, double node, double incl, double ecc, double mean_anom, double n,
                    double ndot2, double t);

}  // namespace fieldsearch
