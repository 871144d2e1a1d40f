// What the site sees of a satellite (range, altitude and azimuth, the Earth's
// shadow, the phase angle, the magnitude estimate) and --sunlit-only, each
// against a computation of its own: published states through astropy, the
// shadow from the apparent discs of the Sun and the Earth, the Sun from ERFA,
// the penumbral fraction by integration over the Sun's disc, the stays by
// dense sampling.
#include "satellite_fields.hpp"
#include "satellite_search.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <erfa.h>
#include <gtest/gtest.h>

#include "angles.hpp"
#include "geodetic_site.hpp"
#include "precession_nutation.hpp"
#include "program_run.hpp"
#include "satellite_catalogue.hpp"
#include "scratch_directory.hpp"
#include "sidereal_time.hpp"
#include "square_field.hpp"
#include "vinti.hpp"

using namespace fieldsearch;

namespace {

constexpr double EARTH_KM = 6378.137;
constexpr double SUN_KM = 695700.0;
constexpr double ERFA_KM_PER_AU = 149597870.7;
constexpr double GM_KM3_S2 = 398600.4418;
constexpr double DEG = M_PI / 180.0;
// TAI - UTC was 33 s from 2006 to the end of 2008: TT - UTC, days.
constexpr double TT_MINUS_UTC_DAYS = 65.184 / 86400.0;

// The instant of the tests, 2008-05-20 20:54:00 UTC, and the epoch every set
// written here carries (its day of the year to the eight decimals of a set).
constexpr double INSTANT = 54606.0 + 20.9 / 24.0;
const char* const EPOCH_TEXT = "2008-05-20T20:54:00";

double set_epoch_mjd()
{
    TleRecord r{};
    r.epoch_year = 8;
    r.epoch_day = 141.87083333;
    return tle_epoch_mjd(r);
}

Vector3 scaled(const Vector3& v, double k)
{
    return Vector3{{k * v(1), k * v(2), k * v(3)}};
}

Vector3 sum(const Vector3& a, const Vector3& b)
{
    return Vector3{{a(1) + b(1), a(2) + b(2), a(3) + b(3)}};
}

Vector3 difference(const Vector3& a, const Vector3& b)
{
    return Vector3{{a(1) - b(1), a(2) - b(2), a(3) - b(3)}};
}

double norm(const Vector3& v)
{
    return std::sqrt(v(1) * v(1) + v(2) * v(2) + v(3) * v(3));
}

Vector3 unit(const Vector3& v)
{
    return scaled(v, 1.0 / norm(v));
}

Vector3 cross(const Vector3& a, const Vector3& b)
{
    return Vector3{{a(2) * b(3) - a(3) * b(2), a(3) * b(1) - a(1) * b(3), a(1) * b(2) - a(2) * b(1)}};
}

double angle(const Vector3& a, const Vector3& b)
{
    return std::atan2(norm(cross(a, b)), dot_product(a, b));
}

// The Sun's geometric geocentric position (km) at UTC MJD `utc`: minus ERFA's
// heliocentric Earth at TT (TDB within 2 ms), ICRS axes (the mean equator
// of J2000.0 within 0.02").
Vector3 erfa_sun_km(double utc)
{
    double pvh[2][3];
    double pvb[2][3];
    eraEpv00(2400000.5, utc + TT_MINUS_UTC_DAYS, pvh, pvb);
    return Vector3{{-pvh[0][0] * ERFA_KM_PER_AU, -pvh[0][1] * ERFA_KM_PER_AU, -pvh[0][2] * ERFA_KM_PER_AU}};
}

// The shadow seen from the body: the Sun's and the Earth's apparent radii
// and the angle between their centres; the Sun is hidden in part when the
// discs overlap, wholly when its disc lies inside the Earth's.
struct Discs {
    double sun;
    double earth;
    double separation;
};

Discs discs_seen_from(const Vector3& body, const Vector3& sun)
{
    const Vector3 to_sun = difference(sun, body);
    return {std::asin(SUN_KM / norm(to_sun)), std::asin(EARTH_KM / norm(body)), angle(to_sun, scaled(body, -1.0))};
}

std::string state_seen(const Discs& d)
{
    if (d.separation >= d.sun + d.earth) {
        return "sunlit";
    }
    if (d.separation <= d.earth - d.sun) {
        return "umbra";
    }
    return "penumbra";
}

// The visible fraction of the Sun's disc (radius a) behind the Earth's (radius
// b, centres c apart), by rings of the Sun's disc, each hidden over the arc
// within b of the Earth's centre (spherical law of cosines), midpoint rule.
double integrated_visible_fraction(double a, double b, double c)
{
    constexpr int RINGS = 200000;
    double hidden = 0.0;
    double total = 0.0;
    for (int i = 0; i < RINGS; ++i) {
        const double rho = (i + 0.5) * a / RINGS;
        const double denominator = std::sin(rho) * std::sin(c);
        double part;
        if (denominator == 0.0) {
            part = std::cos(rho) * std::cos(c) > std::cos(b) ? 1.0 : 0.0;
        } else {
            const double k = (std::cos(b) - std::cos(rho) * std::cos(c)) / denominator;
            part = k >= 1.0 ? 0.0 : k <= -1.0 ? 1.0 : std::acos(k) / M_PI;
        }
        hidden += part * std::sin(rho);
        total += std::sin(rho);
    }
    return 1.0 - hidden / total;
}

// The elements of a near-circular orbit (degrees, rev/day) that put a
// satellite at the J2000 direction `target` at the epoch, `radius_km` from
// the Earth's centre: the direction on the true equator and equinox of date
// (the frame the theory's positions are taken in), an orbit plane of
// inclination `incl_deg` through it, perigee at the node and the argument
// of latitude as the mean anomaly.
struct Elements {
    double incl;
    double node;
    double omega;
    double mean_anom;
    double ecc;
    double n;
};

Elements orbit_through(const Vector3& target, double radius_km, double incl_deg)
{
    const Vector3 tod = unit(matrix_vector_product(precession_nutation_matrix(INSTANT), target));
    const double dec = std::asin(tod(3));
    const double ra = std::atan2(tod(2), tod(1));
    const double i = incl_deg * DEG;
    const double u = std::asin(std::clamp(std::sin(dec) / std::sin(i), -1.0, 1.0));
    double node = (ra - std::atan2(std::cos(i) * std::sin(u), std::cos(u))) / DEG;
    node = std::fmod(node + 720.0, 360.0);
    const double n = std::sqrt(GM_KM3_S2 / (radius_km * radius_km * radius_km)) * 86400.0 / (2.0 * M_PI);
    return {incl_deg, node, 0.0, std::fmod(u / DEG + 360.0, 360.0), 1e-7, n};
}

// The satellite's geocentric J2000 position (km) at UTC MJD `t` by Vinti's
// theory, as the search takes its positions (true of date, turned to J2000).
Vector3 position_at(const Elements& e, double t)
{
    return matrix_vector_product(inverse_precession_nutation_matrix(t),
                                 vinti_state(set_epoch_mjd(), e.omega, e.node, e.incl, e.ecc, e.mean_anom, e.n, 0.0, t));
}

// One OMM CSV record of the set, with its standard magnitude when given.
std::string omm_line(long number, const Elements& e, std::optional<double> magnitude)
{
    char line[512];
    std::snprintf(line, sizeof line, "TEST %ld,2008-099A,%s,%.12f,%.9f,%.10f,%.10f,%.10f,%.10f,%ld,0,0,0,%s\n", number,
                  EPOCH_TEXT, e.n, e.ecc, e.incl, e.node, e.omega, e.mean_anom, number,
                  magnitude ? std::to_string(*magnitude).c_str() : "");
    return line;
}

const char* const OMM_HEADER = "OBJECT_NAME,OBJECT_ID,EPOCH,MEAN_MOTION,ECCENTRICITY,INCLINATION,RA_OF_ASC_NODE,"
                               "ARG_OF_PERICENTER,MEAN_ANOMALY,NORAD_CAT_ID,BSTAR,MEAN_MOTION_DOT,MEAN_MOTION_DDOT,"
                               "USER_DEFINED_STD_MAG\n";

// A field of the plan: a square of `side_arcmin` about (ra, dec) seen from
// `site` (geocentric Earth-fixed, km) from UTC MJD `start` on for
// `exposure_s` seconds (its rows at the middle).
FieldSearch field_at(double ra_deg, double dec_deg, double side_arcmin, const Vector3& site, double start,
                     double exposure_s, const std::string& id)
{
    Scenario scenario{};
    scenario.instant = calendar_instant_from_mjd(start);
    scenario.observer_earth_fixed = site;
    scenario.centre = field_centre_from_degrees(ra_deg, dec_deg);
    scenario.half_side_arcmin = 0.5 * side_arcmin;
    FieldSearch field = field_search(scenario, exposure_s);
    field.start_utc_mjd = start;
    field.id = id;
    return field;
}

// A run's CSV, its cells by column name.
struct CsvRun {
    int status;
    std::string err;
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;

    std::string cell(std::size_t row, const std::string& name) const
    {
        const auto at = std::find(header.begin(), header.end(), name);
        EXPECT_NE(at, header.end()) << name;
        return at == header.end() ? std::string() : rows[row][static_cast<std::size_t>(at - header.begin())];
    }
    double number(std::size_t row, const std::string& name) const { return std::stod(cell(row, name)); }
};

std::vector<std::string> split_csv(const std::string& line)
{
    std::vector<std::string> cells;
    std::stringstream in(line);
    for (std::string cell; std::getline(in, cell, ',');) {
        cells.push_back(cell);
    }
    if (!line.empty() && line.back() == ',') {
        cells.emplace_back();
    }
    return cells;
}

CsvRun search_csv(const SearchPlan& plan, const std::string& catalogue)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status = search_satellite_fields(plan, {catalogue.c_str(), OutputFormat::csv, out, err});
    CsvRun run{status, temporary_file_contents(err), {}, {}};
    std::stringstream lines(temporary_file_contents(out));
    std::string line;
    if (std::getline(lines, line)) {
        run.header = split_csv(line);
    }
    while (std::getline(lines, line)) {
        run.rows.push_back(split_csv(line));
        EXPECT_EQ(run.rows.back().size(), run.header.size()) << line;
    }
    return run;
}

void write_file(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

// Range, altitude and azimuth of four sets of the published SGP4
// verification catalogue (low, eccentric, Molniya, sun-synchronous) at
// instants of the published states, seen from the README's site, against
// astropy (tests/site_view_reference.py): the published TEME position carried
// by astropy's TEME -> ITRS (GMST 1982, polar motion set to zero as the
// programs have none, UT1 = UTC), made topocentric and turned to AltAz. A
// range from the wrong origin, an Earth-fixed frame turned by the equation of
// the equinoxes or an azimuth from the south fails by far more. (They agree
// to 3 mm and 5e-8 deg: the published states are SGP4's to 1 mm.)
TEST(SatelliteSiteView, RangeAltitudeAndAzimuthMatchAstropyForPublishedStates)
{
    struct Case {
        const char* lines[2];
        double minutes;
        double range_km, altitude_deg, azimuth_deg;  // astropy
    };
    const Case cases[] = {
        {{"1 00005U 58002B   00179.78495062  .00000023  00000-0  28098-4 0  4753",
          "2 00005  34.2682 348.7242 1859667 331.7664  19.3264 10.82419157413667"},
         360.0, 13827.249140, -60.783157830, 274.928975728},
        {{"1 06251U 62025E   06176.82412014  .00008885  00000-0  12808-3 0  3985",
          "2 06251  58.0579  54.0425 0030035 139.1568 221.1854 15.56387291  6774"},
         120.0, 7081.128034, -29.862410767, 322.510290170},
        {{"1 09880U 77021A   06176.56157475  .00000421  00000-0  10000-3 0  9814",
          "2 09880  64.5968 349.3786 7069051 270.0229  16.3320  2.00813614112380"},
         240.0, 42045.314837, 8.835177306, 351.894283753},
        {{"1 28057U 03049A   06177.78615833  .00000060  00000-0  35940-4 0  1836",
          "2 28057  98.4283 247.6961 0000884  88.1964 271.9322 14.35478080140550"},
         240.0, 9409.377978, -40.442867233, 34.179787166},
    };
    const Vector3 site = observer_from_geodetic_site(43.7417, 42.6630, 2094.0);
    for (const Case& c : cases) {
        const TleRecord record = parse_tle_record("VERIFICATION", c.lines[0], c.lines[1]);
        SearchRequest request{site(1), site(2), site(3), tle_epoch_mjd(record) + c.minutes / 1440.0, 0.0, 0.0, 1.0, 0.0};
        SatelliteSearchGeometry geometry = satellite_search_geometry(request);
        geometry.whole_sky = true;
        const SatelliteEvaluation e = evaluate_satellite(record, geometry, SatelliteTheory::sgp4);
        ASSERT_EQ(e.outcome, SatelliteOutcome::in_field) << c.lines[0];
        Row row;
        append_satellite_view_values(e.sighting, row);
        ASSERT_EQ(row.values.size(), 6u);
        EXPECT_NEAR(row.values[0].real, c.range_km, 2e-5) << c.lines[0];
        EXPECT_EQ(row.values[0].decimals, 3);
        EXPECT_NEAR(row.values[1].real, c.altitude_deg, 2e-7) << c.lines[0];
        EXPECT_NEAR(row.values[2].real, c.azimuth_deg, 2e-7) << c.lines[0];
        EXPECT_EQ(row.values[1].decimals, 6);
    }
}

namespace {

// The frame bias that takes ERFA's ICRS axes to the mean equator and equinox
// of J2000.0 (eraBp06's rb), applied to a vector.
Vector3 frame_biased(const Vector3& icrs)
{
    double rb[3][3];
    double rp[3][3];
    double rbp[3][3];
    eraBp06(2400000.5, 51544.5, rb, rp, rbp);
    Vector3 out;
    for (int i = 0; i < 3; ++i) {
        out(i + 1) = rb[i][0] * icrs(1) + rb[i][1] * icrs(2) + rb[i][2] * icrs(3);
    }
    return out;
}

// The diffuse sphere's law: sin b + (pi - b) cos b.
double phase_law(double b)
{
    return std::sin(b) + (M_PI - b) * std::cos(b);
}

}  // namespace

// Sets placed by their elements where the geometry is known, each seen from
// the Earth's centre through the search of an OMM catalogue: geostationary
// ones behind the Earth, off its shadow's axis by 7.5 deg (umbra), 8.6 deg
// (the Sun's limb behind the Earth: penumbra) and 9.5 deg (sunlit), at
// right angles to the Sun (quarter phase), between the Earth and the Sun
// (new phase), and one 1.5 million km behind the Earth, past the umbra's
// vertex (the Earth inside the Sun's disc: an annular penumbra at full
// phase). Each row's illumination is the state the apparent discs give at
// the set's position, its phase the angle there between the Sun (ERFA) and
// the observer, its magnitude m - 15 + 5 log10(range) - 2.5 log10(the law)
// less 2.5 log10 of the visible fraction integrated over the Sun's disc; at
// 90 deg the law is 1 and at 0 deg pi. No magnitude in umbra or without a
// standard magnitude; a file's magnitude goes before the catalogue's. A
// wrong Sun (its time, its sign), a shadow taken from the observer, a
// magnitude without the penumbral term or with the wrong range fails.
TEST(SatelliteIllumination, RowsShowTheShadowPhaseAndMagnitudeOfTheirPlace)
{
    const Vector3 sun = frame_biased(erfa_sun_km(INSTANT));
    const Vector3 s = unit(sun);
    const Vector3 p = unit(cross(s, Vector3{{0.0, 0.0, 1.0}}));
    const auto off_axis = [&](double degrees) {
        return sum(scaled(s, -std::cos(degrees * DEG)), scaled(p, std::sin(degrees * DEG)));
    };
    struct Case {
        const char* what;
        long number;
        Vector3 direction;
        double radius_km;
        std::optional<double> catalogue_magnitude;
        std::optional<double> file_magnitude;
        const char* state;
        double phase_deg;  // what the geometry aims at; NAN where it does not matter
    };
    const std::optional<double> none;
    const Case cases[] = {
        {"geostationary, behind the Earth", 90001, off_axis(0.0), 42164.0, 4.0, none, "umbra", NAN},
        {"7.5 deg off the shadow's axis", 90002, off_axis(7.5), 42164.0, 4.0, none, "umbra", NAN},
        {"8.6 deg off: the Sun's limb behind the Earth", 90003, off_axis(8.6), 42164.0, 4.0, none, "penumbra", NAN},
        {"9.5 deg off", 90004, off_axis(9.5), 42164.0, 4.0, none, "sunlit", NAN},
        {"at right angles to the Sun", 90005, p, 42164.0, 4.0, none, "sunlit", 90.0},
        {"between the Earth and the Sun", 90006, s, 42164.0, 4.0, none, "sunlit", 180.0},
        {"past the umbra's vertex, behind the Earth", 90007, off_axis(0.0), 1.5e6, 4.0, none, "penumbra", 0.0},
        {"no standard magnitude", 90008, off_axis(40.0), 42164.0, none, none, "sunlit", NAN},
        {"the file's magnitude before the catalogue's", 90009, off_axis(70.0), 42164.0, 4.0, 2.5, "sunlit", NAN},
    };
    const ScratchDirectory scratch;
    std::string catalogue = OMM_HEADER;
    SearchPlan plan;
    plan.listed = true;
    std::map<long, Elements> elements;
    for (const Case& c : cases) {
        const double dec = std::asin(c.direction(3)) / DEG;
        const Elements e = orbit_through(c.direction, c.radius_km, std::min(90.0, std::fabs(dec) + 10.0));
        elements[c.number] = e;
        catalogue += omm_line(c.number, e, c.catalogue_magnitude);
        if (c.file_magnitude) {
            plan.standard_magnitudes.by_catalogue_number[c.number] = *c.file_magnitude;
        }
        const SphericalCoordinates place = spherical_from_vector(c.direction);
        plan.fields.push_back(
            field_at(place.ra_deg, place.dec_deg, 60.0, Vector3{}, INSTANT, 0.0, std::to_string(c.number)));
    }
    write_file(scratch.file("sets.csv"), catalogue);
    const CsvRun run = search_csv(plan, scratch.file("sets.csv"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");

    for (const Case& c : cases) {
        // The first row of the set (two fields share the axis).
        std::size_t row = run.rows.size();
        for (std::size_t k = 0; k < run.rows.size() && row == run.rows.size(); ++k) {
            if (run.cell(k, "norad_number") == std::to_string(c.number)) {
                row = k;
            }
        }
        ASSERT_LT(row, run.rows.size()) << c.what;
        const Vector3 body = position_at(elements[c.number], INSTANT);
        const Discs seen = discs_seen_from(body, sun);
        const double phase = angle(difference(sun, body), scaled(body, -1.0));
        EXPECT_EQ(state_seen(seen), c.state) << c.what << ": the case is not where it was meant to be";
        EXPECT_EQ(run.cell(row, "illumination"), state_seen(seen)) << c.what;
        EXPECT_NEAR(run.number(row, "range_km"), norm(body), 0.0006) << c.what;
        EXPECT_NEAR(run.number(row, "phase_angle_deg"), phase / DEG, 6e-5) << c.what;
        EXPECT_EQ(run.cell(row, "altitude_deg"), "") << c.what;
        EXPECT_EQ(run.cell(row, "azimuth_deg"), "") << c.what;
        const std::optional<double> m = c.file_magnitude ? c.file_magnitude : c.catalogue_magnitude;
        if (state_seen(seen) == "umbra" || !m) {
            EXPECT_EQ(run.cell(row, "v_mag_estimate"), "") << c.what;
            continue;
        }
        const double fraction =
            state_seen(seen) == "penumbra" ? integrated_visible_fraction(seen.sun, seen.earth, seen.separation) : 1.0;
        const double expected = *m - 15.0 + 5.0 * std::log10(norm(body)) - 2.5 * std::log10(phase_law(phase)) -
                                2.5 * std::log10(fraction);
        EXPECT_NEAR(run.number(row, "v_mag_estimate"), expected, 0.0006) << c.what;
        if (c.phase_deg == 90.0 || c.phase_deg == 0.0) {
            // The law at its hand values: 1 at quarter phase, pi at full phase.
            EXPECT_NEAR(phase / DEG, c.phase_deg, 0.05) << c.what;
            const double law = c.phase_deg == 90.0 ? 1.0 : M_PI;
            EXPECT_NEAR(run.number(row, "v_mag_estimate"),
                        *m - 15.0 + 5.0 * std::log10(norm(body)) - 2.5 * std::log10(law) - 2.5 * std::log10(fraction),
                        0.002)
                << c.what;
        }
        if (c.phase_deg == 180.0) {
            // Near new phase the law vanishes as (pi - b)^3 / 3: very faint.
            EXPECT_GT(180.0 - phase / DEG, 0.0);
            EXPECT_LT(180.0 - phase / DEG, 0.01) << c.what;
            EXPECT_GT(run.number(row, "v_mag_estimate"), 25.0) << c.what;
        }
        if (c.number == 90007) {
            // Annular: the Earth's disc wholly inside the Sun's, 1 - (b / a)^2 of it left in view.
            EXPECT_LT(seen.separation + seen.earth, seen.sun);
            EXPECT_NEAR(fraction, 1.0 - std::pow(std::sin(0.5 * seen.earth) / std::sin(0.5 * seen.sun), 2), 1e-6);
        }
    }
}

namespace {

// The instants (UTC MJD) a set enters and leaves the umbra between `from`
// and `to`, by the apparent discs at its positions and the Sun from ERFA,
// scanned by seconds and bisected to a microsecond.
struct UmbraPassage {
    std::vector<double> entries;
    std::vector<double> exits;
};

bool in_umbra_at(const Elements& e, double t)
{
    return state_seen(discs_seen_from(position_at(e, t), frame_biased(erfa_sun_km(t)))) == "umbra";
}

UmbraPassage umbra_passage(const Elements& e, double from, double to)
{
    UmbraPassage passage;
    const double step = 10.0 / 86400.0;  // the umbra lasts for minutes
    bool previous = in_umbra_at(e, from);
    for (double t = from + step; t <= to; t += step) {
        const bool now = in_umbra_at(e, t);
        if (now != previous) {
            double before = t - step;
            double after = t;
            while ((after - before) * 86400.0 > 1e-6) {
                const double middle = 0.5 * (before + after);
                (in_umbra_at(e, middle) == previous ? before : after) = middle;
            }
            (now ? passage.entries : passage.exits).push_back(0.5 * (before + after));
            previous = now;
        }
    }
    return passage;
}

}  // namespace

// A low satellite (500 km, 51.6 deg) that passes through the Earth's shadow,
// in a field of 8 deg through an exposure of 40 s centred on its entry into
// the umbra and then on its exit (found here by the apparent discs at its
// positions): without --sunlit-only it is in the field from start to end;
// with it the stay ends where it enters the umbra and begins where it leaves
// it, within the search's millisecond. Taking the shadow at the wrong
// instant, or stepping over its edge, moves t_out_s or t_in_s.
TEST(SunlitOnly, ExposureStaysEndAndBeginAtTheUmbrasEdge)
{
    const Vector3 sun = frame_biased(erfa_sun_km(INSTANT));
    const Elements e = orbit_through(unit(scaled(sun, -1.0)), EARTH_KM + 500.0, 51.6);
    const UmbraPassage passage = umbra_passage(e, INSTANT - 40.0 / 1440.0, INSTANT + 40.0 / 1440.0);
    ASSERT_EQ(passage.entries.size(), 1u);
    ASSERT_EQ(passage.exits.size(), 1u);
    const ScratchDirectory scratch;
    write_file(scratch.file("set.csv"), std::string(OMM_HEADER) + omm_line(90101, e, 5.0));

    const struct {
        const char* what;
        double edge;     // UTC MJD
        bool entering;
    } cases[] = {{"entering the umbra", passage.entries[0], true}, {"leaving the umbra", passage.exits[0], false}};
    for (const auto& c : cases) {
        const double start = c.edge - 20.0 / 86400.0;
        const SphericalCoordinates place = spherical_from_vector(position_at(e, c.edge));
        SearchPlan plan;
        plan.fields.push_back(field_at(place.ra_deg, place.dec_deg, 480.0, Vector3{}, start, 40.0, ""));
        const CsvRun all = search_csv(plan, scratch.file("set.csv"));
        ASSERT_EQ(all.rows.size(), 1u) << c.what << all.err;
        EXPECT_EQ(all.cell(0, "t_in_s"), "0.000") << c.what;
        EXPECT_EQ(all.cell(0, "t_out_s"), "40.000") << c.what;

        plan.sunlit_only = true;
        const CsvRun lit = search_csv(plan, scratch.file("set.csv"));
        ASSERT_EQ(lit.rows.size(), 1u) << c.what << lit.err;
        const double crossing = (c.edge - start) * 86400.0;
        if (c.entering) {
            EXPECT_EQ(lit.cell(0, "t_in_s"), "0.000") << c.what;
            EXPECT_GE(lit.number(0, "t_out_s"), crossing - 0.0015) << c.what;
            EXPECT_LE(lit.number(0, "t_out_s"), crossing + 0.0005) << c.what;
        } else {
            EXPECT_GE(lit.number(0, "t_in_s"), crossing - 0.0005) << c.what;
            EXPECT_LE(lit.number(0, "t_in_s"), crossing + 0.0015) << c.what;
            EXPECT_EQ(lit.cell(0, "t_out_s"), "40.000") << c.what;
        }
        // The row itself stands at mid-exposure, on the umbra's edge.
        EXPECT_NE(lit.cell(0, "illumination"), "sunlit") << c.what;
    }
}

namespace {

// The element set of `e` at the tests' epoch.
TleRecord record_of(const Elements& e, long number)
{
    TleRecord r = parse_tle_record("TEST", {}, {});
    r.epoch_year = 8;
    r.epoch_day = 141.87083333;
    r.incl = e.incl;
    r.node = e.node;
    r.omega = e.omega;
    r.mean_anom = e.mean_anom;
    r.ecc = e.ecc;
    r.n = e.n;
    r.norad_number = number;
    return r;
}

}  // namespace

// Random low and middle orbits through the Earth's shadow, each with a field
// of 1 to 6 deg seen from the README's site about the set's place near an
// edge of the umbra, and an exposure of 10 to 60 s about that edge: the lit
// part of the stay that --sunlit-only gives against sampling every 5 ms
// whether the set is in the field (in_square_field on its topocentric
// place) and lit (the apparent discs, the Sun from ERFA). Every stay of
// 20 ms or more is found, its first and last instants within the sampling
// step; nothing is found that the samples do not hold, but for stays shorter
// than the step. A clearance that overstates the distance to the shadow's
// edge steps over the short stays and misplaces the cuts.
TEST(SunlitOnly, MissesNoLitStayLongerThanTheResolution)
{
    const Vector3 site = observer_from_geodetic_site(43.7417, 42.6630, 2094.0);
    const LeapSecondTable& leap_seconds = compiled_leap_second_table();
    std::uint32_t seed = 20080520u;
    const auto uniform = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / 16777216.0;
    };
    const Vector3 anti_sun = unit(scaled(frame_biased(erfa_sun_km(INSTANT)), -1.0));
    const Vector3 across = unit(cross(anti_sun, Vector3{{0.0, 0.0, 1.0}}));
    const Vector3 third = cross(anti_sun, across);
    int compared = 0;
    int cut = 0;  // stays the shadow shortens
    for (int k = 0; k < 30; ++k) {
        const double tilt = uniform() * 25.0 * DEG;
        const double roll = uniform() * 2.0 * M_PI;
        const Vector3 target = sum(scaled(anti_sun, std::cos(tilt)),
                                   scaled(sum(scaled(across, std::cos(roll)), scaled(third, std::sin(roll))), std::sin(tilt)));
        const double dec = std::asin(target(3)) / DEG;
        const Elements e = orbit_through(target, 6700.0 + uniform() * 2500.0,
                                         std::min(90.0, std::fabs(dec) + 1.0 + uniform() * 60.0));
        const UmbraPassage passage = umbra_passage(e, INSTANT - 35.0 / 1440.0, INSTANT + 35.0 / 1440.0);
        if (passage.entries.empty() || passage.exits.empty()) {
            continue;
        }
        const double edge = uniform() < 0.5 ? passage.entries[0] : passage.exits[0];
        const double length = 10.0 + uniform() * 50.0;
        const double start = edge - uniform() * length / 86400.0;
        const double side_arcmin = 60.0 + uniform() * 300.0;
        const double aim = edge + (uniform() - 0.5) * 30.0 / 86400.0;
        const Vector3 observer_at_aim = observer_geocentric_position(aim, 0.0, leap_seconds, site);
        const SphericalCoordinates centre = spherical_from_vector(difference(position_at(e, aim), observer_at_aim));

        SearchPlan plan;
        plan.sunlit_only = true;
        plan.fields.push_back(field_at(centre.ra_deg, centre.dec_deg, side_arcmin, site, start, length, ""));
        const SatelliteFields fields(plan, SatelliteScan::full);
        std::optional<RowExtras> found;
        fields.evaluate(record_of(e, 90200 + k), [&](std::size_t, const SatelliteSighting&, const RowExtras& extras) {
            found = extras;
        });

        // Samples every 5 ms; the Sun between ERFA's places at the ends; the
        // observer turned from the start about the true pole at the Earth's
        // rate (precession and nutation move the pole by 1e-10 rad in a minute).
        const Vector3 sun_start = frame_biased(erfa_sun_km(start));
        const Vector3 sun_end = frame_biased(erfa_sun_km(start + length / 86400.0));
        const Matrix3 to_j2000 = inverse_precession_nutation_matrix(start);
        const Vector3 observer_of_date = matrix_vector_product(
            transpose_matrix(to_j2000), observer_geocentric_position(start, 0.0, leap_seconds, site));
        constexpr double STEP = 0.005;
        double first = NAN;
        double last = NAN;
        double first_in_field = NAN;
        double last_in_field = NAN;
        for (double t = 0.0; t <= length; t += STEP) {
            const double utc = start + t / 86400.0;
            const Vector3 body = matrix_vector_product(
                to_j2000, vinti_state(set_epoch_mjd(), e.omega, e.node, e.incl, e.ecc, e.mean_anom, e.n, 0.0, utc));
            const double turn = 2.0 * M_PI * 1.00273781191135448 * t / 86400.0;
            const Vector3 observer = matrix_vector_product(
                to_j2000, Vector3{{std::cos(turn) * observer_of_date(1) - std::sin(turn) * observer_of_date(2),
                                   std::sin(turn) * observer_of_date(1) + std::cos(turn) * observer_of_date(2),
                                   observer_of_date(3)}});
            const SphericalCoordinates place = spherical_from_vector(difference(body, observer));
            const bool in_field = in_square_field(place.ra_deg, place.dec_deg, 0.0, centre.ra_deg, centre.dec_deg,
                                                  side_arcmin / 120.0, 0.0) == 1;
            if (in_field) {
                first_in_field = std::isnan(first_in_field) ? t : first_in_field;
                last_in_field = t;
            }
            const Vector3 sun = sum(sun_start, scaled(difference(sun_end, sun_start), t / length));
            if (in_field && state_seen(discs_seen_from(body, sun)) != "umbra") {
                first = std::isnan(first) ? t : first;
                last = t;
            }
        }
        const bool stay = !std::isnan(first) && last - first >= 0.02;
        if (stay) {
            ++compared;
            ASSERT_TRUE(found) << "case " << k << ": a lit stay from " << first << " s to " << last << " s is missed";
            EXPECT_NEAR(found->t_in_s, first, STEP + 0.0011) << "case " << k;
            EXPECT_NEAR(found->t_out_s, last, STEP + 0.0011) << "case " << k;
            cut += first > first_in_field + 0.01 || last < last_in_field - 0.01 ? 1 : 0;
        } else if (found) {
            EXPECT_LT(found->t_out_s - found->t_in_s, STEP) << "case " << k << ": a stay the samples do not hold";
        }
    }
    EXPECT_GE(compared, 20);
    EXPECT_GE(cut, 20);
}

// The standard magnitude an OMM record carries: USER_DEFINED_STD_MAG in CSV
// and JSON (text or number), <USER_DEFINED parameter="STD_MAG"> in XML;
// none when it is absent or another parameter is named; a value that is no
// number, or no standard magnitude, refuses the record with the reason.
TEST(OmmStandardMagnitude, EveryFormCarriesIt)
{
    const std::string elements = "\"EPOCH\": \"2008-05-20T20:54:00\", \"MEAN_MOTION\": 15.5, \"ECCENTRICITY\": 0.001, "
                                 "\"INCLINATION\": 51.6, \"RA_OF_ASC_NODE\": 10, \"ARG_OF_PERICENTER\": 20, "
                                 "\"MEAN_ANOMALY\": 30, \"MEAN_MOTION_DOT\": 0, \"NORAD_CAT_ID\": 25544";
    const std::string xml_start =
        "<omm><body><segment><data><meanElements><EPOCH>2008-05-20T20:54:00</EPOCH><MEAN_MOTION>15.5</MEAN_MOTION>"
        "<ECCENTRICITY>0.001</ECCENTRICITY><INCLINATION>51.6</INCLINATION><RA_OF_ASC_NODE>10</RA_OF_ASC_NODE>"
        "<ARG_OF_PERICENTER>20</ARG_OF_PERICENTER><MEAN_ANOMALY>30</MEAN_ANOMALY></meanElements><tleParameters>"
        "<NORAD_CAT_ID>25544</NORAD_CAT_ID><MEAN_MOTION_DOT>0</MEAN_MOTION_DOT></tleParameters>";
    const std::string xml_end = "</data></segment></body></omm>\n";
    const std::string csv_header = "EPOCH,MEAN_MOTION,ECCENTRICITY,INCLINATION,RA_OF_ASC_NODE,ARG_OF_PERICENTER,"
                                   "MEAN_ANOMALY,MEAN_MOTION_DOT,NORAD_CAT_ID,USER_DEFINED_STD_MAG\n";
    const std::string csv_elements = "2008-05-20T20:54:00,15.5,0.001,51.6,10,20,30,0,25544,";
    const struct {
        const char* what;
        std::string text;
        std::optional<double> magnitude;
        const char* problem;  // nullptr when the set is read
    } cases[] = {
        {"CSV", csv_header + csv_elements + "-1.3\n", -1.3, nullptr},
        {"CSV, blank", csv_header + csv_elements + "\n", std::nullopt, nullptr},
        {"JSON number", "[{" + elements + ", \"USER_DEFINED_STD_MAG\": 4.25}]", 4.25, nullptr},
        {"JSON text", "[{" + elements + ", \"USER_DEFINED_STD_MAG\": \" 2.0 \"}]", 2.0, nullptr},
        {"JSON, absent", "[{" + elements + "}]", std::nullopt, nullptr},
        {"XML", xml_start + "<userDefinedParameters><USER_DEFINED parameter=\"STD_MAG\">3.5</USER_DEFINED>"
                            "</userDefinedParameters>" + xml_end, 3.5, nullptr},
        {"XML, another parameter", xml_start + "<userDefinedParameters><USER_DEFINED parameter=\"RCS\">3.5"
                                               "</USER_DEFINED></userDefinedParameters>" + xml_end, std::nullopt, nullptr},
        {"CSV, not a number", csv_header + csv_elements + "bright\n", std::nullopt, "USER_DEFINED_STD_MAG is not a number"},
        {"JSON, no standard magnitude", "[{" + elements + ", \"USER_DEFINED_STD_MAG\": 45}]", std::nullopt,
         "USER_DEFINED_STD_MAG is not a standard magnitude"},
    };
    const ScratchDirectory scratch;
    for (const auto& c : cases) {
        write_file(scratch.file("omm"), c.text);
        std::FILE* file = std::fopen(scratch.file("omm").c_str(), "rb");
        ASSERT_NE(file, nullptr);
        SatelliteCatalogueReader reader(file);
        ElementSetEntry entry{};
        ASSERT_TRUE(reader.next(entry)) << c.what << ": " << reader.whole_problem();
        std::fclose(file);
        if (c.problem != nullptr) {
            EXPECT_EQ(entry.kind, EntryKind::not_evaluated) << c.what;
            EXPECT_NE(entry.message.find(c.problem), std::string::npos) << c.what << ": " << entry.message;
            continue;
        }
        ASSERT_EQ(entry.kind, EntryKind::element_set) << c.what << ": " << entry.message;
        EXPECT_EQ(entry.record.norad_number, 25544) << c.what;
        EXPECT_EQ(entry.record.standard_magnitude, c.magnitude) << c.what;
    }
}
