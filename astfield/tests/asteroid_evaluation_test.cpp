#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "asteroid_evaluation.hpp"
#include "astorb_lines.hpp"
#include "asteroid_search.hpp"
#include "light_time.hpp"

using namespace fieldsearch;

// Catches a motion taken without the short way round through 0h (millions
// of arcseconds per hour for an asteroid crossing it), a wrong time unit, or
// a right-ascension rate scaled by cos(dec): 2 arcseconds over the two
// minutes of the difference are 60 arcsec/h, either side of 0h.
TEST(AsteroidEvaluation, MotionIsTakenTheShortWayRound)
{
    struct Case {
        double first_deg;
        double second_deg;
        double arcsec_per_hour;
    };
    const Case cases[] = {
        {10.0, 10.0 + 2.0 / 3600.0, 60.0},
        {359.9998, 359.9998 + 2.0 / 3600.0, 60.0},
        {359.9999, 0.0001, 0.0002 * 3600.0 * 30.0},
        {0.0001, 359.9999, -0.0002 * 3600.0 * 30.0},
        {180.0, 180.0, 0.0},
        {0.0, 180.0, 180.0 * 3600.0 * 30.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(ra_motion_arcsec_per_hour(c.first_deg, c.second_deg), c.arcsec_per_hour, 1e-6)
            << c.first_deg << " -> " << c.second_deg;
    }
    EXPECT_NEAR(dec_motion_arcsec_per_hour(-0.5, -0.5 + 2.0 / 3600.0), 60.0, 1e-9);
    EXPECT_NEAR(dec_motion_arcsec_per_hour(0.25, 0.25), 0.0, 1e-12);
}

// Catches a row whose columns drift from the table header: each conversion
// of the row format with its width, the sign of a declination between 0 and
// -1 deg, and the bars around number and name.
TEST(AsteroidEvaluation, ReportRowLayout)
{
    AsteroidSighting s{};
    s.number = {' ', ' ', '4', '1', '0', '1', '\0'};
    s.name = {' ', 'T', 'e', 's', 't', 'i', 'n', 'a', ' ', ' ', ' ', '\0'};
    s.ra = HoursMinutesSeconds{23, 59, 59.604};
    s.dec = SignDegreesMinutesSeconds{'-', 0, 8, 17.44};
    s.magnitude = 19.12;
    s.ra_motion = -856.54;
    s.dec_motion = 25.26;
    EXPECT_EQ(text_row(asteroid_row(s), asteroid_row_format().text_layout), "|  4101| Testina   | 23 59 59.60  - 0  8 17.4  19.1  -856.5    25.3\n");
}

// Catches an evaluation that lists an asteroid outside the field, fainter
// than the limit or with elements that describe no ellipse.
TEST(AsteroidEvaluation, ListsOnlyAsteroidsInTheFieldAndBrightEnough)
{
    SearchRequest request{0.0, 0.0, 0.0, 54606.21805555555, 0.041666666666666664, 0.5, 1.0, 20.0};
    const ObserverPositions observer = observer_positions(request);
    // In the field at V 18.4 (the rows of the report test).
    const AstorbRecord inside = parse_astorb_record(
        astorb_line("  4101", "Testina", 12.91, 0.15, "20080514", 299.77838, 81.329088, 327.929242, 6.0, 0.08, 2.75));
    const auto sighting = asteroid_sighting(request, observer, inside);
    ASSERT_TRUE(sighting.has_value());
    EXPECT_NEAR(sighting->magnitude, 18.4, 0.05);

    AstorbRecord faint = inside;
    faint.h = 15.0;
    EXPECT_FALSE(asteroid_sighting(request, observer, faint).has_value());

    SearchRequest elsewhere = request;
    elsewhere.centre_ra_deg = 90.0;
    EXPECT_FALSE(asteroid_sighting(elsewhere, observer, inside).has_value());

    AstorbRecord parabolic = inside;
    parabolic.eccentricity = 1.0;
    EXPECT_FALSE(asteroid_sighting(request, observer, parabolic).has_value());
}

// The scenario's clock reaches the observer. UT1 - UTC turns the Earth, and
// the observer 4617 km from its axis with it, by dUT1 x 15"/s x
// 1.00273781191135448 (the rate of the Earth rotation angle, IAU 2000): a
// chord of 0.168 km for 0.5 s (1e-6 km is the rounding of the instant's
// MJD); zero changes nothing, bit for bit. A table
// that ends in 2006 puts a 2026 instant 4 s early, where the Earth (30.2 km/s
// in December) was 121 km away.
TEST(AsteroidEvaluation, ObserverFollowsTheScenariosClock)
{
    Scenario scenario = asteroid_scenario();
    scenario.instant = {2026, 12, 7, 21, 30, 0.0};
    const Vector3 before = observer_positions(search_request_from_scenario(scenario)).at;
    const double axis_distance = std::hypot(scenario.observer_earth_fixed(1), scenario.observer_earth_fixed(2));
    const auto moved_km = [&](const Scenario& s) {
        const Vector3 after = observer_positions(search_request_from_scenario(s)).at;
        return std::hypot(after(1) - before(1), after(2) - before(2), after(3) - before(3));
    };
    Scenario turned = scenario;
    turned.ut1_minus_utc_seconds = 0.5;
    const double angle = 0.5 * 15.0 * 1.00273781191135448 * ARCSEC_TO_RAD;
    EXPECT_NEAR(moved_km(turned), 2.0 * axis_distance * std::sin(angle / 2.0), 1e-6);
    turned.ut1_minus_utc_seconds = 0.0;
    EXPECT_EQ(moved_km(turned), 0.0);
    Scenario old_table = scenario;
    old_table.leap_seconds.steps.resize(24);  // through 2006 January 1
    EXPECT_NEAR(moved_km(old_table), 4.0 * 30.2, 1.0);
}
