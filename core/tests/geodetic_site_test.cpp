#include "geodetic_site.hpp"

#include <cmath>

#include <erfa.h>
#include <erfam.h>
#include <gtest/gtest.h>

using namespace fieldsearch;

// Sites from below the sea to geostationary height, at and near the poles,
// on the equator, either side of the date line and at 45 deg (where the
// normal and the geocentric direction differ most) go out through
// observer_from_geodetic_site and back: a geocentric latitude, a height not
// taken along the normal or an iteration stopped early fails.
TEST(GeodeticFromObserver, InvertsTheGeodeticSite)
{
    struct Case {
        double lat_deg;
        double lon_deg;
        double height_m;
    };
    const Case cases[] = {
        {43.7417, 42.6630, 2094.0}, {-33.9249, 18.4241, 0.0},  {0.0, 0.0, 0.0},
        {0.0, 180.0, 10.0},         {-12.0, -179.9999, 50.0},  {45.0, -45.0, 0.0},
        {89.999, -120.0, 100.0},    {90.0, 0.0, 0.0},          {-90.0, 0.0, 4000.0},
        {-31.5, -70.7, -430.0},     {60.0, 25.0, 400000.0},    {10.0, 100.0, 35786000.0},
        {-0.0001, 90.0, -6000000.0},
    };
    for (const Case& c : cases) {
        const GeodeticCoordinates back =
            geodetic_from_observer(observer_from_geodetic_site(c.lat_deg, c.lon_deg, c.height_m));
        EXPECT_NEAR(back.lat_deg, c.lat_deg, 1e-10) << c.lat_deg << " " << c.lon_deg << " " << c.height_m;
        EXPECT_NEAR(back.height_m, c.height_m, 1e-6) << c.lat_deg << " " << c.lon_deg << " " << c.height_m;
        if (std::fabs(c.lat_deg) < 90.0) {
            EXPECT_NEAR(back.lon_deg, c.lon_deg, 1e-10) << c.lat_deg << " " << c.lon_deg << " " << c.height_m;
        }
    }
}

// Earth-fixed points (the README's observer, points on and above the
// ellipsoid and a satellite) against ERFA's eraGc2gd on WGS84, an
// independent closed-form method.
TEST(GeodeticFromObserver, AgreesWithErfa)
{
    const double points_km[][3] = {
        {3395.0303, 3128.7911, 4388.8511}, {6378.137, 0.0, 0.0},    {0.0, 0.0, -6356.7523142},
        {-4000.0, 5000.0, 2000.0},         {1200.0, -300.0, 6300.0}, {-20000.0, -35000.0, 1000.0},
        {0.3, 0.0, 6356.0},
    };
    for (const auto& p : points_km) {
        double xyz_m[3] = {p[0] * 1000.0, p[1] * 1000.0, p[2] * 1000.0};
        double elong = 0.0;
        double phi = 0.0;
        double height = 0.0;
        ASSERT_EQ(eraGc2gd(ERFA_WGS84, xyz_m, &elong, &phi, &height), 0);
        const GeodeticCoordinates ours = geodetic_from_observer(Vector3{{p[0], p[1], p[2]}});
        EXPECT_NEAR(ours.lat_deg, phi * ERFA_DR2D, 1e-11) << p[0] << " " << p[1] << " " << p[2];
        EXPECT_NEAR(ours.lon_deg, elong * ERFA_DR2D, 1e-11) << p[0] << " " << p[1] << " " << p[2];
        EXPECT_NEAR(ours.height_m, height, 1e-6) << p[0] << " " << p[1] << " " << p[2];
    }
}
