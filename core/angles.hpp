// Small angle functions, spherical coordinates of a vector, and the
// sexagesimal fields that the report rows print.
#pragma once

#include "constants.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// x * x.
double square(double x);

// x minus its integer part truncated toward zero; keeps the sign of x
// (frac(-1.25) = -0.25).
double frac(double x);

// The two-argument arctangent atan2(y, x), radians in (-pi, pi].
double atan2_radians(double y, double x);

// atan2(y, x) in degrees, 360 added when negative: [0, 360].
double position_angle_deg(double y, double x);

// A place on the sky: right ascension and declination, degrees (J2000
// unless the user says otherwise).
struct SkyPoint {
    double ra_deg;
    double dec_deg;
};

// The unit vector of (ra, dec) in degrees, in the frame of the angles.
Vector3 unit_vector_from_sky(double ra_deg, double dec_deg);

// The angle between two directions (any lengths), radians in [0, pi]:
// atan2(|a x b|, a . b), accurate at small angles.
double angle_between(const Vector3& a, const Vector3& b);

// Right ascension and declination (degrees) and length of a vector.
struct SphericalCoordinates {
    double ra_deg;
    double dec_deg;
    double distance;
};

// Change of right ascension from ra1 to ra2 (degrees), reduced into
// (-180, 180] so that a passage through 0 h gives the short way round.
double right_ascension_change_deg(double ra1_deg, double ra2_deg);

// Spherical coordinates of v: right ascension in [0, 360], declination in
// [-90, 90], distance in the unit of v. On the polar axis the right ascension
// is 0 and the declination +-90; the zero vector gives 0, 0, 0.
SphericalCoordinates spherical_from_vector(const Vector3& v);

// Right ascension split for printing.
struct HoursMinutesSeconds {
    int hours;
    int minutes;
    double seconds;
};

// Declination split for printing; the sign is separate so that -0 deg 15'
// keeps its minus sign.
struct SignDegreesMinutesSeconds {
    char sign;
    int degrees;
    int arcminutes;
    double arcseconds;
};

// |ra| (degrees) as hours, minutes, seconds. Seconds above 59.999999 carry
// into the minutes, a carried 60 minutes into the hours; hours do not wrap.
HoursMinutesSeconds ra_to_hms(double ra_deg);

// dec (degrees) as sign, degrees, arcminutes, arcseconds, with the same
// carries as ra_to_hms. The sign is '-' only for dec < 0.
SignDegreesMinutesSeconds dec_to_dms(double dec_deg);

}  // namespace fieldsearch
