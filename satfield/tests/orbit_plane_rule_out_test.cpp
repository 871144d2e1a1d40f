#include "orbit_plane_rule_out.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "angles.hpp"
#include "program_run.hpp"
#include "satellite_catalogue.hpp"
#include "satellite_evaluation.hpp"
#include "satellite_search.hpp"
#include "scratch_directory.hpp"
#include "square_field.hpp"

using namespace fieldsearch;

namespace {

// The compiled-in instant, 2008 May 20, 20:54 UTC.
constexpr double SCENARIO_MJD = 54606.0 + 20.9 / 24.0;

// A small deterministic sequence in [0, 1).
struct Sequence {
    std::uint64_t state;
    double next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) * (1.0 / 9007199254740992.0);
    }
    double between(double low, double high) { return low + (high - low) * next(); }
};

std::vector<TleRecord> element_sets(const std::string& path)
{
    std::vector<TleRecord> sets;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return sets;
    }
    SatelliteCatalogueReader reader(file);
    ElementSetEntry entry;
    while (reader.next(entry)) {
        if (entry.kind == EntryKind::element_set) {
            sets.push_back(entry.record);
        }
    }
    std::fclose(file);
    return sets;
}

// A catalogue of `count` sets of every orbit class from the sample generator.
std::string generated_catalogue(int count)
{
    const std::string path = process_scratch_directory() + "generated_" + std::to_string(count) + ".tle";
    const std::string command = std::string(MAKE_TLE_SAMPLE_PATH) + " " + path + " " + std::to_string(count);
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
}

// Orbits at the edges of the bound's range: equatorial, critical, polar
// (exactly and nearly), sun-synchronous, retrograde, Molniya, transfer and
// geostationary, each eccentricity and mean motion as such orbits have.
struct EdgeOrbit {
    double incl;
    double ecc;
    double n;
};
constexpr EdgeOrbit EDGE_ORBITS[] = {
    {0.0, 0.0, 15.5},      {0.0, 0.0003, 1.0027},  {0.01, 0.0002, 1.0027}, {5.0, 0.001, 1.0027},
    {28.5, 0.0, 15.9},     {51.6, 0.001, 15.5},    {63.4, 0.72, 2.006},    {63.4, 0.74, 2.0},
    {26.0, 0.73, 2.24},    {7.0, 0.6, 3.0},        {89.9, 0.001, 14.3},    {89.99, 0.01, 13.0},
    {90.0, 0.001, 14.3},   {90.01, 0.002, 14.3},   {90.1, 0.2, 8.0},       {97.8, 0.001, 14.6},
    {98.7, 0.0001, 14.2},  {116.6, 0.4, 4.0},      {140.0, 0.1, 12.0},     {179.99, 0.0, 15.0},
    {180.0, 0.001, 15.0},  {55.0, 0.01, 2.0057},   {82.0, 0.05, 13.7},     {100.0, 0.0, 16.2},
};

std::vector<TleRecord> edge_sets()
{
    std::vector<TleRecord> sets;
    Sequence random{7};
    for (const EdgeOrbit& edge : EDGE_ORBITS) {
        for (int k = 0; k < 12; ++k) {
            TleRecord r{};
            r.epoch_year = 8;
            r.epoch_day = random.between(130.0, 142.0);
            r.ndot2 = random.between(-1e-5, 2e-4);
            r.mean_anom = random.between(0.0, 360.0);
            r.omega = random.between(0.0, 360.0);
            r.node = random.between(0.0, 360.0);
            r.incl = edge.incl;
            r.ecc = edge.ecc;
            r.n = edge.n;
            sets.push_back(r);
        }
    }
    return sets;
}

}  // namespace

// The bound itself: at instants over +-30 days, Vinti's position of sets of
// every orbit class lies within the half width of the plane, within the
// shell and, along the orbit, within the half width of the track angle. A term left out of the bound, a wrong sign of the normal or of the
// node angle, or a shell too thin fails here (the actual position from
// vinti_position is the reference).
TEST(OrbitPlaneRuleOut, PositionStaysWithinThePlaneBandAndTheShell)
{
    std::vector<TleRecord> sets = element_sets(std::string(SATFIELD_SAMPLE_DATA_DIR) + "/080520ls.tle");
    ASSERT_GT(sets.size(), 300u);
    for (const TleRecord& r : element_sets(generated_catalogue(3000))) {
        sets.push_back(r);
    }
    for (const TleRecord& r : edge_sets()) {
        sets.push_back(r);
    }
    Sequence random{11};
    long usable = 0;
    long records = 0;
    long checks = 0;
    double tightest = 0.0;  // largest |n.p| / half width seen
    double tightest_track = 0.0;
    long track_checks = 0;
    long eccentric_track_checks = 0;
    for (const TleRecord& r : sets) {
        const VintiOrbit orbit = vinti_init(r.incl, r.ecc, r.n);
        if (vinti_orbit_problem(orbit) != nullptr) {
            continue;
        }
        ++records;
        const OrbitPlaneBound bound = orbit_plane_bound(orbit);
        if (!bound.usable) {
            continue;
        }
        ++usable;
        const double epoch = tle_epoch_mjd(r);
        for (int k = 0; k < 40; ++k) {
            const double t = SCENARIO_MJD + random.between(-30.0, 30.0);
            OrbitPlane plane = orbit_plane_at(bound, orbit, epoch, r.omega, r.node, r.mean_anom, r.ndot2, t);
            ASSERT_TRUE(plane.usable);
            add_orbit_track(bound, plane);
            const Vector3 p = vinti_position(orbit, epoch, r.omega, r.node, r.mean_anom, r.ndot2, t);
            ASSERT_TRUE(std::isfinite(p(1)) && std::isfinite(p(2)) && std::isfinite(p(3)))
                << "incl " << r.incl << " ecc " << r.ecc << " n " << r.n << " t " << t;
            const double off = std::fabs(dot_product(plane.normal, p));
            const double radius = std::sqrt(dot_product(p, p));
            EXPECT_LE(off, plane.half_width_km) << "incl " << r.incl << " ecc " << r.ecc << " n " << r.n;
            EXPECT_GE(radius, plane.r_min_km) << "incl " << r.incl << " ecc " << r.ecc << " n " << r.n;
            EXPECT_LE(radius, plane.r_max_km) << "incl " << r.incl << " ecc " << r.ecc << " n " << r.n;
            tightest = std::max(tightest, off / plane.half_width_km);
            ++checks;
            // Along the orbit: the angle of p in the plane, from the node.
            if (plane.track_usable) {
                const double along = std::atan2(dot_product(plane.ahead, p), dot_product(plane.toward_node, p));
                const double apart = std::remainder(along - plane.track_angle, 2.0 * PI);
                EXPECT_LE(std::fabs(apart), plane.track_half_width)
                    << "incl " << r.incl << " ecc " << r.ecc << " n " << r.n << " t " << t;
                tightest_track = std::max(tightest_track, std::fabs(apart) / plane.track_half_width);
                ++(r.ecc > 0.3 ? eccentric_track_checks : track_checks);
            }
        }
    }
    EXPECT_GT(track_checks, 80000);
    EXPECT_GT(eccentric_track_checks, 5000);
    std::printf("track bound: %ld positions, %ld of eccentric orbits, largest angle / half width %.3f\n", track_checks,
                eccentric_track_checks, tightest_track);
    // Nearly every set is bounded (only inclinations within a few
    // thousandths of a degree of 90 are not), so the checks above are many.
    EXPECT_GT(usable, records * 97 / 100);
    EXPECT_GT(checks, 100000);
    std::printf("orbit plane bound: %ld of %ld sets bounded, %ld positions, largest |n.p| / half width %.3f\n", usable,
                records, checks, tightest);
}

// The cone of a field: every direction in_square_field accepts lies within
// it, for fields near the poles, across 0 h and from 1' to 10 deg of side
// (a cone too narrow, a wrong frame or a wrong half-angle fails here).
TEST(OrbitPlaneRuleOut, FieldConeHoldsEveryAcceptedDirection)
{
    SearchRequest request = satellite_scenario_request();
    Sequence random{23};
    long accepted = 0;
    for (int f = 0; f < 300; ++f) {
        request.utc_mjd = SCENARIO_MJD + random.between(-30.0, 30.0);
        const double ra0 = f % 3 == 0 ? random.between(-2.0, 2.0) + (f % 2 == 0 ? 360.0 : 0.0) : random.between(0.0, 360.0);
        const double dec0 = f % 5 == 0 ? random.between(85.0, 90.0) * (f % 2 == 0 ? 1.0 : -1.0) : random.between(-90.0, 90.0);
        const double h = std::exp(random.between(std::log(0.5 / 60.0), std::log(5.0)));
        const SatelliteSearchGeometry geometry = satellite_search_geometry(request);
        const FieldCone cone = field_cone(geometry.at, std::fmod(ra0, 360.0), dec0, h);
        ASSERT_TRUE(cone.usable);
        const Matrix3 to_date = transpose_matrix(geometry.at.true_of_date_to_j2000);
        for (int k = 0; k < 400; ++k) {
            // Directions about the centre, out to twice the corner of the square.
            const double x = random.between(-2.0, 2.0) * h * DEG_TO_RAD;
            const double y = random.between(-2.0, 2.0) * h * DEG_TO_RAD;
            const double a = std::fmod(ra0, 360.0) * DEG_TO_RAD;
            const double d = dec0 * DEG_TO_RAD;
            Vector3 v;  // the tangent-plane point (x, y) taken back to the sphere
            v(1) = std::cos(d) * std::cos(a) - y * std::sin(d) * std::cos(a) - x * std::sin(a);
            v(2) = std::cos(d) * std::sin(a) - y * std::sin(d) * std::sin(a) + x * std::cos(a);
            v(3) = std::sin(d) + y * std::cos(d);
            const SphericalCoordinates sky = spherical_from_vector(v);
            if (in_square_field(sky.ra_deg, sky.dec_deg, 0.0, std::fmod(ra0, 360.0), dec0, h, 99.0) == 0) {
                continue;
            }
            ++accepted;
            const double norm = std::sqrt(dot_product(v, v));
            Vector3 u = matrix_vector_product(to_date, v);
            for (int i = 1; i <= 3; ++i) {
                u(i) = u(i) / norm - cone.axis(i);
            }
            ASSERT_LE(std::sqrt(dot_product(u, u)), cone.chord) << "centre " << ra0 << " " << dec0 << " h " << h;
        }
    }
    EXPECT_GT(accepted, 20000);
}

namespace {

// A field of the brute-force comparison: its instant, centre and half side.
FieldSearch square_field(const SearchRequest& base, int number, double mjd, double ra, double dec, double half_side)
{
    FieldSearch field;
    field.id = std::to_string(number);
    field.start_utc_mjd = mjd;
    field.centre = field_centre_from_degrees(ra, dec);
    field.half_side_arcmin = 60.0 * half_side;
    field.observer_earth_fixed = Vector3{{base.observer_x, base.observer_y, base.observer_z}};
    field.mag_limit = base.mag_limit;
    return field;
}

// The CSV lines and the messages of a scan.
ProgramRun scan(const SearchPlan& plan, const std::string& catalogue, SatelliteScan mode)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status = search_satellite_fields(plan, {catalogue.c_str(), OutputFormat::csv, out, err}, mode);
    return {status, temporary_file_contents(out), temporary_file_contents(err)};
}

// Sets that exercise the paths the rule-out must leave alone: a perigee
// inside the Earth (not evaluated), exactly polar orbits (no bound) and a
// set whose mean motion decays fast.
const std::string ODD_SETS =
    "LOW PERIGEE\n"
    "1 90001U 08001A   08139.50000000  .00000100  00000-0  10000-4 0  9991\n"
    "2 90001  51.6000 100.0000 2000000  90.0000 200.0000 15.50000000    19\n"
    "POLAR\n"
    "1 90002U 08001B   08139.50000000  .00000100  00000-0  10000-4 0  9992\n"
    "2 90002  90.0000 170.0000 0010000  90.0000 200.0000 14.30000000    10\n"
    "DECAYING\n"
    "1 90003U 08001C   08139.50000000  .09000000  00000-0  10000-4 0  9993\n"
    "2 90003  65.0000 300.0000 0010000  90.0000 200.0000 15.90000000    13\n";

}  // namespace

// Brute force through the public entry point: over hundreds of fields at
// many instants (random centres, near the poles and across 0 h, sides from
// 1' to 10 deg, and small fields centred on satellites so that rows are
// found), the fast scan writes the same bytes as the scan that places every
// set: a set ruled out that the field holds, or a message lost, fails here.
TEST(OrbitPlaneRuleOut, FastScanWritesWhatTheFullScanWrites)
{
    const std::string generated = generated_catalogue(4000);
    const std::string catalogue = process_scratch_directory() + "rule_out_catalogue.tle";
    {
        std::string text = file_contents(generated) + ODD_SETS;
        std::FILE* f = std::fopen(catalogue.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    const std::vector<TleRecord> sets = element_sets(generated);
    const SearchRequest base = satellite_scenario_request();
    Sequence random{31};
    SearchPlan plan{{}, 2, {}};
    for (int instant = 0; instant < 40; ++instant) {
        const double mjd = instant == 0 ? SCENARIO_MJD : SCENARIO_MJD + random.between(-30.0, 30.0);
        for (int k = 0; k < 4; ++k) {
            const int n = static_cast<int>(plan.fields.size());
            const double ra = k == 0 ? std::fmod(random.between(359.0, 361.0), 360.0) : random.between(0.0, 360.0);
            const double dec = k == 1 ? random.between(86.0, 90.0) * (instant % 2 == 0 ? 1.0 : -1.0)
                                      : std::asin(random.between(-1.0, 1.0)) * RAD_TO_DEG;
            const double half_side = std::exp(random.between(std::log(0.5 / 60.0), std::log(5.0)));
            plan.fields.push_back(square_field(base, n, mjd, ra, dec, half_side));
        }
        // Two fields about satellites' own places at the instant.
        SearchRequest at = base;
        at.utc_mjd = mjd;
        SatelliteSearchGeometry geometry = satellite_search_geometry(at);
        geometry.whole_sky = true;
        for (int k = 0; k < 2; ++k) {
            const TleRecord& r = sets[static_cast<std::size_t>(random.between(0.0, static_cast<double>(sets.size())))];
            const SatelliteEvaluation e = evaluate_satellite(r, geometry);
            if (e.outcome != SatelliteOutcome::in_field) {
                continue;
            }
            const int n = static_cast<int>(plan.fields.size());
            const double half_side = k == 0 ? 0.5 / 60.0 : random.between(0.5, 5.0);
            plan.fields.push_back(square_field(base, n, mjd, e.sighting.ra_deg + random.between(-0.3, 0.3) * half_side,
                                               e.sighting.dec_deg, half_side));
        }
    }
    const ProgramRun fast = scan(plan, catalogue, SatelliteScan::fast);
    plan.threads = 1;
    const ProgramRun full = scan(plan, catalogue, SatelliteScan::full);
    EXPECT_EQ(fast.status, 0);
    EXPECT_EQ(fast.status, full.status);
    EXPECT_EQ(fast.err, full.err);
    EXPECT_TRUE(fast.out == full.out);
    // Rows in many fields, and the odd sets' messages, so that the
    // comparison is not between two empty outputs.
    std::size_t rows = 0;
    for (std::size_t at = full.out.find('\n'); at != std::string::npos; at = full.out.find('\n', at + 1)) {
        ++rows;
    }
    EXPECT_GT(plan.fields.size(), 200u);
    EXPECT_GT(rows, 100u);
    EXPECT_NE(full.err.find("element set not evaluated"), std::string::npos);
    std::printf("brute force: %zu fields, %zu lines written by each scan\n", plan.fields.size(), rows);
}
