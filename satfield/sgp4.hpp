// The SGP4/SDP4 models of the 1980 report "Models for Propagation of NORAD
// Element Sets" (Spacetrack Report #3) as revised in 2006 (AIAA 2006-6753):
// the record of one element set, and its state at a time from its epoch.
// SGP4 (period below 225 minutes): secular gravity to J4, drag through B*,
// long- and short-period J2/J3 terms. SDP4 (225 minutes and more): the same
// plus lunar and solar secular and periodic terms and the resonances of
// 12-hour and 24-hour orbits with the Earth's tesseral harmonics. WGS-72
// constants, the ones the elements are fitted with. Positions and velocities
// are in the TEME frame (true equator, mean equinox of the epoch's date).
// Internal units: earth radii, minutes, radians.
#pragma once

#include "vectors_matrices.hpp"

namespace fieldsearch {

// WGS-72 constants of the models.
inline constexpr double SGP4_EARTH_RADIUS_KM = 6378.135;  // equatorial radius, km
inline constexpr double SGP4_MU = 398600.8;               // gravitational parameter, km^3/s^2
inline constexpr double SGP4_J2 = 0.001082616;
inline constexpr double SGP4_J3 = -0.00000253881;
inline constexpr double SGP4_J4 = -0.00000165597;

// The mean elements of one element set as the models take them.
struct Sgp4Elements {
    double epoch_utc_mjd;  // epoch, UTC MJD
    double mean_motion;    // mean motion (as the element set gives it), rad/min
    double ecc;            // eccentricity
    double incl;           // inclination, rad
    double node;           // right ascension of the ascending node, rad
    double argp;           // argument of perigee, rad
    double mean_anom;      // mean anomaly, rad
    double bstar;          // drag term B*, 1/earth radii
};

// Why a state could not be given, numbered as in the 2006 revision.
enum Sgp4Error : int {
    SGP4_OK = 0,
    SGP4_MEAN_ECCENTRICITY = 1,       // mean eccentricity out of range (below -0.001 or not below 1)
    SGP4_MEAN_MOTION = 2,             // mean motion not positive
    SGP4_PERTURBED_ECCENTRICITY = 3,  // eccentricity with lunar-solar periodics outside 0..1
    SGP4_SEMI_LATUS_RECTUM = 4,       // semi-latus rectum negative
    SGP4_DECAYED = 6,                 // radius below one earth radius
};

// Lunar and solar terms of SDP4: the coefficients of the periodics (in the
// arguments of the Sun and the Moon), the secular rates and the resonance.
struct Sgp4DeepSpace {
    // Periodic coefficients, solar (s...) and lunar (l...): eccentricity,
    // inclination, mean longitude, perigee and node.
    double se2, se3, si2, si3, sl2, sl3, sl4, sgh2, sgh3, sgh4, sh2, sh3;
    double ee2, e3, xi2, xi3, xl2, xl3, xl4, xgh2, xgh3, xgh4, xh2, xh3;
    double zmos, zmol;  // mean anomalies of the Sun and the Moon at epoch, rad
    // Secular rates, per minute: eccentricity, inclination, mean anomaly,
    // argument of perigee, node.
    double dedt, didt, dmdt, domdt, dnodt;
    // Resonance: 0 none, 1 the 24-hour (synchronous) orbit, 2 the 12-hour
    // eccentric orbit.
    int resonance;
    double gsto;                                   // Greenwich sidereal angle at epoch, rad
    double del1, del2, del3;                       // synchronous coefficients
    double d2201, d2211, d3210, d3222, d4410, d4422, d5220, d5232, d5421, d5433;  // 12-hour coefficients
    double xlamo;                                  // resonant angle at epoch, rad
    double xfact;                                  // its rate less the mean motion, rad/min
};

// Everything the state at any time needs, computed once per element set.
struct Sgp4Orbit {
    Sgp4Elements elements;
    int error;            // an Sgp4Error when the elements describe no orbit, else 0
    bool deep_space;      // period of 225 minutes or more: SDP4
    bool simple_drag;     // perigee below 220 km (or deep space): drag to first order only
    double no;            // Brouwer mean motion, rad/min
    double ao;            // semi-major axis, earth radii
    double sinio, cosio;  // of the inclination
    double con41;         // 3 cos^2 i - 1
    double x1mth2;        // 1 - cos^2 i
    double x7thm1;        // 7 cos^2 i - 1
    double eta;
    double cc1, cc4, cc5;      // drag coefficients C1, C4, C5
    double d2, d3, d4;         // drag coefficients of the semi-major axis
    double t2cof, t3cof, t4cof, t5cof;  // of the mean longitude
    double mdot, argpdot, nodedot;      // secular rates, rad/min
    double nodecf, omgcof, xmcof;       // drag terms of the node, perigee and mean anomaly
    double delmo, sinmao;               // (1 + eta cos M0)^3, sin M0
    double xlcof, aycof;                // long-period J3 coefficients
    Sgp4DeepSpace deep;
};

// The record of one element set: the Brouwer mean motion and semi-major
// axis recovered from the element set's mean motion, the secular and drag
// coefficients and, for SDP4, the lunar-solar and resonance terms.
// An eccentricity outside 0..1 or a mean motion that is not positive sets
// `error` and leaves the rest unset.
Sgp4Orbit sgp4_orbit(const Sgp4Elements& elements);

// Position (km) and velocity (km/s) in TEME, and an Sgp4Error (0 when the
// state is valid; with SGP4_DECAYED the state is computed but below ground).
struct Sgp4State {
    Vector3 position;
    Vector3 velocity;
    int error;
};

// The state `minutes_since_epoch` minutes after the epoch (before it when
// negative). Depends on nothing but its arguments: the resonance terms are
// integrated from the epoch on every call (more than 1e8 minutes from it a
// resonant orbit gives SGP4_MEAN_MOTION).
Sgp4State sgp4_state(const Sgp4Orbit& orbit, double minutes_since_epoch);

// A short text for an Sgp4Error, e.g. "mean eccentricity out of range".
const char* sgp4_error_text(int error);

}  // namespace fieldsearch
