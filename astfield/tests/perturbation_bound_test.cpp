#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "angles.hpp"
#include "astorb_record.hpp"
#include "nbody_propagation.hpp"
#include "osculating_elements.hpp"
#include "orbit_propagation.hpp"
#include "perturbation_bound.hpp"
#include "time_scales.hpp"
#include "two_body.hpp"

using namespace fieldsearch;

namespace {

constexpr double EPOCH = 60000.0;

// A record of the sample catalogue.
constexpr const char* SAMPLE_LINE =
    "    26 Lounimiax          synthetic        7.46  0.15 0.68               0   0   0   0   0   0 43855 5188 "
    "20080514 117.696141 237.453580 289.567849 15.450892 0.27975035   3.96397171 20080508    0.39     0.02 "
    "20080520    0.78 20160306    1.84 20100923    1.94 20200318";

double distance(const Vector3& a, const Vector3& b)
{
    return std::sqrt((a(1) - b(1)) * (a(1) - b(1)) + (a(2) - b(2)) * (a(2) - b(2)) + (a(3) - b(3)) * (a(3) - b(3)));
}

// A random orbit of one population, as perihelion elements osculating at EPOCH.
PerihelionElements random_orbit(const std::string& population, std::mt19937_64& random)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto between = [&](double lo, double hi) { return lo + (hi - lo) * unit(random); };
    const double node = between(0.0, 360.0);
    const double perihelion = between(0.0, 360.0);
    const auto ellipse = [&](double a, double e, double i) {
        const double m = between(-180.0, 180.0);
        return PerihelionElements{EPOCH - m * DEG_TO_RAD / mean_motion(a), a * (1.0 - e), e, i, node, perihelion};
    };
    if (population == "main belt") {
        return ellipse(between(2.1, 3.3), between(0.0, 0.3), between(0.0, 25.0));
    }
    if (population == "near-Earth") {
        const double a = between(0.8, 2.6);
        const double q = between(0.7, 1.3);
        return ellipse(a, std::clamp(1.0 - q / a, 0.05, 0.8), between(0.0, 40.0));
    }
    if (population == "inner near-Earth") {
        // Perihelia inside Venus's orbit, periods near a year: the bound is
        // cut into short pieces near perihelion and the bodies.
        const double a = between(0.7, 2.2);
        const double q = between(0.2, 0.7);
        return ellipse(a, std::clamp(1.0 - q / a, 0.05, 0.9), between(0.0, 40.0));
    }
    if (population == "Trojan") {
        return ellipse(between(5.05, 5.35), between(0.0, 0.15), between(0.0, 35.0));
    }
    if (population == "centaur") {
        return ellipse(between(6.0, 25.0), between(0.0, 0.5), between(0.0, 40.0));
    }
    // Comets: ellipses, near-parabolic and hyperbolic orbits, perihelion
    // within two years of the epoch.
    return PerihelionElements{EPOCH + between(-730.0, 730.0), between(0.3, 5.0), between(0.5, 1.3),
                              between(0.0, 180.0), node, perihelion};
}

// A random asteroid record of epoch `epoch` (an MJD at 0h): main belt, or
// near-Earth with a semimajor axis from `least_axis` over `axis_range` AU
// and an eccentricity from 0.1 over `eccentricity_range`.
AstorbRecord random_record(double epoch, bool near_earth, double least_axis, double axis_range,
                           double eccentricity_range, std::mt19937_64& random)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    AstorbRecord record{};
    const CalendarDate date = calendar_date_from_mjd(epoch);
    record.epoch_year = date.year;
    record.epoch_month = date.month;
    record.epoch_day = date.day;
    record.semimajor_axis = near_earth ? least_axis + axis_range * unit(random) : 2.1 + 1.2 * unit(random);
    record.eccentricity = near_earth ? 0.1 + eccentricity_range * unit(random) : 0.3 * unit(random);
    record.inclination = 25.0 * unit(random);
    record.node = 360.0 * unit(random);
    record.perihelion_argument = 360.0 * unit(random);
    record.mean_anomaly = 360.0 * unit(random);
    return record;
}

}  // namespace

// Catches a bound that does not hold (a missing perturber or indirect term,
// a Lipschitz constant too small, a distance range that misses the orbit's
// real reach, a bootstrap that accepts an inconsistent guess): 3600 random
// orbits of six populations are integrated to 10, 100, 365 and 1095 days
// either side of their epoch, and at every instant their distance from the
// two-body place must lie within both bounds (the inner near-Earth objects,
// perihelia inside Venus's orbit, test the pieces cut short near
// perihelion and near the bodies). Also catches a bound too loose
// to be of use: for the main belt, up to a year from the epoch, it must be
// finite for nearly every orbit and, at one year, of the order of 0.01 AU.
// (Where one planet's pull dominates and keeps its direction, as for orbits
// near Jupiter over 10 to 100 days, the path bound comes within 1 % of the
// deviation itself.)
TEST(PerturbationBound, IntegratedOrbitsStayWithinTheirBounds)
{
    const PlanetTable table = planet_table(EPOCH - 1100.0, EPOCH + 1100.0);
    const BodyDistanceRanges ranges = body_distance_ranges(table);
    std::mt19937_64 random(17);
    const std::vector<std::string> populations{"main belt", "near-Earth", "inner near-Earth", "Trojan", "centaur",
                                               "comet"};
    const double checkpoints[] = {10.0, 100.0, 365.0, 1095.0};
    for (const std::string& population : populations) {
        int orbits = 0;
        int finite_shell = 0;
        int finite_path = 0;
        int finite_range = 0;
        int checked = 0;
        double worst_ratio = 0.0;
        std::vector<double> year_bounds;
        for (int k = 0; k < 600; ++k) {
            const PerihelionElements elements = random_orbit(population, random);
            const double direction = k % 2 == 0 ? 1.0 : -1.0;
            StateVector state = state_from_perihelion_elements(elements, EPOCH);
            double tt = EPOCH;
            ++orbits;
            for (const double days : checkpoints) {
                const double target = EPOCH + direction * days;
                const Propagated step = propagate_state(state, tt, target, table);
                if (step.outcome != PropagationOutcome::reached) {
                    break;  // struck a body: no two-body comparison to make
                }
                state = step.state;
                tt = target;
                const double deviation = distance(state.position, position_from_perihelion_elements(elements, tt));
                const DeviationBound shell = shell_deviation_bound(elements, EPOCH, tt, ranges);
                const DeviationBound path = path_deviation_bound(elements, EPOCH, tt, table, ranges);
                const DeviationBound coarse_path = path_deviation_bound(elements, EPOCH, tt, table, ranges, 12);
                // The bound of the orbit's class, from its distance range
                // and its speed at perihelion alone.
                DeviationBound by_range{INFINITY, INFINITY};
                if (elements.e < 1.0) {
                    const double axis = elements.q / (1.0 - elements.e);
                    const double speed = std::sqrt(GAUSSIAN_CONSTANT * GAUSSIAN_CONSTANT *
                                                   (2.0 / elements.q - 1.0 / axis));
                    by_range = range_deviation_bound(elements.q, 2.0 * axis - elements.q, speed, days, ranges);
                }
                EXPECT_LE(deviation, coarse_path.distance) << population << " q " << elements.q << " e "
                                                           << elements.e << " after " << direction * days << " d";
                EXPECT_LE(deviation, by_range.distance) << population << " q " << elements.q << " e " << elements.e
                                                        << " after " << direction * days << " d";
                EXPECT_LE(shell.distance, by_range.distance * (1.0 + 1e-9) + 1e-15) << population;
                finite_range += days <= 365.0 && std::isfinite(by_range.distance) ? 1 : 0;
                const bool within_year = days <= 365.0;
                checked += within_year ? 1 : 0;

                EXPECT_LE(deviation, shell.distance) << population << " q " << elements.q << " e " << elements.e
                                                     << " after " << direction * days << " d";
                EXPECT_LE(deviation, path.distance) << population << " q " << elements.q << " e " << elements.e
                                                    << " after " << direction * days << " d";
                EXPECT_LE(path.distance, shell.distance * (1.0 + 1e-9) + 1e-15) << population;
                if (std::isfinite(shell.distance)) {
                    finite_shell += within_year ? 1 : 0;
                    worst_ratio = std::fmax(worst_ratio, deviation / shell.distance);
                }
                if (std::isfinite(path.distance)) {
                    finite_path += within_year ? 1 : 0;
                    worst_ratio = std::fmax(worst_ratio, deviation / path.distance);
                }
                if (days == 365.0) {
                    year_bounds.push_back(shell.distance);
                }
            }
        }
        std::sort(year_bounds.begin(), year_bounds.end());
        const double median_year = year_bounds.empty() ? INFINITY : year_bounds[year_bounds.size() / 2];
        std::ostringstream figures;
        figures << orbits << " orbits, " << checked << " instants, finite: shell " << finite_shell << " path "
                << finite_path << " class " << finite_range << "; largest deviation / bound " << worst_ratio << "; median shell bound at one year "
                << median_year << " AU";
        RecordProperty(population, figures.str());
        if (population == "main belt") {
            EXPECT_GT(finite_shell, 0.9 * checked);
            EXPECT_GT(finite_path, 0.95 * checked);
            EXPECT_GT(finite_range, 0.9 * checked);
            EXPECT_LT(median_year, 0.02);
        }
    }
}

// Catches a bound that grows the wrong way with time or is not zero at the
// epoch: for a main-belt orbit it vanishes at the epoch (but for the margin
// kept for the integration's own error), grows with the time from it either
// way, and starts as the free fall under the largest perturbing pull
// (P t^2 / 2 with P of some 1e-7 AU/day^2).
TEST(PerturbationBound, GrowsFromTheEpoch)
{
    const PlanetTable table = planet_table(EPOCH - 400.0, EPOCH + 400.0);
    const BodyDistanceRanges ranges = body_distance_ranges(table);
    const PerihelionElements ceres_like{EPOCH - 120.0, 2.767 * (1.0 - 0.0785), 0.0785, 10.59, 80.3, 73.6};
    EXPECT_EQ(shell_deviation_bound(ceres_like, EPOCH, EPOCH, ranges).distance, 0.0);
    double last = 0.0;
    for (const double days : {0.1, 1.0, 10.0, 100.0, 365.0}) {
        for (const double sign : {1.0, -1.0}) {
            const double bound = shell_deviation_bound(ceres_like, EPOCH, EPOCH + sign * days, ranges).distance;
            EXPECT_GT(bound, last) << days;
            if (days <= 10.0) {
                const double free_fall = 0.5 * days * days;
                EXPECT_GT(bound, 1e-8 * free_fall) << days;
                EXPECT_LT(bound, 1e-6 * free_fall + 2e-9) << days;
            }
        }
        last = shell_deviation_bound(ceres_like, EPOCH, EPOCH + days, ranges).distance;
    }
    // Undefined inputs give no bound rather than a false one.
    EXPECT_FALSE(std::isfinite(shell_deviation_bound(ceres_like, EPOCH, NAN, ranges).distance));
    const PerihelionElements no_orbit{EPOCH, 0.0, 0.1, 0.0, 0.0, 0.0};
    EXPECT_FALSE(std::isfinite(shell_deviation_bound(no_orbit, EPOCH, EPOCH + 10.0, ranges).distance));
}

// Catches a record's orbit turned into the wrong perihelion elements (the
// mean anomaly's sign, a perihelion time a whole period off, q from the
// wrong e): they give the record's own two-body positions, so that the
// bound is about the orbit the search propagates.
TEST(PerturbationBound, RecordOrbitIsTheRecordsTwoBodyOrbit)
{
    const AstorbRecord record = parse_astorb_record(SAMPLE_LINE);
    const PerihelionElements elements = record_perihelion_elements(record);
    for (const double days : {-400.0, 0.0, 30.0, 1000.0}) {
        const double tt = epoch_mjd(record) + days;
        const Vector3 expected = position_from_elements(epoch_mjd(record), elements_aei(record), elements_angles(record), tt);
        EXPECT_LT(distance(position_from_perihelion_elements(elements, tt), expected), 1e-12) << days;
    }
    EXPECT_LT(std::fabs(elements.perihelion_time - epoch_mjd(record)), 0.5 * TWO_PI / mean_motion(record.semimajor_axis));
}

// Catches a wrong angle from the distance bound (a tangent for a sine, no
// limit where the bound reaches the observer): the angle is that of the
// tangent from the observer to the sphere of the bound, and no point of the
// sphere's surface lies farther off the direction.
TEST(PerturbationBound, AngleOfTheBoundSphere)
{
    struct Case {
        double bound;
        double distance;
        double angle;
    };
    const Case cases[] = {
        {0.0, 1.0, 0.0},
        {0.5, 1.0, PI / 6.0},
        {1.0, 2.0, PI / 6.0},
        {1.0, 1.0, PI},
        {2.0, 1.0, PI},
        {1e-6, 2.0, 5e-7},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(deviation_angle(c.bound, c.distance), c.angle, 1e-15) << c.bound << " " << c.distance;
    }
    std::mt19937_64 random(23);
    std::normal_distribution<double> normal(0.0, 1.0);
    const double bound = 0.3;
    const double limit = deviation_angle(bound, 1.5);
    for (int k = 0; k < 1000; ++k) {
        Vector3 offset{{normal(random), normal(random), normal(random)}};
        const double s = bound / std::sqrt(dot_product(offset, offset));
        const Vector3 point{{1.5 + s * offset(1), s * offset(2), s * offset(3)}};
        const double angle = std::acos(point(1) / std::sqrt(dot_product(point, point)));
        EXPECT_LE(angle, limit + 1e-15);
    }
}

// Catches a class bound below a member's own (a cell that misses the orbit's
// distances, a span that misses the epoch bin's far end, a speed below the
// orbit's): for 2000 random main-belt and near-Earth records with epochs
// spread over four months, seen a year and ten days after, the bound of the
// record's class is at least the record's own wherever the latter is finite,
// and finite for most of the main belt.
TEST(PerturbationBound, ClassBoundHoldsForEveryMember)
{
    std::mt19937_64 random(23);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (const double days_after : {10.0, 365.0}) {
        const RunPlanetTables tables(EPOCH + days_after, EPOCH + days_after + 0.3);
        int main_belt = 0;
        int finite_class = 0;
        for (int k = 0; k < 2000; ++k) {
            const bool near_earth = k % 4 == 3;
            const double epoch = EPOCH - std::floor(120.0 * unit(random));
            const AstorbRecord record = random_record(epoch, near_earth, 0.9, 1.6, 0.6, random);
            const OrbitRecord orbit{record};
            const double light_time = 0.5 * unit(random);
            const double own = window_deviation_km(orbit, tables, light_time);
            const double by_class = class_window_deviation_km(orbit, tables, light_time);
            if (std::isfinite(own)) {
                EXPECT_GE(by_class, own) << "a " << record.semimajor_axis << " e " << record.eccentricity;
            }
            main_belt += near_earth ? 0 : 1;
            finite_class += !near_earth && std::isfinite(by_class) ? 1 : 0;
        }
        EXPECT_GT(finite_class, 0.8 * main_belt) << days_after;
    }
}

// Catches a window bound that misses part of its window (a side of the
// epoch left out, the nearer end taken for the farther): for main-belt and near-Earth records
// and windows after, before and around their epoch, the record integrated to
// instants across the window (its start less the light time allowed, its
// middle, its ends) lies within the window's bound of its two-body place.
TEST(PerturbationBound, WindowBoundHoldsAcrossTheWindow)
{
    struct Window {
        double from_days;  // from the epoch
        double to_days;
    };
    const Window windows[] = {{300.0, 365.0}, {-365.0, -300.0}, {-200.0, 2.0}, {-2.0, 200.0}};
    const double light_time = 0.3;
    std::mt19937_64 random(29);
    for (const Window& window : windows) {
        const RunPlanetTables tables(EPOCH + window.from_days, EPOCH + window.to_days);
        int checked = 0;
        double largest = 0.0;
        for (int k = 0; k < 80; ++k) {
            const bool near_earth = k % 4 == 3;
            const AstorbRecord record = random_record(EPOCH, near_earth, 1.3, 1.2, 0.5, random);
            const OrbitRecord orbit{record};
            const double bound_km = window_deviation_km(orbit, tables, light_time);
            if (!std::isfinite(bound_km)) {
                continue;
            }
            const double epoch = record_epoch_tt(orbit);
            const PerihelionElements two_body = record_perihelion_elements(record);
            const PlanetTable& table = tables.for_epoch(epoch).table;
            const double start = EPOCH + window.from_days;
            const double end = EPOCH + window.to_days;
            for (const double tt : {start - light_time, start, 0.5 * (start + end), end}) {
                const Propagated carried = propagate_state(record_epoch_state(orbit), epoch, tt, table);
                ASSERT_EQ(carried.outcome, PropagationOutcome::reached);
                const double deviation_km =
                    distance(carried.state.position, position_from_perihelion_elements(two_body, tt)) * KM_PER_AU;
                largest = std::fmax(largest, deviation_km);
                EXPECT_LE(deviation_km, bound_km) << "window " << window.from_days << " to " << window.to_days
                                                  << " d, a " << record.semimajor_axis << " e "
                                                  << record.eccentricity << " at " << tt - EPOCH << " d";
                ++checked;
            }
        }
        EXPECT_GT(checked, 100) << window.from_days;
        // Deviations well above the room kept for the Earth's ephemeris,
        // so that a side of the window left out shows.
        EXPECT_GT(largest, 20000.0) << window.from_days;
    }
}

// Catches a record made from an integrated conic that is not the conic (the
// mean anomaly's sign or its epoch's day, degrees for radians, a for q):
// for conics of the populations, its two-body places over the day either
// side of the instant lie within CONIC_RECORD_ALLOWANCE_KM of the conic's,
// and every other field is the record's.
TEST(PerturbationBound, ConicRecordPlacesAreTheConics)
{
    const AstorbRecord original = parse_astorb_record(SAMPLE_LINE);
    std::mt19937_64 random(31);
    double largest = 0.0;
    for (const std::string population : {"main belt", "near-Earth", "Trojan", "centaur"}) {
        for (int k = 0; k < 200; ++k) {
            const PerihelionElements conic = random_orbit(population, random);
            const double utc = EPOCH + 0.37 + k;
            const AstorbRecord record = conic_record(original, conic, utc);
            EXPECT_EQ(std::string(record.name.data()), std::string(original.name.data()));
            EXPECT_EQ(record.h, original.h);
            EXPECT_LE(epoch_mjd(record), utc);
            EXPECT_GT(epoch_mjd(record), utc - 1.0);
            for (const double t : {utc - 1.0, utc, utc + 1.0}) {
                const Vector3 own =
                    position_from_elements(epoch_mjd(record), elements_aei(record), elements_angles(record), t);
                const double km = distance(own, position_from_perihelion_elements(conic, t)) * KM_PER_AU;
                largest = std::fmax(largest, km);
                EXPECT_LE(km, CONIC_RECORD_ALLOWANCE_KM) << population << " q " << conic.q << " e " << conic.e;
            }
        }
    }
    RecordProperty("largest_km", std::to_string(largest));
}

// Catches a race in the tables of a run's epoch bins, made by threads at
// once (a span handed out before it is made, two spans made for one bin):
// four threads asking for the spans of thirty bins in different orders get
// the same tables and distance ranges, to the bit, as one thread asking in
// turn.
TEST(PerturbationBound, RunTablesMadeByThreadsAtOnceAreTheTablesMadeInTurn)
{
    std::vector<double> epochs;
    for (int k = 0; k < 30; ++k) {
        epochs.push_back(EPOCH - 40.0 * k);
    }
    const RunPlanetTables alone(EPOCH + 365.0, EPOCH + 365.3);
    const RunPlanetTables shared(EPOCH + 365.0, EPOCH + 365.3);
    std::vector<std::vector<const RunPlanetTables::Span*>> seen(4);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (std::size_t k = 0; k < epochs.size(); ++k) {
                const std::size_t at = t % 2 == 0 ? k : epochs.size() - 1 - k;
                seen[t].push_back(&shared.for_epoch(epochs[(at + 7 * t) % epochs.size()]));
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    for (std::size_t t = 0; t < 4; ++t) {
        for (std::size_t k = 0; k < epochs.size(); ++k) {
            const std::size_t at = t % 2 == 0 ? k : epochs.size() - 1 - k;
            const RunPlanetTables::Span& mine = alone.for_epoch(epochs[(at + 7 * t) % epochs.size()]);
            const RunPlanetTables::Span& theirs = *seen[t][k];
            EXPECT_TRUE(theirs.table.coefficients == mine.table.coefficients) << t << " " << k;
            EXPECT_EQ(theirs.table.start_tt, mine.table.start_tt);
            EXPECT_TRUE(theirs.ranges.least == mine.ranges.least && theirs.ranges.greatest == mine.ranges.greatest);
        }
    }
}
