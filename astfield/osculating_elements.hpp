// Heliocentric states from the osculating elements of the catalogues, and
// the elements back from a state, in the catalogues' layout: angles in
// degrees on the ecliptic and equinox of J2000.0, states in AU and AU/day on
// the mean equator and equinox of J2000.0, the Sun's parameter k^2.
#pragma once

#include "planet_ephemeris.hpp"
#include "two_body.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// The state at the epoch of the elements elements_aei = (a AU, e < 1,
// i deg) and elements_angles = (node, argument of perihelion, mean anomaly
// at the epoch, deg), as an asteroid record gives them.
StateVector state_from_elements(const Vector3& elements_aei, const Vector3& elements_angles);

// The two-body state at TT MJD `tt` of the orbit given by its perihelion
// (any eccentricity; times on the same axis as elements.perihelion_time).
StateVector state_from_perihelion_elements(const PerihelionElements& elements, double tt);

// The osculating conic of a state at TT MJD `tt`, both ways the catalogues
// write it.
struct OsculatingElements {
    double semimajor_axis;       // AU; negative for a hyperbola, infinite for a parabola
    double eccentricity;
    double inclination;          // deg, [0, 180]
    double node;                 // deg, [0, 360)
    double perihelion_argument;  // deg, [0, 360)
    double mean_anomaly;         // deg at `tt`, [0, 360) for an ellipse; NaN otherwise
    double perihelion_distance;  // q, AU
    double perihelion_time;      // TT MJD of the perihelion nearest `tt` (for an ellipse, within half a period)
};

// The elements of `state` (heliocentric, AU, AU/day, mean J2000) at TT MJD
// `tt`. A circular orbit has its perihelion at the node, an orbit in the
// ecliptic its node on the equinox's direction.
OsculatingElements elements_from_state(const StateVector& state, double tt);

// The same orbit as perihelion elements (q, e, T and the angles).
PerihelionElements perihelion_elements_of(const OsculatingElements& elements);

}  // namespace fieldsearch
