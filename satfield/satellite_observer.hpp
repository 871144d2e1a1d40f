// The observer and the satellite's topocentric vector at one instant, in the
// frame of the mean equator and equinox of J2000.0 (km).
#pragma once

#include "time_scales.hpp"
#include "vectors_matrices.hpp"
#include "sgp4.hpp"
#include "vinti.hpp"

namespace fieldsearch {

// What depends on the instant alone, computed once per instant and shared by
// every element set evaluated at it.
struct ObservationInstant {
    double utc_mjd;                  // the instant, UTC MJD
    Matrix3 true_of_date_to_j2000;   // inverse precession-nutation matrix at the UTC MJD
    Vector3 observer_j2000;          // observer's geocentric position, km, J2000.0
    Matrix3 teme_to_true_of_date;    // R3(-equation of the equinoxes) at the UTC MJD
};

// The instant `utc_mjd` with its true-of-date-to-J2000 and TEME-to-true-of-
// date matrices (the UTC MJD used directly as their time argument) and the
// observer's geocentric J2000 position from its geocentric Earth-fixed
// position (km), the Earth turned to UT1 = UTC + ut1_minus_utc_seconds and its
// orientation taken at the TT of `leap_seconds`.
ObservationInstant observation_instant(double utc_mjd, double ut1_minus_utc_seconds,
                                       const LeapSecondTable& leap_seconds, const Vector3& observer_earth_fixed);

// The instant `utc_mjd`, a few minutes from `reference` (made by
// observation_instant for the same observer): the reference's matrices kept
// (precession and nutation move the frame by less than 0.001" in five
// minutes) and the observer turned about the true pole by the Earth's
// rotation over the interval. Much cheaper than observation_instant; places
// through it differ from the exact ones by less than 1e-8 rad within
// 20 minutes of the reference.
ObservationInstant observation_instant_near(const ObservationInstant& reference, double utc_mjd);

// Vector (km, J2000.0) from the observer to the satellite of record `orbit`
// at the instant: the theory's position, taken as referred to the true
// equator and equinox of date, carried to J2000.0, less the observer. No
// light time, aberration or refraction. Epoch as a UTC MJD, angles in degrees,
// ndot2 in rev/day^2.
Vector3 satellite_topocentric_vector(const VintiOrbit& orbit, double epoch_mjd, double mean_anom, double omega,
                                     double node, double ndot2, const ObservationInstant& instant);

// The same for one element set, its record built afresh (mean motion n in
// rev/day, inclination in degrees).
Vector3 satellite_topocentric_vector(double epoch_mjd, double mean_anom, double omega, double node, double incl,
                                     double ecc, double n, double ndot2, const ObservationInstant& instant);

// The equation of the equinoxes dpsi cos(eps) at `mjd` (IAU 1980 nutation,
// mean obliquity), radians: the right ascension of the mean equinox measured
// from the true equinox along the true equator, with a minus sign.
double equation_of_the_equinoxes(double mjd);

// The matrix R3(-equation of the equinoxes) at `mjd` that takes a vector from
// TEME (true equator, mean equinox: SGP4's frame) to the true equator and
// equinox of date.
Matrix3 teme_to_true_of_date_matrix(double mjd);

// Vector (km, J2000.0) from the observer to a satellite at TEME position
// `teme` (km) at the instant: turned to the true equinox of date, then
// carried to J2000.0 and less the observer exactly as a Vinti position is.
Vector3 topocentric_vector_from_teme(const Vector3& teme, const ObservationInstant& instant);

}  // namespace fieldsearch
