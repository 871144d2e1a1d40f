#include "satellite_evaluation.hpp"

#include "csv_rows.hpp"
#include "text_report.hpp"

#include <cmath>
#include <algorithm>
#include <cstring>
#include <numbers>
#include <string>

#include <gtest/gtest.h>

#include "angles.hpp"
#include "precession_nutation.hpp"
#include "satellite_search.hpp"
#include "sidereal_time.hpp"

using namespace fieldsearch;

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
    s.full_name = "ABC";
    std::memcpy(s.cospar_id.data(), "08012A", 7);
    std::memcpy(s.norad_id.data(), "12345U", 7);
    s.ra = {11, 5, 7.126};
    s.dec = {'-', 0, 4, 5.24};
    s.ra_motion = 60.04;
    s.dec_motion = -1234.56;
    EXPECT_EQ(text_row(satellite_row(s, SatelliteTheory::vinti), satellite_row_format(SatelliteTheory::vinti).text_layout), "|ABC           |08012A|12345U| 11  5  7.13  - 0  4  5.2     60.0 -1234.6\n");
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

// A point fixed on the Earth, put into TEME by the mean sidereal time and
// then turned to the true equinox of date and carried to J2000.0, must land
// where the observer module puts it through the apparent sidereal time: the
// two paths differ by the equation of the equinoxes alone (about 1 s of time,
// 0.5 km at the Earth's surface, so a wrong sign or size shows). The
// remaining difference, TT against UTC as the time argument, is below 1 cm.
TEST(SatelliteObserver, TemeTurnsToTheTrueEquinoxByTheEquationOfTheEquinoxes)
{
    Vector3 site;
    site(1) = 3395.0303;
    site(2) = 3128.7911;
    site(3) = 4388.8511;
    const double dates[] = {54606.870833333334, 51544.5, 58849.0, 61381.25, 45000.0};
    for (const double t : dates) {
        const ObservationInstant instant = observation_instant(t, 0.0, compiled_leap_second_table(), site);
        const Vector3 teme = matrix_vector_product(rotation_matrix(3, -greenwich_mean_sidereal_time(t, 0.0)), site);
        Vector3 origin;
        const ObservationInstant geocentre{t, instant.true_of_date_to_j2000, origin, instant.teme_to_true_of_date};
        const Vector3 j2000 = topocentric_vector_from_teme(teme, geocentre);
        for (int i = 1; i <= 3; ++i) {
            EXPECT_NEAR(j2000(i), instant.observer_j2000(i), 1e-5) << t << " " << i;
        }
        const double eqeq = greenwich_apparent_sidereal_time(t, 0.0, compiled_leap_second_table()) - greenwich_mean_sidereal_time(t, 0.0);
        EXPECT_NEAR(equation_of_the_equinoxes(t), eqeq, 1e-9) << t;
    }
}

namespace {

// The great-circle angle between two places (degrees), arcseconds, by the
// haversine formula.
double separation_arcsec(double ra1, double dec1, double ra2, double dec2)
{
    const double d = std::numbers::pi / 180.0;
    const double h = std::pow(std::sin((dec2 - dec1) * d / 2.0), 2.0) +
                     std::cos(dec1 * d) * std::cos(dec2 * d) * std::pow(std::sin((ra2 - ra1) * d / 2.0), 2.0);
    return 2.0 * std::asin(std::sqrt(h)) / d * 3600.0;
}

TleRecord element_set(const char* line1, const char* line2)
{
    return parse_tle_record("SET", line1, line2);
}

}  // namespace

// A low orbit in the compiled-in field: with `both` the row is Vinti's to
// the bit and the extra columns give SGP4's place and the angle between the
// two, which must equal the haversine separation of the two places. The two
// theories read the same mean elements with different definitions of mean:
// seen from about 1000 km they differ by more than an arcsecond and less than
// a degree. With `sgp4` the place is SGP4's.
TEST(SatelliteEvaluation, BothTheoriesOnALowOrbit)
{
    const TleRecord r = element_set("1 27997U 86012D   08139.62996498  .00000021  00000-0  23056-6 0   597",
                                    "2 27997  51.6400 187.1059 0043946 130.2951 254.9118 13.85957255893370");
    const SatelliteSearchGeometry g = satellite_search_geometry(satellite_scenario_request());
    const SatelliteEvaluation vinti = evaluate_satellite(r, g);
    const SatelliteEvaluation both = evaluate_satellite(r, g, SatelliteTheory::both);
    const SatelliteEvaluation sgp4 = evaluate_satellite(r, g, SatelliteTheory::sgp4);
    ASSERT_EQ(vinti.outcome, SatelliteOutcome::in_field);
    ASSERT_EQ(both.outcome, SatelliteOutcome::in_field);
    const TextRowLayout layout = satellite_row_format(SatelliteTheory::vinti).text_layout;
    EXPECT_EQ(text_row(satellite_row(both.sighting, SatelliteTheory::vinti), layout),
              text_row(satellite_row(vinti.sighting, SatelliteTheory::vinti), layout));
    EXPECT_EQ(csv_row_line(satellite_row(both.sighting, SatelliteTheory::vinti), false, ""),
              csv_row_line(satellite_row(vinti.sighting, SatelliteTheory::vinti), false, ""));
    EXPECT_EQ(evaluate_satellite(r, g, SatelliteTheory::vinti).sighting.ra_deg, vinti.sighting.ra_deg);

    const SatelliteSighting& s = both.sighting;
    EXPECT_NEAR(s.theory_difference_arcsec, separation_arcsec(s.ra_deg, s.dec_deg, s.sgp4_ra_deg, s.sgp4_dec_deg),
                1e-6);
    EXPECT_GT(s.theory_difference_arcsec, 1.0);
    EXPECT_LT(s.theory_difference_arcsec, 3600.0);
    if (sgp4.outcome == SatelliteOutcome::in_field) {
        EXPECT_EQ(sgp4.sighting.ra_deg, s.sgp4_ra_deg);
        EXPECT_EQ(sgp4.sighting.dec_deg, s.sgp4_dec_deg);
    }

    const std::string header = csv_header_line(satellite_columns(SatelliteTheory::both), false);
    const std::string vinti_header = csv_header_line(satellite_columns(SatelliteTheory::vinti), false);
    EXPECT_EQ(header, vinti_header.substr(0, vinti_header.size() - 1) +
                          ",sgp4_ra_deg,sgp4_dec_deg,theory_difference_arcsec\n");
    EXPECT_EQ(csv_header_line(satellite_columns(SatelliteTheory::sgp4), false), vinti_header);
    const std::string row = csv_row_line(satellite_row(s, SatelliteTheory::both), false, "");
    const std::string vinti_row = csv_row_line(satellite_row(s, SatelliteTheory::vinti), false, "");
    EXPECT_EQ(row.substr(0, vinti_row.size() - 1) + "\n", vinti_row);
    EXPECT_EQ(std::count(row.begin(), row.end(), ','), std::count(header.begin(), header.end(), ','));
}

// Deep-space sets (a geostationary orbit and a transfer orbit, SDP4): a field
// a few arcseconds wide centred on SGP4's place holds the set for `sgp4` and
// for `both` (either theory suffices) but not for `vinti`; the `both` row
// still shows Vinti's place, outside that field.
TEST(SatelliteEvaluation, EitherTheoryPutsADeepSpaceSetInTheField)
{
    const TleRecord sets[] = {
        element_set("1 49595U 03066A   08139.61747879  .00000019  00000-0  16294-6 0  6318",
                    "2 49595   0.0000 229.8011 0005699 270.1479 320.9337  1.00272049159441"),
        element_set("1 10000U 03019B   08138.62016485  .00000511  00000-0  59259-5 0  8537",
                    "2 10000  26.0244  25.9358 7191398 106.9356 124.4993  2.23774787627106"),
    };
    for (const TleRecord& r : sets) {
        SearchRequest request = satellite_scenario_request();
        const SatelliteSearchGeometry wide = satellite_search_geometry(request);
        const Sgp4Orbit orbit = sgp4_orbit(sgp4_elements_from_tle(r, tle_epoch_mjd(r)));
        ASSERT_TRUE(orbit.deep_space);
        const Sgp4State state = sgp4_state(orbit, (request.utc_mjd - tle_epoch_mjd(r)) * 1440.0);
        ASSERT_EQ(state.error, SGP4_OK);
        const SphericalCoordinates place = spherical_from_vector(topocentric_vector_from_teme(state.position, wide.at));
        request.centre_ra_deg = place.ra_deg;
        request.centre_dec_deg = place.dec_deg;
        request.half_side_deg = 0.001;
        const SatelliteSearchGeometry g = satellite_search_geometry(request);

        const SatelliteEvaluation sgp4 = evaluate_satellite(r, g, SatelliteTheory::sgp4);
        ASSERT_EQ(sgp4.outcome, SatelliteOutcome::in_field) << r.norad_id.data();
        EXPECT_EQ(sgp4.sighting.ra_deg, place.ra_deg);
        EXPECT_EQ(evaluate_satellite(r, g).outcome, SatelliteOutcome::outside_field);
        const SatelliteEvaluation both = evaluate_satellite(r, g, SatelliteTheory::both);
        ASSERT_EQ(both.outcome, SatelliteOutcome::in_field);
        EXPECT_EQ(both.sighting.sgp4_ra_deg, place.ra_deg);
        EXPECT_GT(separation_arcsec(both.sighting.ra_deg, both.sighting.dec_deg, place.ra_deg, place.dec_deg), 3.6);
    }
}

// Sets the published verification output stops (decay, a negative
// semi-latus rectum, a mean eccentricity driven out of range by drag): after
// that instant SGP4 gives no place and says why; `both` evaluates them by
// Vinti's theory alone, says why SGP4 could not, and leaves SGP4's columns
// empty.
TEST(SatelliteEvaluation, SetsSgp4CannotPropagateAreNotEvaluated)
{
    struct Case {
        const char* line1;
        const char* line2;
        double minutes;
        const char* problem;
    };
    const Case cases[] = {
        {"1 28872U 05037B   05333.02012661  .25992681  00000-0  24476-3 0  1534",
         "2 28872  96.4736 157.9986 0303955 244.0492 110.6523 16.46015938 10708", 55.0, "SGP4: decayed"},
        {"1 33333U 05037B   05333.02012661  .25992681  00000-0  24476-3 0  1534",
         "2 33333  96.4736 157.9986 9950000 244.0492 110.6523  4.00004038 10708", 25.0,
         "SGP4: semi-latus rectum negative"},
        {"1 22312U 93002D   06094.46235912  .99999999  81888-5  49949-3 0  3953",
         "2 22312  62.1486  77.4698 0308723 267.9229  88.7392 15.95744531 98783", 494.2028672,
         "SGP4: mean eccentricity out of range"},
    };
    for (const Case& c : cases) {
        const TleRecord r = element_set(c.line1, c.line2);
        SearchRequest request = satellite_scenario_request();
        request.utc_mjd = tle_epoch_mjd(r) + c.minutes / 1440.0;
        const SatelliteSearchGeometry g = satellite_search_geometry(request);
        const SatelliteEvaluation sgp4 = evaluate_satellite(r, g, SatelliteTheory::sgp4);
        EXPECT_EQ(sgp4.outcome, SatelliteOutcome::not_evaluated) << c.problem;
        EXPECT_STREQ(sgp4.problem, c.problem);
        const SatelliteEvaluation both = evaluate_satellite(r, g, SatelliteTheory::both);
        const SatelliteEvaluation vinti = evaluate_satellite(r, g);
        EXPECT_EQ(both.outcome, vinti.outcome) << c.problem;
        if (vinti.outcome != SatelliteOutcome::not_evaluated) {
            EXPECT_STREQ(both.sgp4_problem, c.problem);
        }
        if (both.outcome == SatelliteOutcome::in_field) {
            const std::string row = csv_row_line(satellite_row(both.sighting, SatelliteTheory::both), false, "");
            EXPECT_EQ(row.substr(row.size() - 4), ",,,\n");
        }
    }
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

// The cheap instant of an exposure's inner samples keeps the reference's
// matrices and turns the observer with the Earth: within minutes of the
// reference it must place the observer where the exact instant does to a
// few centimetres (the frame itself moves by under 0.001" in that time), and
// a wrong sign or rate of the turn would miss by hundreds of metres.
TEST(SatelliteObserver, NearInstantTurnsTheObserverAsTheExactOne)
{
    Vector3 site;
    site(1) = 3395.0303;
    site(2) = 3128.7911;
    site(3) = 4388.8511;
    const double start = 54606.870486111;
    const ObservationInstant reference = observation_instant(start, 0.0, compiled_leap_second_table(), site);
    for (const double seconds : {-300.0, 1.0, 60.0, 300.0, 1200.0}) {
        const double t = start + seconds / 86400.0;
        const ObservationInstant exact = observation_instant(t, 0.0, compiled_leap_second_table(), site);
        const ObservationInstant near = observation_instant_near(reference, t);
        for (int i = 1; i <= 3; ++i) {
            EXPECT_NEAR(near.observer_j2000(i), exact.observer_j2000(i), 5e-5) << seconds << " s, axis " << i;
        }
        EXPECT_EQ(near.utc_mjd, t);
    }
}
