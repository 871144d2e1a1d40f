#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "catalogue_reepoch.hpp"
#include "catalogue_record.hpp"
#include "constants.hpp"
#include "fixed_columns.hpp"
#include "orbit_propagation.hpp"
#include "osculating_elements.hpp"
#include "planet_ephemeris.hpp"
#include "time_scales.hpp"

using namespace fieldsearch;

namespace {

// 2024-01-01 and 2025-01-01, 0h TT.
constexpr double EPOCH = 60310.0;
constexpr double YEAR_ON = 60676.0;

std::vector<std::string> file_lines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// An asteroid record of the given elements osculating at 0h TT of MJD `epoch`.
OrbitRecord asteroid_record(double epoch, double a, double e, double i, double node, double w, double m)
{
    AstorbRecord record{};
    const CalendarDate date = calendar_date_from_mjd(epoch);
    record.epoch_year = date.year;
    record.epoch_month = date.month;
    record.epoch_day = date.day;
    record.h = 15.0;
    record.g = 0.15;
    record.semimajor_axis = a;
    record.eccentricity = e;
    record.inclination = i;
    record.node = node;
    record.perihelion_argument = w;
    record.mean_anomaly = m;
    return record;
}

// A comet record of the given perihelion elements (T a TT MJD) osculating at
// 0h TT of MJD `epoch`.
OrbitRecord comet_record(double epoch, double t, double q, double e, double i, double node, double w)
{
    CometRecord record{};
    const double whole = std::floor(t);
    const CalendarDate date = calendar_date_from_mjd(whole);
    record.perihelion_year = date.year;
    record.perihelion_month = date.month;
    record.perihelion_day = date.day + (t - whole);
    record.perihelion_distance = q;
    record.eccentricity = e;
    record.inclination = i;
    record.node = node;
    record.perihelion_argument = w;
    record.epoch_mjd = epoch;
    record.h = 10.0;
    record.k = 4.0;
    return record;
}

// The record written anew at MJD `epoch` with `elements`, in full precision.
OrbitRecord record_at(const OrbitRecord& like, double epoch, const OsculatingElements& elements)
{
    if (std::holds_alternative<AstorbRecord>(like)) {
        return asteroid_record(epoch, elements.semimajor_axis, elements.eccentricity, elements.inclination,
                               elements.node, elements.perihelion_argument, elements.mean_anomaly);
    }
    return comet_record(epoch, elements.perihelion_time, elements.perihelion_distance, elements.eccentricity,
                        elements.inclination, elements.node, elements.perihelion_argument);
}

// The heliocentric position (AU, mean J2000) of the osculating conic at its instant.
Vector3 position_of(const OsculatingElements& elements, double tt)
{
    return state_from_perihelion_elements(perihelion_elements_of(elements), tt).position;
}

Vector3 difference(const Vector3& a, const Vector3& b)
{
    return Vector3{{a(1) - b(1), a(2) - b(2), a(3) - b(3)}};
}

// The angle (mas) between two heliocentric places as the Earth's centre sees them at TT `tt`.
double geocentric_angle_mas(const Vector3& a, const Vector3& b, double tt)
{
    const Vector3 earth = earth_heliocentric_state(tdb_from_tt(tt)).position;
    const Vector3 u = difference(a, earth);
    const Vector3 v = difference(b, earth);
    const double cx = u(2) * v(3) - u(3) * v(2);
    const double cy = u(3) * v(1) - u(1) * v(3);
    const double cz = u(1) * v(2) - u(2) * v(1);
    return std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz), dot_product(u, v)) * RAD_TO_DEG * 3.6e6;
}

// The nearest the record's two-body orbit comes to the Earth's centre over
// the span of `table` (TT), sampled daily (AU): the perturbations of a year
// move it a few thousandths of an AU.
double nearest_earth_approach_au(const OrbitRecord& record, const PlanetTable& table, double from, double to)
{
    const double epoch = record_epoch_tt(record);
    const PerihelionElements conic = perihelion_elements_of(elements_from_state(record_epoch_state(record), epoch));
    double nearest = INFINITY;
    for (double tt = from; tt <= to; tt += 1.0) {
        const Vector3 earth = table_positions(table, tt)[static_cast<int>(Body::earth)];
        const Vector3 apart = difference(state_from_perihelion_elements(conic, tt).position, earth);
        nearest = std::min(nearest, std::sqrt(dot_product(apart, apart)));
    }
    return nearest;
}

// A random record of one population, osculating at EPOCH.
OrbitRecord random_record(const std::string& population, std::mt19937_64& random)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto between = [&](double lo, double hi) { return lo + (hi - lo) * unit(random); };
    const double node = between(0.0, 360.0);
    const double w = between(0.0, 360.0);
    const double m = between(0.0, 360.0);
    if (population == "main belt") {
        return asteroid_record(EPOCH, between(2.1, 3.3), between(0.0, 0.3), between(0.0, 25.0), node, w, m);
    }
    if (population == "near-Earth") {
        const double a = between(0.8, 2.6);
        const double q = between(0.7, 1.3);
        return asteroid_record(EPOCH, a, std::clamp(1.0 - q / a, 0.05, 0.8), between(0.0, 40.0), node, w, m);
    }
    if (population == "centaur") {
        return asteroid_record(EPOCH, between(6.0, 25.0), between(0.0, 0.5), between(0.0, 40.0), node, w, m);
    }
    // Comets: ellipses, near-parabolic and hyperbolic orbits, perihelion
    // within two years of the epoch.
    return comet_record(EPOCH, EPOCH + between(-730.0, 730.0), between(0.3, 5.0), between(0.5, 1.3),
                        between(0.0, 180.0), node, w);
}

}  // namespace

// Catches a round trip that loses its orbit at full precision (an element
// written in the wrong frame or unit, a perihelion time or mean anomaly off
// by the epoch's offset, an integration that is not reversible, a comet's
// perihelion taken on another axis): 3000 random orbits of four populations
// (main belt, near-Earth objects that come no nearer the Earth than 0.1 AU
// in the year, centaurs, comets) are carried a year on, written as records
// of that epoch, and carried back; at the epoch and 180 days after it the
// places of the records that came back and of the originals agree to 1 mas
// as the Earth's centre sees them.
TEST(CatalogueReepoch, FullPrecisionRoundTripKeepsThePlacesToOneMilliarcsecond)
{
    const RunPlanetTables on(YEAR_ON, YEAR_ON);
    const RunPlanetTables back(EPOCH, EPOCH);
    const RunPlanetTables later(EPOCH + 180.0, EPOCH + 180.0);
    std::mt19937_64 random(31);
    for (const std::string population : {"main belt", "near-Earth", "centaur", "comet"}) {
        int orbits = 0;
        int approaches = 0;
        double worst = 0.0;
        while (orbits < 750) {
            const OrbitRecord record = random_record(population, random);
            if (population == "near-Earth" && nearest_earth_approach_au(record, on.for_epoch(EPOCH).table, EPOCH, YEAR_ON) < 0.1) {
                ++approaches;
                continue;
            }
            ++orbits;
            const IntegratedElements year_on = integrated_elements(record, YEAR_ON, on);
            ASSERT_TRUE(year_on.ok) << population << ": " << year_on.failure;
            const OrbitRecord written = record_at(record, YEAR_ON, year_on.elements);
            const IntegratedElements returned = integrated_elements(written, EPOCH, back);
            ASSERT_TRUE(returned.ok) << population << ": " << returned.failure;

            const double at_epoch = geocentric_angle_mas(record_epoch_state(record).position,
                                                         position_of(returned.elements, EPOCH), EPOCH);
            const OrbitRecord came_back = record_at(record, EPOCH, returned.elements);
            const IntegratedElements original_later = integrated_elements(record, EPOCH + 180.0, later);
            const IntegratedElements returned_later = integrated_elements(came_back, EPOCH + 180.0, later);
            ASSERT_TRUE(original_later.ok && returned_later.ok) << population;
            const double after = geocentric_angle_mas(position_of(original_later.elements, EPOCH + 180.0),
                                                      position_of(returned_later.elements, EPOCH + 180.0),
                                                      EPOCH + 180.0);
            EXPECT_LT(at_epoch, 1.0) << population << " orbit " << orbits;
            EXPECT_LT(after, 1.0) << population << " orbit " << orbits;
            worst = std::max({worst, at_epoch, after});
        }
        std::ostringstream figures;
        figures << orbits << " orbits (" << approaches << " passing within 0.1 AU left out), at most " << worst
                << " mas";
        RecordProperty(population, figures.str());
    }
}

// The mean daily motion written with an MPCORB record at the new epoch is
// the Sun's Gaussian motion at the semimajor axis written beside it, to the
// last of its eight decimals; the epoch column is the new date packed.
TEST(CatalogueReepoch, MpcorbMeanMotionFollowsTheAxis)
{
    const std::vector<std::string> lines = file_lines(SAMPLE_DATA_DIR "/MPCORB-sample.DAT");
    std::vector<std::string> first_lines(lines.begin(), lines.begin() + std::min<std::size_t>(lines.size(), 100));
    const std::optional<CatalogueFormat> format = detect_catalogue_format(first_lines);
    ASSERT_TRUE(format.has_value());
    ASSERT_EQ(format->layout, CatalogueLayout::mpcorb);
    const double target = mjd_from_calendar(1, 3, 2010, 0, 0, 0.0);
    const RunPlanetTables tables(target, target);
    int rewritten = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const ReepochedLine line =
            reepoched_line(*format, static_cast<long>(k + 1), lines[k], 2010, 3, 1, target, tables);
        if (line.kind != ReepochedLine::Kind::rewritten) {
            EXPECT_EQ(line.text, lines[k]) << k + 1;
            continue;
        }
        ++rewritten;
        EXPECT_EQ(line.text.substr(20, 5), "K1031") << k + 1;
        const double a = decimal_field(line.text, 93, 103);
        const double n = decimal_field(line.text, 81, 91);
        // 0.9856076686 deg/day: k = 0.01720209895 rad/day in degrees.
        const double expected = 0.9856076686 / std::pow(a, 1.5);
        // a's seventh decimal moves n by less than 1e-8 deg/day.
        EXPECT_NEAR(n, expected, 1.5e-8) << k + 1 << ": " << line.text.substr(80, 23);
    }
    EXPECT_GE(rewritten, 80);
}
