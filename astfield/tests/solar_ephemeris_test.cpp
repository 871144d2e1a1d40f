#include <gtest/gtest.h>

#include <cmath>

#include "angles.hpp"
#include "solar_ephemeris.hpp"
#include "two_body.hpp"

using namespace fieldsearch;

namespace {

double length(const Vector3& v)
{
    return std::sqrt(dot_product(v, v));
}

}  // namespace

// Catches a wrong or missing row of the series tables or a wrong fundamental
// angle: the Sun's longitude, latitude and distance at J2000.0 and at the TDB
// of the compiled-in observation are the published values of the series.
TEST(SolarEphemeris, SeriesMatchesReferenceValuesAtTwoDates)
{
    struct Case {
        double mjd;
        double longitude_deg;
        double latitude_arcsec;
        double distance_au;
    };
    const Case cases[] = {
        {51544.5, 280.3775, 0.77, 0.983327},
        {54606.21881001337, 59.5709, -0.46, 1.011976},
    };
    for (const Case& c : cases) {
        const SunEclipticCoordinates sun = sun_ecliptic_coordinates(c.mjd);
        EXPECT_NEAR(std::fmod(sun.longitude * RAD_TO_DEG + 360.0, 360.0), c.longitude_deg, 0.00006) << c.mjd;
        EXPECT_NEAR(sun.latitude / ARCSEC_TO_RAD, c.latitude_arcsec, 0.006) << c.mjd;
        EXPECT_NEAR(sun.distance, c.distance_au, 6e-7) << c.mjd;
    }
}

// Catches a wrong frame of the Earth vector (precession left out or applied
// the wrong way, a wrong sign or scale): at both dates it agrees to 2000 km
// (under 3 arcseconds seen from the Sun) with an independent computation
// from a truncated VSOP87 series and ecliptic precession
// (tools/asteroid_independent_check.py), and it points away from the Sun.
TEST(SolarEphemeris, EarthVectorAgreesWithAnIndependentTheory)
{
    struct Case {
        double mjd;
        Vector3 independent_km;
    };
    const Case cases[] = {
        {51544.5, Vector3{{-26498851.34, 132757397.68, 57556810.77}}},
        {54606.21881001337, Vector3{{-76940916.26, -119622226.89, -51859351.53}}},
    };
    for (const Case& c : cases) {
        const Vector3 earth = earth_heliocentric_vector(c.mjd);
        const Vector3 difference{{earth(1) - c.independent_km(1), earth(2) - c.independent_km(2),
                                  earth(3) - c.independent_km(3)}};
        EXPECT_LT(length(difference), 2000.0) << c.mjd;

        const SunEclipticCoordinates sun = sun_ecliptic_coordinates(c.mjd);
        const Vector3 sun_direction = j2000_from_ecliptic_of_date(c.mjd, sun.longitude, sun.latitude, sun.distance);
        EXPECT_NEAR(length(earth), sun.distance * KM_PER_AU, 1e-6);
        EXPECT_NEAR(dot_product(earth, sun_direction) / (length(earth) * length(sun_direction)), -1.0, 1e-15);
    }
}
