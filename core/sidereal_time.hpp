// Sidereal time and the rotation between the celestial frame of J2000.0 and
// the Earth-fixed frame (true equator of date, x axis in the Greenwich
// meridian; polar motion is not modelled).
#pragma once

#include "time_scales.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// Greenwich mean sidereal time (IAU 1982) at UTC MJD `utc`, with UT1 = UTC +
// dut1_seconds; radians in [0, 2 pi).
double greenwich_mean_sidereal_time(double utc, double dut1_seconds);

// Greenwich apparent sidereal time: GMST plus the equation of the equinoxes
// dpsi cos(eps) with nutation and mean obliquity at TT (from `leap_seconds`);
// radians, not reduced again.
double greenwich_apparent_sidereal_time(double utc, double dut1_seconds, const LeapSecondTable& leap_seconds);

// R3(GAST): from the true equator and equinox of date to the Earth-fixed frame.
Matrix3 earth_rotation_matrix(double utc, double dut1_seconds, const LeapSecondTable& leap_seconds);

struct CelestialToTerrestrial {
    double tdb;      // TDB MJD of the instant
    Matrix3 matrix;  // J2000 -> Earth-fixed
};

// The matrix from the mean equator and equinox of J2000.0 to the Earth-fixed
// frame at UTC MJD `utc` (UT1 = UTC + dut1_seconds, TT from `leap_seconds`):
// R3(GAST) times the precession-nutation matrix at TDB. Also hands back that
// TDB.
CelestialToTerrestrial celestial_to_terrestrial_matrix(double utc, double dut1_seconds,
                                                       const LeapSecondTable& leap_seconds);

// The observer's geocentric position (km) on the mean equator and equinox of
// J2000.0 at UTC MJD `utc` (UT1 = UTC + dut1_seconds, TT from
// `leap_seconds`), from its geocentric Earth-fixed position (km).
Vector3 observer_geocentric_position(double utc, double dut1_seconds, const LeapSecondTable& leap_seconds,
                                     const Vector3& observer_earth_fixed);

}  // namespace fieldsearch
