// The Sun's geocentric place from an analytical series (Keplerian terms of
// the Earth's orbit, perturbations by Venus, Mars, Jupiter and Saturn, lunar
// and long-period terms; arcsecond class) and the Earth's heliocentric
// position derived from it.
#pragma once

#include <array>

#include "vectors_matrices.hpp"

namespace fieldsearch {

// Arguments of the series, each 2 pi frac(c0 + c1 T) radians with T in Julian
// centuries from J2000.0. The numbering selects the angle in the term tables.
enum SolarSeriesAngle {
    MEAN_ANOMALY_VENUS = 2,
    MEAN_ANOMALY_EARTH = 3,
    MEAN_ANOMALY_MARS = 4,
    MEAN_ANOMALY_JUPITER = 5,
    MEAN_ANOMALY_SATURN = 6,
};

// One term of the Keplerian and planetary table: argument
// phi = i M3 + j Mp (Mp the angle of `body`; j = 0 for the Earth's own
// terms), contributing T^power (c cos phi + s sin phi) to the longitude and
// latitude (arcseconds) and to the distance (1e-6 AU).
struct SolarPlanetaryTerm {
    int body;
    int i;
    int j;
    int power;
    double longitude_cos;
    double longitude_sin;
    double distance_cos;
    double distance_sin;
    double latitude_cos;
    double latitude_sin;
};

inline constexpr std::array<SolarPlanetaryTerm, 52> SOLAR_PLANETARY_TERMS{{
    // The Earth's own orbit.
    {MEAN_ANOMALY_EARTH, 1, 0, 0, -0.22, 6892.76, -16707.37, -0.54, 0, 0},
    {MEAN_ANOMALY_EARTH, 1, 0, 1, -0.06, -17.35, 42.04, -0.15, 0, 0},
    {MEAN_ANOMALY_EARTH, 1, 0, 2, -0.01, -0.05, 0.13, -0.02, 0, 0},
    {MEAN_ANOMALY_EARTH, 2, 0, 0, 0, 71.98, -139.57, 0, 0, 0},
    {MEAN_ANOMALY_EARTH, 2, 0, 1, 0, -0.36, 0.70, 0, 0, 0},
    {MEAN_ANOMALY_EARTH, 3, 0, 0, 0, 1.04, -1.75, 0, 0, 0},
    // Venus.
    {MEAN_ANOMALY_VENUS, 0, -1, 0, 0.03, -0.07, -0.16, -0.07, 0.02, -0.02},
    {MEAN_ANOMALY_VENUS, 1, -1, 0, 2.35, -4.23, -4.75, -2.64, 0, 0},
    {MEAN_ANOMALY_VENUS, 1, -2, 0, -0.10, 0.06, 0.12, 0.20, 0.02, 0},
    {MEAN_ANOMALY_VENUS, 2, -1, 0, -0.06, -0.03, 0.20, -0.01, 0.01, -0.09},
    {MEAN_ANOMALY_VENUS, 2, -2, 0, -4.70, 2.90, 8.28, 13.42, 0.01, -0.01},
    {MEAN_ANOMALY_VENUS, 3, -2, 0, 1.80, -1.74, -1.44, -1.57, 0.04, -0.06},
    {MEAN_ANOMALY_VENUS, 3, -3, 0, -0.67, 0.03, 0.11, 2.43, 0.01, 0},
    {MEAN_ANOMALY_VENUS, 4, -2, 0, 0.03, -0.03, 0.10, 0.09, 0.01, -0.01},
    {MEAN_ANOMALY_VENUS, 4, -3, 0, 1.51, -0.40, -0.88, -3.36, 0.18, -0.10},
    {MEAN_ANOMALY_VENUS, 4, -4, 0, -0.19, -0.09, -0.38, 0.77, 0, 0},
    {MEAN_ANOMALY_VENUS, 5, -3, 0, 0.76, -0.68, 0.30, 0.37, 0.01, 0},
    {MEAN_ANOMALY_VENUS, 5, -4, 0, -0.14, -0.04, -0.11, 0.43, -0.03, 0},
    {MEAN_ANOMALY_VENUS, 5, -5, 0, -0.05, -0.07, -0.31, 0.21, 0, 0},
    {MEAN_ANOMALY_VENUS, 6, -4, 0, 0.15, -0.04, -0.06, -0.21, 0.01, 0},
    {MEAN_ANOMALY_VENUS, 6, -5, 0, -0.03, -0.03, -0.09, 0.09, -0.01, 0},
    {MEAN_ANOMALY_VENUS, 6, -6, 0, 0, -0.04, -0.18, 0.02, 0, 0},
    {MEAN_ANOMALY_VENUS, 7, -5, 0, -0.12, -0.03, -0.08, 0.31, -0.02, -0.01},
    // Mars.
    {MEAN_ANOMALY_MARS, 1, -1, 0, -0.22, 0.17, -0.21, -0.27, 0, 0},
    {MEAN_ANOMALY_MARS, 1, -2, 0, -1.66, 0.62, 0.16, 0.28, 0, 0},
    {MEAN_ANOMALY_MARS, 2, -2, 0, 1.96, 0.57, -1.32, 4.55, 0, 0.01},
    {MEAN_ANOMALY_MARS, 2, -3, 0, 0.40, 0.15, -0.17, 0.46, 0, 0},
    {MEAN_ANOMALY_MARS, 2, -4, 0, 0.53, 0.26, 0.09, -0.22, 0, 0},
    {MEAN_ANOMALY_MARS, 3, -3, 0, 0.05, 0.12, -0.35, 0.15, 0, 0},
    {MEAN_ANOMALY_MARS, 3, -4, 0, -0.13, -0.48, 1.06, -0.29, 0.01, 0},
    {MEAN_ANOMALY_MARS, 3, -5, 0, -0.04, -0.20, 0.20, -0.04, 0, 0},
    {MEAN_ANOMALY_MARS, 4, -4, 0, 0, -0.03, 0.10, 0.04, 0, 0},
    {MEAN_ANOMALY_MARS, 4, -5, 0, 0.05, -0.07, 0.20, 0.14, 0, 0},
    {MEAN_ANOMALY_MARS, 4, -6, 0, -0.10, 0.11, -0.23, -0.22, 0, 0},
    {MEAN_ANOMALY_MARS, 5, -7, 0, -0.05, 0, 0.01, -0.14, 0, 0},
    {MEAN_ANOMALY_MARS, 5, -8, 0, 0.05, 0.01, -0.02, 0.10, 0, 0},
    // Jupiter.
    {MEAN_ANOMALY_JUPITER, -1, -1, 0, 0.01, 0.07, 0.18, -0.02, 0, -0.02},
    {MEAN_ANOMALY_JUPITER, 0, -1, 0, -0.31, 2.58, 0.52, 0.34, 0.02, 0},
    {MEAN_ANOMALY_JUPITER, 1, -1, 0, -7.21, -0.06, 0.13, -16.27, 0, -0.02},
    {MEAN_ANOMALY_JUPITER, 1, -2, 0, -0.54, -1.52, 3.09, -1.12, 0.01, -0.17},
    {MEAN_ANOMALY_JUPITER, 1, -3, 0, -0.03, -0.21, 0.38, -0.06, 0, -0.02},
    {MEAN_ANOMALY_JUPITER, 2, -1, 0, -0.16, 0.05, -0.18, -0.31, 0.01, 0},
    {MEAN_ANOMALY_JUPITER, 2, -2, 0, 0.14, -2.73, 9.23, 0.48, 0, 0},
    {MEAN_ANOMALY_JUPITER, 2, -3, 0, 0.07, -0.55, 1.83, 0.25, 0.01, 0},
    {MEAN_ANOMALY_JUPITER, 2, -4, 0, 0.02, -0.08, 0.25, 0.06, 0, 0},
    {MEAN_ANOMALY_JUPITER, 3, -2, 0, 0.01, -0.07, 0.16, 0.04, 0, 0},
    {MEAN_ANOMALY_JUPITER, 3, -3, 0, -0.16, -0.03, 0.08, -0.64, 0, 0},
    {MEAN_ANOMALY_JUPITER, 3, -4, 0, -0.04, -0.01, 0.03, -0.17, 0, 0},
    // Saturn.
    {MEAN_ANOMALY_SATURN, 0, -1, 0, 0, 0.32, 0.01, 0, 0, 0},
    {MEAN_ANOMALY_SATURN, 1, -1, 0, -0.08, -0.41, 0.97, -0.18, 0, -0.01},
    {MEAN_ANOMALY_SATURN, 1, -2, 0, 0.04, 0.10, -0.23, 0.10, 0, 0},
    {MEAN_ANOMALY_SATURN, 2, -2, 0, 0.04, 0.10, -0.35, 0.13, 0, 0},
}};

// One lunar term: argument d D + a A + m M3 + u U (D the Moon's elongation,
// A its mean anomaly, U its argument of latitude), contributing a sine term
// to the longitude (arcseconds), a cosine term to the distance (1e-6 AU) and
// a sine term to the latitude (arcseconds).
struct SolarLunarTerm {
    int d;
    int a;
    int m;
    int u;
    double longitude_sin;
    double distance_cos;
    double latitude_sin;
};

inline constexpr std::array<SolarLunarTerm, 6> SOLAR_LUNAR_TERMS{{
    {1, 0, 0, 0, 6.45, 30.76, 0},
    {1, -1, 0, 0, -0.42, -3.06, 0},
    {1, 1, 0, 0, 0.18, 0.85, 0},
    {1, 0, -1, 0, 0.17, 0.57, 0},
    {1, 0, 1, 0, -0.06, -0.58, 0},
    {0, 0, 0, 1, 0, 0, 0.576},
}};

// One long-period term of the longitude: c sin(2 pi (a + b T)) arcseconds.
struct SolarLongPeriodTerm {
    double c;
    double a;
    double b;
};

inline constexpr std::array<SolarLongPeriodTerm, 4> SOLAR_LONG_PERIOD_TERMS{{
    {6.40, 0.6983, 0.0561},
    {1.87, 0.5764, 0.4174},
    {0.27, 0.4189, 0.3306},
    {0.20, 0.3581, 2.4814},
}};

// The Sun's geocentric ecliptic coordinates, mean ecliptic and equinox of
// date: longitude (radians, in (-2 pi, 2 pi), not reduced), latitude
// (radians), distance (AU).
struct SunEclipticCoordinates {
    double longitude;
    double latitude;
    double distance;
};

// The Sun's place at `mjd` (TDB) from the series.
SunEclipticCoordinates sun_ecliptic_coordinates(double mjd);

// Cartesian vector on the mean equator and equinox of `mjd` of the ecliptic
// spherical coordinates of date (radians, radians, any length unit).
Vector3 equatorial_from_ecliptic(double mjd, double longitude, double latitude, double distance);

// As equatorial_from_ecliptic, carried by precession to the mean equator and
// equinox of J2000.0.
Vector3 j2000_from_ecliptic_of_date(double mjd, double longitude, double latitude, double distance);

// Heliocentric position of the Earth's centre at `mjd` (TDB), km, mean
// equator and equinox of J2000.0: the negated geocentric Sun.
Vector3 earth_heliocentric_vector(double mjd);

}  // namespace fieldsearch
