#include "formatted_text.hpp"
#include "field_prefilter.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scratch_directory.hpp"

#include "asteroid_search.hpp"
#include "hg_magnitude.hpp"
#include "astorb_lines.hpp"
#include "light_time.hpp"
#include "two_body.hpp"

using namespace fieldsearch;

namespace {

// A deterministic stream of uniform numbers in [0, 1).
struct Uniform {
    std::uint64_t state;
    double operator()()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) * 0x1.0p-53;
    }
};

// A dense catalogue of every kind of orbit: main belt, near-Earth objects,
// very eccentric ones, Trojans and distant objects, with epochs a year apart.
std::string dense_catalogue(int records)
{
    Uniform u{20080520};
    std::string text;
    for (int k = 0; k < records; ++k) {
        double a = 2.1 + 1.4 * u();
        double e = 0.3 * u();
        double i = 30.0 * u();
        switch (k % 6) {
        case 1:
            a = 0.8 + 1.7 * u();
            e = 0.1 + 0.8 * u();
            break;
        case 2:
            a = 1.5 + 3.0 * u();
            e = 0.9 + 0.099 * u();
            break;
        case 3:
            a = 5.2 + 0.1 * u();
            break;
        case 4:
            a = 30.0 + 20.0 * u();
            i = 60.0 * u();
            break;
        default:
            break;
        }
        const char* epoch = (k % 2 == 0) ? "20080514" : "20071027";
        text += astorb_line("", formatted("D%d", k).c_str(), 10.0 + 8.0 * u(), 0.15, epoch, 360.0 * u(),
                            360.0 * u(), 360.0 * u(), i, e, a) +
                "\n";
    }
    return text;
}

std::string temporary_catalogue(const std::string& text)
{
    const std::string path = process_scratch_directory() + "astfield_dense_catalogue.dat";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return path;
}

std::string output_of(const Scenario& scenario, const std::string& path, AsteroidScan scan)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(search_asteroid_field(scenario, {path.c_str(), OutputFormat::text, out, err}, scan), 0);
    std::string text;
    std::rewind(out);
    char block[4096];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, out)) > 0;) {
        text.append(block, n);
    }
    std::fclose(out);
    std::fclose(err);
    return text;
}

std::size_t rows_of(const std::string& report)
{
    std::size_t rows = 0;
    for (std::size_t at = report.find("\n|"); at != std::string::npos; at = report.find("\n|", at + 1)) {
        ++rows;
    }
    return rows;
}

}  // namespace

// The fast scan must print exactly what the straightforward one prints: a
// prefilter that rules out one asteroid too many loses a row. Fields of every
// size, across 0 h, near the ecliptic, away from the equator and at the pole,
// over a dense catalogue where many asteroids fall in them.
TEST(FieldPrefilter, FastScanPrintsExactlyWhatTheStraightforwardScanPrints)
{
    const std::string path = temporary_catalogue(dense_catalogue(6000));
    struct Field {
        double ra, dec, half_side, mag_limit;
        std::size_t fewest_rows;
    };
    const Field fields[] = {
        {0.041666666666666664, 0.5, 1.0, 20.0, 0},  // the compiled-in field
        {0.0, 0.0, 20.0, 30.0, 50},                 // across 0 h, near the ecliptic
        {237.0, -20.0, 5.0, 30.0, 10},              // opposition, the densest sky
        {237.0, -20.0, 0.5, 30.0, 0},
        {180.0, -30.0, 50.0, 25.0, 200},            // wide, away from the equator
        {40.0, 85.0, 3.0, 30.0, 0},                 // near the pole
        {300.0, 10.0, 15.0, 14.0, 0},               // a bright limit
    };
    std::size_t total_rows = 0;
    for (const Field& f : fields) {
        Scenario scenario = asteroid_scenario();
        scenario.centre = field_centre_from_degrees(f.ra, f.dec);
        scenario.half_side_arcmin = 60.0 * f.half_side;
        scenario.mag_limit = f.mag_limit;
        const std::string fast = output_of(scenario, path, AsteroidScan::fast);
        const std::string straightforward = output_of(scenario, path, AsteroidScan::straightforward);
        EXPECT_EQ(fast, straightforward) << f.ra << " " << f.dec << " " << f.half_side;
        EXPECT_GE(rows_of(straightforward), f.fewest_rows) << f.ra << " " << f.dec << " " << f.half_side;
        total_rows += rows_of(straightforward);
    }
    EXPECT_GT(total_rows, 500u);
}

// The prefilter earns its keep only if it rules out nearly every record of an
// ordinary field, and it must stand aside where its bounds do not hold.
TEST(FieldPrefilter, RulesOutMostRecordsAndStandsAsideWhereItCannotBound)
{
    const SearchRequest request = asteroid_search_request();
    const Vector3 observer{{request.observer_x, request.observer_y, request.observer_z}};
    const FieldPrefilter prefilter = field_prefilter(request, observer_heliocentric_position(request.utc_mjd,
        0.0, compiled_leap_second_table(), observer));
    const std::string catalogue = dense_catalogue(3000);
    int passed = 0;
    int records = 0;
    for (std::size_t at = 0; at < catalogue.size(); at = catalogue.find('\n', at) + 1) {
        const AstorbRecord record = parse_astorb_record(std::string_view(catalogue).substr(at, 267));
        ++records;
        passed += may_be_in_field(prefilter, record) ? 1 : 0;
    }
    EXPECT_EQ(records, 3000);
    EXPECT_LT(passed, records / 50);

    // An orbit of eccentricity 0.995 is left to the full evaluation, and so
    // is every record when the prefilter is not active.
    AstorbRecord extreme = parse_astorb_record(astorb_line("", "X", 15.0, 0.15, "20080514", 180.0, 0.0, 0.0, 0.0,
                                                           0.995, 1.0));
    EXPECT_TRUE(may_be_in_field(prefilter, extreme));
    FieldPrefilter inactive = prefilter;
    inactive.active = false;
    AstorbRecord far = extreme;
    far.eccentricity = 0.1;
    EXPECT_TRUE(may_be_in_field(inactive, far));
}

// The two bounds the prefilter rests on, checked against the full
// evaluation: the early Kepler solution's position lies within its stated
// error of the two-body position, and light time turns the direction by no
// more than the stated shift. The shift bound must also be tight enough that
// half of it would be broken: asteroids near perihelion, moving across the
// line of sight, come within 2/pi of it.
TEST(FieldPrefilter, PositionErrorAndLightTimeShiftStayWithinTheirBounds)
{
    Uniform u{4242};
    const SearchRequest request = asteroid_search_request();
    const Vector3 observer{{request.observer_x, request.observer_y, request.observer_z}};
    const Vector3 observer_position = observer_heliocentric_position(request.utc_mjd, 0.0,
        compiled_leap_second_table(), observer);
    double largest_ratio = 0.0;
    for (int k = 0; k < 20000; ++k) {
        const bool fast = k % 2 == 0;
        const double a = fast ? 0.6 + 2.0 * u() : 1.5 + 40.0 * u();
        const double e = fast ? 0.3 + 0.69 * u() : 0.5 * u();
        // Near perihelion half of the time.
        const double mean_anomaly = (k % 4 < 2) ? 6.0 * (u() - 0.5) : 360.0 * u();
        const AstorbRecord record = parse_astorb_record(astorb_line(
            "", "B", 15.0, 0.15, "20080514", mean_anomaly, 360.0 * u(), 360.0 * u(), 99.0 * u(), e, a));
        const double t = request.utc_mjd;

        const BoundedPosition bounded = bounded_geometric_position(record, t);
        const Vector3 exact = asteroid_position_km(epoch_mjd(record), elements_aei(record), elements_angles(record), t);
        const Vector3 d{{bounded.position(1) - exact(1), bounded.position(2) - exact(2), bounded.position(3) - exact(3)}};
        ASSERT_LE(std::sqrt(dot_product(d, d)), bounded.error_km) << k;

        const double shift = light_time_shift_bound(record);
        ASSERT_TRUE(std::isfinite(shift)) << k;
        const Vector3 g{{exact(1) - observer_position(1), exact(2) - observer_position(2),
                         exact(3) - observer_position(3)}};
        const LightTimeCorrected seen = light_time_corrected_vector(epoch_mjd(record), elements_aei(record),
                                                                    elements_angles(record), t, observer_position);
        const double cos_angle = dot_product(g, seen.topocentric) /
                                 std::sqrt(dot_product(g, g) * dot_product(seen.topocentric, seen.topocentric));
        const double angle = std::acos(std::fmin(1.0, cos_angle));
        ASSERT_LE(angle, shift) << k;
        largest_ratio = std::fmax(largest_ratio, angle / shift);
    }
    EXPECT_GT(largest_ratio, 0.5);
}

// What the reach of ruled_out_reach_km promises: moved anywhere within it,
// the light-time corrected place stays outside the field's cone or fainter
// than the limit (H-G; for G beyond 0 .. 1 the place alone). Random orbits of every kind against
// fields near their places and limits near their magnitudes, each place
// moved by the reach towards the field's centre line, the observer, the Sun
// and at random. Catches a root of the wrong sign, a missing light-time or
// position error term and a magnitude bound that forgets the phase law; and
// a reach too short to be of use: towards the centre line it must come
// within 1.8 of the least move that brings the place into the cone (the
// test trades asin x for (pi/2) x).
TEST(FieldPrefilter, PlacesMovedWithinTheReachStayRuledOut)
{
    Uniform u{8080};
    const SearchRequest base = asteroid_search_request();
    const Vector3 site{{base.observer_x, base.observer_y, base.observer_z}};
    const Vector3 observer = observer_heliocentric_position(base.utc_mjd, 0.0, compiled_leap_second_table(), site);
    int by_place = 0;
    int by_magnitude = 0;
    int sharp = 0;
    int place_limited = 0;
    for (int k = 0; k < 6000; ++k) {
        const int kind = k % 3;
        const double a = kind == 0 ? 2.1 + 1.2 * u() : kind == 1 ? 0.7 + 1.8 * u() : 5.0 + 30.0 * u();
        const double e = kind == 1 ? 0.1 + 0.8 * u() : 0.3 * u();
        const double g = k % 7 == 3 ? 1.6 : k % 5 == 0 ? 0.0 : k % 5 == 1 ? 1.0 : 0.15;
        const double h = 8.0 + 16.0 * u();
        const AstorbRecord record = parse_astorb_record(astorb_line(
            "", "R", h, g, "20080514", 360.0 * u(), 360.0 * u(), 360.0 * u(), 40.0 * u(), e, a));
        const double t = base.utc_mjd;
        const LightTimeCorrected seen =
            light_time_corrected_vector(epoch_mjd(record), elements_aei(record), elements_angles(record), t, observer);
        const double distance = std::sqrt(dot_product(seen.topocentric, seen.topocentric));
        const Vector3 towards{{seen.topocentric(1) / distance, seen.topocentric(2) / distance,
                               seen.topocentric(3) / distance}};
        // A field centred up to 8 deg from the place, half a side of 0.1 to
        // 2 deg, a limit within 3 magnitudes of the place's.
        SearchRequest request = base;
        const double ra = std::atan2(towards(2), towards(1)) * RAD_TO_DEG + 8.0 * (u() - 0.5);
        const double dec = std::asin(towards(3)) * RAD_TO_DEG + 8.0 * (u() - 0.5);
        request.centre_ra_deg = ra < 0.0 ? ra + 360.0 : ra;
        request.centre_dec_deg = std::fmax(-89.0, std::fmin(89.0, dec));
        request.half_side_deg = 0.1 + 1.9 * u();
        request.mag_limit = apparent_magnitude(h, g, seen.asteroid_position, seen.topocentric) + 6.0 * (u() - 0.5);
        const FieldPrefilter prefilter = field_prefilter(request, observer);
        const double reach = ruled_out_reach_km(prefilter, record);
        ASSERT_GE(reach, 0.0);
        if (!(reach > 0.0)) {
            continue;
        }
        // The centre line's point nearest the place, the observer, the Sun.
        const double along = dot_product(seen.topocentric, prefilter.centre);
        const Vector3 on_line{{observer(1) + along * prefilter.centre(1), observer(2) + along * prefilter.centre(2),
                               observer(3) + along * prefilter.centre(3)}};
        std::vector<Vector3> targets{on_line, observer, Vector3{}};
        for (int r = 0; r < 4; ++r) {
            const double z = 2.0 * u() - 1.0;
            const double phi = 2.0 * PI * u();
            const double w = std::sqrt(1.0 - z * z);
            targets.push_back(Vector3{{seen.asteroid_position(1) + w * std::cos(phi),
                                       seen.asteroid_position(2) + w * std::sin(phi), seen.asteroid_position(3) + z}});
        }
        bool place_rules = true;
        for (std::size_t m = 0; m < targets.size(); ++m) {
            Vector3 d{{targets[m](1) - seen.asteroid_position(1), targets[m](2) - seen.asteroid_position(2),
                       targets[m](3) - seen.asteroid_position(3)}};
            const double length = std::sqrt(dot_product(d, d));
            for (int i = 1; i <= 3; ++i) {
                d(i) *= reach / length;
            }
            const Vector3 moved{{seen.asteroid_position(1) + d(1), seen.asteroid_position(2) + d(2),
                                 seen.asteroid_position(3) + d(3)}};
            const Vector3 topocentric{{seen.topocentric(1) + d(1), seen.topocentric(2) + d(2),
                                       seen.topocentric(3) + d(3)}};
            const double cos_angle = dot_product(topocentric, prefilter.centre) /
                                     std::sqrt(dot_product(topocentric, topocentric));
            const bool outside = cos_angle < prefilter.cos_radius;
            const bool faint = apparent_magnitude(h, g, moved, topocentric) > request.mag_limit;
            ASSERT_TRUE(outside || faint) << k << " towards " << m << " reach " << reach << " km";
            place_rules = place_rules && outside;
        }
        by_place += place_rules ? 1 : 0;
        by_magnitude += place_rules ? 0 : 1;
        // The least move towards the centre line that reaches the cone: the
        // place's angle from the centre less the cone's radius, at the
        // place's distance from the line's nearest point.
        const double cos_theta = along / distance;
        if (place_rules && cos_theta > 0.0 && cos_theta < prefilter.cos_radius) {
            const double theta = std::acos(cos_theta);
            const double radius = std::acos(prefilter.cos_radius);
            const double needed = along * (std::tan(theta) - std::tan(radius)) * std::cos(radius);
            ++place_limited;
            sharp += reach * 1.8 > needed ? 1 : 0;
        }
    }
    RecordProperty("ruled out", std::to_string(by_place) + " by place, " + std::to_string(by_magnitude) +
                                    " by magnitude; sharp " + std::to_string(sharp) + " of " +
                                    std::to_string(place_limited));
    EXPECT_GT(by_place, 1000);
    EXPECT_GT(by_magnitude, 300);
    EXPECT_GT(sharp, 0.9 * place_limited);
}

// The longitude window rules a record out only when the asteroid's geometric
// place lies outside the widened cone it was made for (the cone's radius
// plus its light-time allowance of 1e-3 rad): random orbits of every kind,
// prograde and retrograde, at instants up to a year from their epochs, for
// cones across the sky; and it rules out most of the others.
TEST(FieldPrefilter, LongitudeWindowRulesOutOnlyPlacesOutsideItsCone)
{
    struct Cone {
        double ra_deg, dec_deg, radius_rad, utc_mjd;
    };
    const Cone cones[] = {
        {0.04, 0.5, 0.03, 54606.218},    // the compiled-in field
        {237.0, -20.0, 0.15, 54606.0},   // opposition
        {100.0, 40.0, 0.12, 54820.5},    // away from the ecliptic, half a year on
        {300.0, -70.0, 0.15, 54400.25},  // near the ecliptic's south pole
        {330.0, 5.0, 0.05, 54606.9},     // near the Sun's side of the sky
    };
    const Vector3 site{{3395.0303, 3128.7911, 4388.8511}};
    Uniform u{777};
    int inside = 0;
    int outside = 0;
    int ruled_out = 0;
    for (const Cone& cone : cones) {
        const Vector3 observer = observer_heliocentric_position(cone.utc_mjd, 0.0, compiled_leap_second_table(), site);
        const Vector3 centre = unit_vector_from_sky(cone.ra_deg, cone.dec_deg);
        const LongitudeWindow window = longitude_window(centre, cone.radius_rad, observer);
        ASSERT_TRUE(window.active) << cone.ra_deg;
        for (int k = 0; k < 30000; ++k) {
            double a = 1.8 + 2.0 * u();
            double e = 0.35 * u();
            double i = 35.0 * u();
            switch (k % 5) {
            case 1:  // crossing the Earth's orbit, fast
                a = 1.0 + 2.0 * u();
                e = 0.3 + 0.65 * u();
                break;
            case 2:  // Trojans and beyond
                a = 5.2 + 40.0 * u();
                i = 60.0 * u();
                break;
            case 3:  // steep and retrograde
                i = 180.0 * u();
                break;
            default:
                break;
            }
            const AstorbRecord record = parse_astorb_record(astorb_line(
                "", "W", 15.0, 0.15, "20080514", 360.0 * u(), 360.0 * u(), 360.0 * u(), i, e, a));
            const double t = epoch_mjd(record) + 800.0 * (u() - 0.5);
            const Vector3 place =
                asteroid_position_km(epoch_mjd(record), elements_aei(record), elements_angles(record), t);
            const Vector3 g{{place(1) - observer(1), place(2) - observer(2), place(3) - observer(3)}};
            const double angle =
                std::acos(std::fmin(1.0, dot_product(g, centre) / std::sqrt(dot_product(g, g))));
            const bool out = outside_longitude_window(window, record, t);
            if (angle <= cone.radius_rad + 0.999e-3) {
                ++inside;
                ASSERT_FALSE(out) << cone.ra_deg << " " << a << " " << e << " " << i << " " << angle;
            } else {
                ++outside;
                ruled_out += out ? 1 : 0;
            }
        }
    }
    EXPECT_GT(inside, 1000);
    EXPECT_GT(ruled_out, outside / 2);
}
