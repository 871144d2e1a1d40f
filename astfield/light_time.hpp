// The observer's heliocentric position and the light-time corrected vector
// from the observer to an asteroid, both in km on the mean equator and
// equinox of J2000.0.
#pragma once

#include "two_body.hpp"
#include "time_scales.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// Heliocentric position (km, J2000) at UTC MJD `utc_mjd` of an observer at
// the geocentric Earth-fixed position `observer_earth_fixed` (km): the
// observer's geocentric J2000 position (UT1 = UTC + ut1_minus_utc_seconds)
// plus the Earth's heliocentric vector at the TDB of the instant (TT from
// `leap_seconds`). The Earth from the solar series, or with
// `erfa_earth` from ERFA's (eraEpv00), as the integrated orbits take it.
Vector3 observer_heliocentric_position(double utc_mjd, double ut1_minus_utc_seconds,
                                       const LeapSecondTable& leap_seconds, const Vector3& observer_earth_fixed,
                                       bool erfa_earth = false);

// Light time (days) over `distance_km`.
double light_time_days(double distance_km);

// The asteroid's heliocentric position at the instant its light left it and
// the vector from the observer to it, km, J2000.
struct LightTimeCorrected {
    Vector3 asteroid_position;
    Vector3 topocentric;
};

// The asteroid (elements as for asteroid_position_km) seen at UTC MJD
// `utc_mjd` from `observer_position` (observer_heliocentric_position at that
// instant): two passes of the light-time iteration, each retarded instant
// being utc_mjd less the newest light time. No aberration or deflection.
LightTimeCorrected light_time_corrected_vector(double epoch, const Vector3& elements_aei,
                                               const Vector3& elements_angles, double utc_mjd,
                                               const Vector3& observer_position);

// The same for an orbit given by its perihelion elements (any eccentricity).
LightTimeCorrected light_time_corrected_vector(const PerihelionElements& elements, double utc_mjd,
                                               const Vector3& observer_position);

}  // namespace fieldsearch
