// Costs of the perturbed orbits: one main-belt and one near-Earth orbit
// integrated a year (the planet table made beforehand, as a search shares
// one), the table itself for a year, and the two bounds of the deviation
// from the two-body place.
#include <benchmark/benchmark.h>

#include "nbody_propagation.hpp"
#include "osculating_elements.hpp"
#include "perturbation_bound.hpp"
#include "planet_ephemeris.hpp"

using namespace fieldsearch;

namespace {

constexpr double EPOCH = 60000.0;
constexpr double YEAR = 365.25;

const PlanetTable& year_table()
{
    static const PlanetTable table = planet_table(EPOCH, EPOCH + YEAR);
    return table;
}

void integrate_one_year(benchmark::State& state, const StateVector& start)
{
    const PlanetTable& table = year_table();
    long steps = 0;
    for (auto _ : state) {
        const Propagated result = propagate_state(start, EPOCH, EPOCH + YEAR, table);
        benchmark::DoNotOptimize(result.state);
        steps = result.steps;
    }
    state.counters["steps"] = static_cast<double>(steps);
}

// Ceres-like: a = 2.77 AU, e = 0.08, i = 10.6 deg.
void main_belt_orbit_one_year(benchmark::State& state)
{
    integrate_one_year(state, state_from_elements(Vector3{{2.767, 0.0785, 10.59}}, Vector3{{80.3, 73.6, 60.0}}));
}
BENCHMARK(main_belt_orbit_one_year)->Unit(benchmark::kMicrosecond);

// An Apollo orbit: a = 1.46 AU, e = 0.5, i = 10.8 deg, perihelion 0.73 AU.
void near_earth_orbit_one_year(benchmark::State& state)
{
    integrate_one_year(state, state_from_elements(Vector3{{1.46, 0.5, 10.8}}, Vector3{{304.3, 178.9, 100.0}}));
}
BENCHMARK(near_earth_orbit_one_year)->Unit(benchmark::kMicrosecond);

void planet_table_one_year(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(planet_table(EPOCH, EPOCH + YEAR));
    }
}
BENCHMARK(planet_table_one_year)->Unit(benchmark::kMillisecond);

void table_evaluation(benchmark::State& state)
{
    const PlanetTable& table = year_table();
    double t = EPOCH;
    for (auto _ : state) {
        benchmark::DoNotOptimize(table_instant(table, t));
        t = t + 0.37 > EPOCH + YEAR ? EPOCH : t + 0.37;
    }
}
BENCHMARK(table_evaluation);

const PerihelionElements MAIN_BELT{EPOCH - 120.0, 2.767 * (1.0 - 0.0785), 0.0785, 10.59, 80.3, 73.6};

void shell_bound_one_year(benchmark::State& state)
{
    const BodyDistanceRanges ranges = body_distance_ranges(year_table());
    for (auto _ : state) {
        benchmark::DoNotOptimize(shell_deviation_bound(MAIN_BELT, EPOCH, EPOCH + YEAR, ranges));
    }
}
BENCHMARK(shell_bound_one_year);

void path_bound_one_year(benchmark::State& state)
{
    const BodyDistanceRanges ranges = body_distance_ranges(year_table());
    for (auto _ : state) {
        benchmark::DoNotOptimize(path_deviation_bound(MAIN_BELT, EPOCH, EPOCH + YEAR, year_table(), ranges));
    }
}
BENCHMARK(path_bound_one_year);

}  // namespace

BENCHMARK_MAIN();
