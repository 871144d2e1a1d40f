#include "satellite_evaluation.hpp"

#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "angles.hpp"
#include "precession_nutation.hpp"
#include "satellite_search.hpp"
#include "sidereal_time.hpp"

// Without the reduction a passage through 0 h gives a motion of about
// -360 deg over two minutes; with it the short way round. (-180 maps to +180.)
TEST(SatelliteEvaluation, RightAscensionChangeTakesTheShortWayRound)
{
    struct Case {
        double ra1, ra2, change;
    };
    const Case cases[] = {
        {359.9, 0.1, 0.2}, {0.1, 359.9, -0.2}, {10.0, 20.0, 10.0}, {20.0, 10.0, -10.0},
        {0.0, 180.0, 180.0}, {180.0, 0.0, 180.0}, {350.0, 169.0, 179.0}, {169.0, 350.0, -179.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(right_ascension_change_deg(c.ra1, c.ra2), c.change, 1e-12) << c.ra1 << " " << c.ra2;
    }
}

// One degree per minute is 3600 arcsec in 60 s: 60.0 arcsec/s; a change over
// the two-minute interval that is wrongly halved or not converted would show.
TEST(SatelliteEvaluation, MotionIsInArcsecondsPerSecond)
{
    EXPECT_NEAR(motion_arcsec_per_second(2.0), 60.0, 1e-12);
    EXPECT_NEAR(motion_arcsec_per_second(-1.0 / 60.0), -0.5, 1e-12);
    EXPECT_EQ(motion_arcsec_per_second(0.0), 0.0);
}

// The epoch's two-digit year: 08 is 2008, 84 is 2084 and 85 is 1985; day 1.0
// is January 1 at 0 h. (MJD 46066 is 1985 January 1, 51544 is 2000 January 1,
// 2084 January 1 is 84 years of 365 days and 21 leap days later.)
TEST(SatelliteEvaluation, EpochOfTheTwoDigitYear)
{
    struct Case {
        int year;
        double day, mjd;
    };
    const Case cases[] = {
        {8, 1.0, 54466.0}, {8, 141.5, 54606.5}, {84, 1.0, 51544.0 + 84 * 365 + 21}, {85, 1.0, 46066.0},
        {0, 1.25, 51544.25},
    };
    for (const Case& c : cases) {
        TleRecord r{};
        r.epoch_year = c.year;
        r.epoch_day = c.day;
        EXPECT_DOUBLE_EQ(tle_epoch_mjd(r), c.mjd) << c.year;
    }
}

// The row's widths and order: a swapped column, a lost sign or a name that
// prints right-aligned would change these bytes (written out by hand from the format).
TEST(SatelliteEvaluation, ReportRowHasTheFixedLayout)
{
    SatelliteSighting s{};
    std::memcpy(s.name.data(), "ABC           ", 15);
    std::memcpy(s.cospar_id.data(), "08012A", 7);
    std::memcpy(s.norad_id.data(), "12345U", 7);
    s.ra = {11, 5, 7.126};
    s.dec = {'-', 0, 4, 5.24};
    s.ra_motion = 60.04;
    s.dec_motion = -1234.56;
    EXPECT_EQ(satellite_report_row(s), "|ABC           |08012A|12345U| 11  5  7.13  - 0  4  5.2     60.0 -1234.6\n");
}

// Computing the per-instant matrix and observer once must give the same bits
// as the per-call computation; the observer keeps the length of its
// Earth-fixed vector (6370.053 km for the compiled-in observer).
TEST(SatelliteObserver, InstantIsBitIdenticalToPerCallComputation)
{
    Vector3 observer;
    observer(1) = 3395.0303;
    observer(2) = 3128.7911;
    observer(3) = 4388.8511;
    const double t = 54606.870833333334;
    const ObservationInstant instant = observation_instant(t, 0.0, compiled_leap_second_table(), observer);
    const Vector3 o = observer_geocentric_position(t, 0.0, compiled_leap_second_table(), observer);
    const Matrix3 q = inverse_precession_nutation_matrix(t);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(instant.observer_j2000(i), o(i));
        for (int j = 1; j <= 3; ++j) {
            EXPECT_EQ(instant.true_of_date_to_j2000(i, j), q(i, j));
        }
    }
    EXPECT_NEAR(std::sqrt(dot_product(o, o)), 6370.053, 0.0005);

    const double epoch = 54604.2;
    const Vector3 v = satellite_topocentric_vector(epoch, 325.0, 130.5, 247.5, 51.64, 0.0007, 15.72, 2e-5, instant);
    const Vector3 p = matrix_vector_product(q, vinti_state(epoch, 130.5, 247.5, 51.64, 0.0007, 325.0, 15.72, 2e-5, t));
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(v(i), p(i) - o(i));
    }
}

// An observer at the geocentre sees the satellite at its geocentric J2000
// place; the field test then decides on that place alone.
TEST(SatelliteEvaluation, GeocentricObserverSeesTheGeocentricPlace)
{
    TleRecord r{};
    std::memcpy(r.name.data(), "GEO           ", 15);
    r.epoch_year = 8;
    r.epoch_day = 141.0;
    r.incl = 0.0;
    r.ecc = 0.0002;
    r.n = 1.0027;
    r.node = 100.0;
    r.omega = 0.0;
    r.mean_anom = 0.0;
    const SearchRequest request{0.0, 0.0, 0.0, 54606.870833333334, 0.0, 0.0, 80.0, 0.0};
    const SatelliteSearchGeometry g = satellite_search_geometry(request);
    const Vector3 geocentric =
        matrix_vector_product(g.at.true_of_date_to_j2000,
                              vinti_state(tle_epoch_mjd(r), r.omega, r.node, r.incl, r.ecc, r.mean_anom, r.n, 0.0,
                                          request.utc_mjd));
    const SphericalCoordinates place = spherical_from_vector(geocentric);
    SearchRequest centred = request;
    centred.centre_ra_deg = place.ra_deg;
    centred.centre_dec_deg = place.dec_deg;
    centred.half_side_deg = 0.01;
    const SatelliteEvaluation e = evaluate_satellite(r, satellite_search_geometry(centred));
    ASSERT_EQ(e.outcome, SatelliteOutcome::in_field);
    EXPECT_EQ(e.sighting.ra_deg, place.ra_deg);
    EXPECT_EQ(e.sighting.dec_deg, place.dec_deg);
    // Seen from the geocentre a geostationary satellite turns with the Earth:
    // 360 deg per sidereal day of 86164.09 s is 15.041 arcsec/s in right ascension.
    EXPECT_NEAR(e.sighting.ra_motion, 15.041, 0.02);
    EXPECT_NEAR(e.sighting.dec_motion, 0.0, 0.02);
}

// UT1 - UTC turns the Earth, and the observer 4617 km from its axis with it,
// by dUT1 x 15"/s x 1.00273781191135448 (the rate of the Earth rotation angle,
// IAU 2000, an independent route): a chord of 0.168 km eastwards for 0.5 s
// (1e-6 km is the rounding of the instant's MJD). Zero changes nothing, bit
// for bit.
TEST(SatelliteSearchGeometry, Ut1MinusUtcTurnsTheObserverWithTheEarth)
{
    Scenario scenario = satellite_scenario();
    const Vector3 before = satellite_search_geometry(search_request_from_scenario(scenario)).at.observer_j2000;
    const double axis_distance = std::hypot(scenario.observer_earth_fixed(1), scenario.observer_earth_fixed(2));
    for (const double dut1 : {0.5, -0.3, 0.0}) {
        scenario.ut1_minus_utc_seconds = dut1;
        const Vector3 after = satellite_search_geometry(search_request_from_scenario(scenario)).at.observer_j2000;
        const Vector3 d{{after(1) - before(1), after(2) - before(2), after(3) - before(3)}};
        const double angle = dut1 * 15.0 * 1.00273781191135448 * ARCSEC_TO_RAD;
        EXPECT_NEAR(std::sqrt(dot_product(d, d)), 2.0 * axis_distance * std::fabs(std::sin(angle / 2.0)), 1e-6);
        EXPECT_GE((before(1) * d(2) - before(2) * d(1)) * dut1, 0.0) << dut1;  // east for a positive value
        if (dut1 == 0.0) {
            EXPECT_EQ(dot_product(d, d), 0.0);
        }
    }
}
