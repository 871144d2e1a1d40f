// Unperturbed two-body motion about the Sun: the heliocentric position of an
// asteroid at any instant from its osculating elements.
#pragma once

#include "constants.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// Mean motion k / sqrt(a^3) of an orbit of semimajor axis `a` (AU), radians
// per day.
double mean_motion(double a);

// Eccentric anomaly E (radians, not reduced) solving Kepler's equation
// E - e sin E = M for eccentricity e < 1 and mean anomaly M (radians, any
// size). Five Newton steps from M + e sin M, then more while the last
// correction exceeds the tolerance, as highly eccentric orbits near
// perihelion need; should those not settle, Newton steps from +-pi.
double solve_kepler(double e, double m);

// True anomaly (radians, within 180 deg of E) of the eccentric anomaly E on
// an orbit of eccentricity e.
double true_anomaly(double e, double eccentric_anomaly);

// Heliocentric position (AU) on the mean equator and equinox of J2000.0 at
// the instant t (MJD), from the elements osculating at `epoch` (MJD on the
// same time axis): elements_aei = (a AU, e, i deg), elements_angles = (node,
// argument of perihelion, mean anomaly at the epoch), degrees, referred to
// the ecliptic of J2000.0.
Vector3 position_from_elements(double epoch, const Vector3& elements_aei, const Vector3& elements_angles, double t);

// A vector on the ecliptic of J2000.0 turned onto the mean equator of
// J2000.0 (a rotation about x by the obliquity), and back.
Vector3 equator_from_ecliptic(const Vector3& v);
Vector3 ecliptic_from_equator(const Vector3& v);

// The unit vectors of an orbit's plane on the mean equator of J2000.0:
// towards the perihelion (p) and a quarter turn on, in the direction of
// motion (q), from the inclination, node and argument of perihelion
// (degrees, referred to the ecliptic of J2000.0); the place at eccentric
// anomaly E is a (cos E - e) p + a sqrt(1 - e^2) sin E q.
struct OrbitAxes {
    Vector3 p;
    Vector3 q;
};
OrbitAxes orbit_axes(double inclination_deg, double node_deg, double perihelion_argument_deg);

// The same position in kilometres.
Vector3 asteroid_position_km(double epoch, const Vector3& elements_aei, const Vector3& elements_angles, double t);

// An orbit given by its perihelion, as comet catalogues give it, for any
// eccentricity: ellipse, parabola or hyperbola. Angles in degrees, referred
// to the ecliptic of J2000.0.
struct PerihelionElements {
    double perihelion_time;       // MJD, on the time axis of the instants asked for
    double q;                     // perihelion distance, AU
    double e;                     // eccentricity, >= 0
    double inclination;
    double node;
    double perihelion_argument;
};

// tan(nu / 2) of the parabolic orbit at the value w = 3 k (t - T) /
// sqrt(2 q^3), the root s of Barker's equation s^3 + 3 s = w.
double solve_barker(double w);

// Hyperbolic anomaly H (radians) solving e sinh H - H = M for e > 1 and
// mean anomaly M (radians, any size): Newton's method.
double solve_hyperbolic_kepler(double e, double m);

// Heliocentric position (AU) on the mean equator and equinox of J2000.0 at
// the instant t (MJD) of the orbit with perihelion elements `elements`:
// e < 1 as position_from_elements with a = q / (1 - e) and the perihelion
// time as epoch (mean anomaly 0 there); e = 1 from Barker's equation; e > 1
// from the hyperbolic form of Kepler's equation.
Vector3 position_from_perihelion_elements(const PerihelionElements& elements, double t);

// The same position in kilometres.
Vector3 comet_position_km(const PerihelionElements& elements, double t);

}  // namespace fieldsearch
