#include "horizontal_coordinates.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include "geodetic_site.hpp"
#include "sidereal_time.hpp"
#include "time_scales.hpp"

using namespace fieldsearch;

namespace {

constexpr double DEG = M_PI / 180.0;

Vector3 combination(double a, const Vector3& u, double b, const Vector3& v, double c, const Vector3& w)
{
    return Vector3{{a * u(1) + b * v(1) + c * w(1), a * u(2) + b * v(2) + c * w(2), a * u(3) + b * v(3) + c * w(3)}};
}

// The angle (degrees) between the horizontal directions (alt1, az1) and
// (alt2, az2).
double angle_between_deg(double alt1, double az1, double alt2, double az2)
{
    const double c = std::sin(alt1 * DEG) * std::sin(alt2 * DEG) +
                     std::cos(alt1 * DEG) * std::cos(alt2 * DEG) * std::cos((az1 - az2) * DEG);
    const double s = std::sin(0.5 * std::acos(std::fmin(1.0, c)));
    return 2.0 * std::asin(s) / DEG;
}

}  // namespace

// Directions built by hand from the site's geodetic latitude and longitude
// (the ellipsoid's normal, north and east there): the zenith, the four
// cardinal points on the horizon and two between, at sites north and south,
// either side of the date line and near a pole. Swapped or mis-signed axes,
// azimuth from the south, or the geocentric latitude in place of the
// geodetic one (0.19 deg apart at 45 deg) fail.
TEST(HorizontalCoordinates, HandBuiltDirectionsFromTheSiteNormal)
{
    struct Site {
        double lat_deg;
        double lon_deg;
        double height_m;
    };
    const Site sites[] = {
        {43.7417, 42.6630, 2094.0}, {45.0, 0.0, 0.0}, {-33.9249, 18.4241, 10.0}, {12.0, -179.5, 0.0},
        {-70.0, 170.0, 3000.0},     {89.5, 60.0, 0.0},
    };
    struct Direction {
        double east;
        double north;
        double up;
        double altitude_deg;
        double azimuth_deg;  // NaN where it does not count (the zenith)
    };
    const Direction directions[] = {
        {0.0, 0.0, 1.0, 90.0, NAN},
        {0.0, 1.0, 0.0, 0.0, 0.0},
        {1.0, 0.0, 0.0, 0.0, 90.0},
        {0.0, -1.0, 0.0, 0.0, 180.0},
        {-1.0, 0.0, 0.0, 0.0, 270.0},
        {1.0, 1.0, std::sqrt(2.0), 45.0, 45.0},
        {-1.0, -std::sqrt(3.0), -2.0, -45.0, 210.0},
    };
    for (const Site& site : sites) {
        const Vector3 position = observer_from_geodetic_site(site.lat_deg, site.lon_deg, site.height_m);
        const std::optional<LocalHorizon> horizon = local_horizon(position);
        ASSERT_TRUE(horizon);
        const double phi = site.lat_deg * DEG;
        const double lambda = site.lon_deg * DEG;
        const Vector3 east{{-std::sin(lambda), std::cos(lambda), 0.0}};
        const Vector3 north{{-std::sin(phi) * std::cos(lambda), -std::sin(phi) * std::sin(lambda), std::cos(phi)}};
        const Vector3 up{{std::cos(phi) * std::cos(lambda), std::cos(phi) * std::sin(lambda), std::sin(phi)}};
        for (const Direction& d : directions) {
            const Vector3 direction = combination(d.east, east, d.north, north, d.up, up);
            const HorizontalCoordinates h = horizontal_from_earth_fixed(direction, *horizon);
            EXPECT_NEAR(h.altitude_deg, d.altitude_deg, 1e-9) << site.lat_deg << " " << site.lon_deg;
            if (!std::isnan(d.azimuth_deg)) {
                EXPECT_NEAR(h.azimuth_deg, d.azimuth_deg, 1e-9) << site.lat_deg << " " << site.lon_deg;
            }
            EXPECT_GE(h.azimuth_deg, 0.0);
            EXPECT_LT(h.azimuth_deg, 360.0);
        }
    }
}

// A satellite 1,000 km straight above the site, at an instant, through the
// programs' celestial-to-terrestrial matrix: the topocentric J2000 vector
// the satellite program forms (the satellite's J2000 position less the
// site's, each turned by the transpose of that matrix) is at altitude 90 deg
// and 1,000 km; a point 1,000 km due north along the horizon is at 0 deg,
// azimuth 0. The matrix applied the wrong way round (or at another instant)
// moves both by degrees.
TEST(HorizontalCoordinates, ThroughTheProgramsEarthFixedFrame)
{
    const LeapSecondTable leap_seconds = compiled_leap_second_table();
    const double utc = 54606.87152777778;  // 2008-05-20 20:55 UTC
    const double dut1 = -0.42;
    const double lat = 43.7417;
    const double lon = 42.6630;
    const Vector3 site = observer_from_geodetic_site(lat, lon, 2094.0);
    const Matrix3 to_j2000 = transpose_matrix(celestial_to_terrestrial_matrix(utc, dut1, leap_seconds).matrix);
    const Vector3 up{{std::cos(lat * DEG) * std::cos(lon * DEG), std::cos(lat * DEG) * std::sin(lon * DEG),
                      std::sin(lat * DEG)}};
    const Vector3 north{{-std::sin(lat * DEG) * std::cos(lon * DEG), -std::sin(lat * DEG) * std::sin(lon * DEG),
                         std::cos(lat * DEG)}};
    struct Case {
        Vector3 offset_km;  // Earth-fixed, from the site
        double altitude_deg;
        double azimuth_deg;
    };
    const Case cases[] = {
        {combination(1000.0, up, 0.0, north, 0.0, up), 90.0, NAN},
        {combination(0.0, up, 1000.0, north, 0.0, up), 0.0, 0.0},
    };
    for (const Case& c : cases) {
        const Vector3 satellite = combination(1.0, site, 1.0, c.offset_km, 0.0, site);
        const Vector3 satellite_j2000 = matrix_vector_product(to_j2000, satellite);
        const Vector3 site_j2000 = observer_geocentric_position(utc, dut1, leap_seconds, site);
        const Vector3 topocentric = combination(1.0, satellite_j2000, -1.0, site_j2000, 0.0, site);
        EXPECT_NEAR(std::sqrt(dot_product(topocentric, topocentric)), 1000.0, 1e-8);
        const std::optional<HorizontalCoordinates> h =
            horizontal_coordinates_at(utc, dut1, leap_seconds, site, topocentric);
        ASSERT_TRUE(h);
        EXPECT_NEAR(h->altitude_deg, c.altitude_deg, 1e-9);
        if (!std::isnan(c.azimuth_deg)) {
            EXPECT_NEAR(h->azimuth_deg, c.azimuth_deg, 1e-9);
        }
    }
}

// Against astropy (core/tests/horizontal_coordinates_reference.py: FK5 J2000
// -> ICRS, GCRS -> ITRS, topocentric ITRS -> AltAz, pressure 0; geometric)
// at the README's site and instant with astropy's UT1 - UTC (IERS-B,
// -0.42028099305555555 s): three distant directions (1e12 km), two low
// satellites and a geostationary one, given as geocentric J2000 vectors.
// Astropy uses IAU 2006/2000A precession-nutation and polar motion, the
// programs IAU 1976/1980 and none: with astropy's polar motion set to zero
// the two agree to 0.05" (0.1" allowed), with it to 0.45" for the distant
// directions and the geostationary satellite and 1.9" for the low satellite
// 1,846 km away (the pole's offset moves the site by some 10 m). A wrong
// sidereal time, precession or nutation is off by far more.
TEST(HorizontalCoordinates, AgreesWithAstropyToTheArcsecond)
{
    struct Case {
        const char* what;
        Vector3 geocentric_km;
        double altitude_deg;  // astropy, with polar motion
        double azimuth_deg;
        double altitude_no_polar_motion_deg;
        double azimuth_no_polar_motion_deg;
    };
    const Case cases[] = {
        {"distant 1", {{-296198132726.0237, -813797681349.3738, 499999999999.99994}}, 71.908893814, 134.590811962,
         71.908771665, 134.590902560},
        {"distant 2", {{925416578398.3234, 163175911166.53482, -342020143325.6687}}, -45.608684596, 72.399677681,
         -45.608741694, 72.399658367},
        {"distant 3", {{-224143868042.0134, 129409522551.26035, 965925826289.0684}}, 43.139292072, 339.247933385,
         43.139403031, 339.248072233},
        {"low satellite", {{-1164.559727399613, -4346.19607110392, 5362.311101832846}}, 12.418616296, 57.593932443,
         12.418567420, 57.594469544},
        {"low, setting", {{-6357.759995228321, -2314.0353948715415, 2462.5450319448146}}, -8.732042839,
         242.530090691, -8.732013651, 242.530031372},
        {"geostationary", {{-29813.315079037922, -29813.31507903791, -367.94564275343856}}, 37.974855021,
         194.435699721, 37.974787395, 194.435685763},
    };
    const LeapSecondTable leap_seconds = compiled_leap_second_table();
    const double utc = 54606.87152777778;  // 2008-05-20 20:55:00 UTC
    const double dut1 = -0.42028099305555555;
    const Vector3 site = observer_from_geodetic_site(43.7417, 42.6630, 2094.0);
    const Vector3 site_j2000 = observer_geocentric_position(utc, dut1, leap_seconds, site);
    for (const Case& c : cases) {
        const Vector3 topocentric = combination(1.0, c.geocentric_km, -1.0, site_j2000, 0.0, site);
        const std::optional<HorizontalCoordinates> h =
            horizontal_coordinates_at(utc, dut1, leap_seconds, site, topocentric);
        ASSERT_TRUE(h);
        EXPECT_LT(angle_between_deg(h->altitude_deg, h->azimuth_deg, c.altitude_no_polar_motion_deg,
                                    c.azimuth_no_polar_motion_deg) * 3600.0, 0.1)
            << c.what;
        EXPECT_LT(angle_between_deg(h->altitude_deg, h->azimuth_deg, c.altitude_deg, c.azimuth_deg) * 3600.0, 2.5)
            << c.what;
    }
}

// An observer at the Earth's centre has no horizon; one a little way from
// it does. And an azimuth a hair west of north, which adding a full turn
// rounds up to exactly 360, is reported as 0.
TEST(HorizontalCoordinates, NoHorizonAtTheCentreAndAzimuthBelow360)
{
    const LeapSecondTable leap_seconds = compiled_leap_second_table();
    EXPECT_FALSE(local_horizon(Vector3{{0.0, 0.0, 0.0}}));
    EXPECT_FALSE(local_horizon(Vector3{{1e-4, 0.0, -1e-4}}));
    EXPECT_FALSE(horizontal_coordinates_at(54606.5, 0.0, leap_seconds, Vector3{{0.0, 0.0, 0.0}},
                                           Vector3{{1.0, 0.0, 0.0}}));
    EXPECT_TRUE(local_horizon(Vector3{{0.01, 0.0, 0.0}}));

    // At latitude 0, longitude 0 east is +y and north +z exactly.
    const std::optional<LocalHorizon> horizon = local_horizon(observer_from_geodetic_site(0.0, 0.0, 0.0));
    ASSERT_TRUE(horizon);
    const HorizontalCoordinates h = horizontal_from_earth_fixed(Vector3{{0.0, -1e-18, 1.0}}, *horizon);
    EXPECT_GE(h.azimuth_deg, 0.0);
    EXPECT_LT(h.azimuth_deg, 360.0);
    EXPECT_NEAR(std::remainder(h.azimuth_deg, 360.0), 0.0, 1e-12);
}
