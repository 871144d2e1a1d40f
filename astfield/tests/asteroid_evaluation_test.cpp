#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "asteroid_evaluation.hpp"
#include "astorb_lines.hpp"
#include "light_time.hpp"
#include "sidereal_time.hpp"
#include "time_scales.hpp"

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
    EXPECT_EQ(asteroid_report_row(s), "|  4101| Testina   | 23 59 59.60  - 0  8 17.4  19.1  -856.5    25.3\n");
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

namespace {

Vector3 difference(const Vector3& a, const Vector3& b)
{
    return Vector3{{a(1) - b(1), a(2) - b(2), a(3) - b(3)}};
}

}  // namespace

// The request's clock reaches the observer. UT1 - UTC turns the observer
// about the pole of date by dUT1 x 15"/s x 1.00273781191135448 (the rate of
// the Earth rotation angle, IAU 2000): 7.5205" for 0.5 s; zero changes
// nothing. A leap-second table that ends in 2006 puts a 2026 instant 4 s
// early, where the Earth (about 30.2 km/s in December) was some 121 km away.
TEST(AsteroidEvaluation, ObserverFollowsTheRequestsClock)
{
    const double december_2026 = mjd_from_calendar(7, 12, 2026, 21, 30, 0.0);
    const SearchRequest plain{3395.0303, 3128.7911, 4388.8511, december_2026, 0.0, 0.0, 1.0, 20.0};
    SearchRequest geocentre = plain;
    geocentre.observer_x = geocentre.observer_y = geocentre.observer_z = 0.0;
    const Vector3 earth = observer_positions(geocentre).at;
    const Vector3 reference = difference(observer_positions(plain).at, earth);
    const Matrix3 c2t = celestial_to_terrestrial_matrix(december_2026, 0.0, plain.leap_seconds).matrix;
    const Vector3 pole{{c2t(3, 1), c2t(3, 2), c2t(3, 3)}};
    const double reference_ra = std::atan2(dot_product(reference, Vector3{{c2t(2, 1), c2t(2, 2), c2t(2, 3)}}),
                                           dot_product(reference, Vector3{{c2t(1, 1), c2t(1, 2), c2t(1, 3)}}));
    for (const double dut1 : {0.5, -0.3, 0.0}) {
        SearchRequest request = plain;
        request.ut1_minus_utc_seconds = dut1;
        const Vector3 turned = difference(observer_positions(request).at, earth);
        // Longitude about the pole of date, in the frame of the Earth at UT1 = UTC.
        const double ra = std::atan2(dot_product(turned, Vector3{{c2t(2, 1), c2t(2, 2), c2t(2, 3)}}),
                                     dot_product(turned, Vector3{{c2t(1, 1), c2t(1, 2), c2t(1, 3)}}));
        EXPECT_NEAR((ra - reference_ra) * RAD_TO_DEG * 3600.0, dut1 * 15.0 * 1.00273781191135448, 1e-5) << dut1;
        EXPECT_NEAR(dot_product(turned, pole), dot_product(reference, pole), 1e-6) << dut1;  // km
        if (dut1 == 0.0) {
            EXPECT_EQ(turned(1), reference(1));
            EXPECT_EQ(turned(2), reference(2));
            EXPECT_EQ(turned(3), reference(3));
        }
    }

    SearchRequest old_table = geocentre;
    old_table.leap_seconds.steps.resize(24);  // through 2006 January 1
    const Vector3 moved = difference(observer_positions(old_table).at, earth);
    EXPECT_NEAR(std::sqrt(dot_product(moved, moved)), 4.0 * 30.2, 1.0);
}
