// Costs of satfield's per-set work: the element-set parse, the Vinti record,
// the position, and the whole evaluation of one set, on sets of the sample
// catalogue.
#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <string_view>

#include "satellite_evaluation.hpp"
#include "satellite_search.hpp"
#include "tle_record.hpp"
#include "vinti.hpp"

namespace {

// One element set as it stands in the catalogue: name line, line 1, line 2.
struct ElementSetLines {
    std::string_view name;
    std::string_view line1;
    std::string_view line2;
};

// The first four sets of data/080520ls.tle, none in the compiled-in field: a
// transfer orbit (e = 0.72), two low orbits and a navigation orbit.
constexpr std::array<ElementSetLines, 4> OUTSIDE_SETS{{
    {"TRANSFER R/B 15", "1 10000U 03019B   08138.62016485  .00000511  00000-0  59259-5 0  8537",
     "2 10000  26.0244  25.9358 7191398 106.9356 124.4993  2.23774787627106"},
    {"LEO SAT 80", "1 17919U 94018D   08140.59932391  .00000491  00000-0  40354-5 0  1620",
     "2 17919 148.9994 236.3028 0148550 168.8917 260.4238 14.73588440508169"},
    {"ATMOSPHERIC SOUNDING SAT 142", "1 25838U 91054D   08138.59981353  .00000003  00000-0  37530-7 0  8333",
     "2 25838  44.6087 148.8651 0190567 135.5511 356.7361 12.98060771515620"},
    {"NAVSAT 27", "1 33757U 07086F   08141.16266276 -.00000031  00000-0 -16091-6 0  5238",
     "2 33757  64.5966  79.9708 0016782 195.6997   1.1641  2.00560490889502"},
}};

// A set of data/080520ls.tle that the compiled-in search lists.
constexpr ElementSetLines INSIDE_SET{"LEO SAT 2356",
                                     "1 27997U 86012D   08139.62996498  .00000021  00000-0  23056-6 0   597",
                                     "2 27997  51.6400 187.1059 0043946 130.2951 254.9118 13.85957255893370"};

TleRecord parsed(const ElementSetLines& set)
{
    return parse_tle_record(set.name, set.line1, set.line2);
}

// The outside sets, parsed.
std::array<TleRecord, 4> outside_records()
{
    std::array<TleRecord, 4> records{};
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i] = parsed(OUTSIDE_SETS[i]);
    }
    return records;
}

void parse_element_set(benchmark::State& state)
{
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(parsed(OUTSIDE_SETS[i++ & 3]));
    }
}
BENCHMARK(parse_element_set);

// The constants, roots and coefficients of one set.
void vinti_record(benchmark::State& state)
{
    const std::array<TleRecord, 4> records = outside_records();
    std::size_t i = 0;
    for (auto _ : state) {
        const TleRecord& r = records[i++ & 3];
        benchmark::DoNotOptimize(vinti_init(r.incl, r.ecc, r.n));
    }
}
BENCHMARK(vinti_record);

// The position from a record built beforehand: the Kepler-like equation and
// the coordinates.
void vinti_position_only(benchmark::State& state)
{
    const std::array<TleRecord, 4> records = outside_records();
    std::array<VintiOrbit, 4> orbits{};
    for (std::size_t k = 0; k < orbits.size(); ++k) {
        orbits[k] = vinti_init(records[k].incl, records[k].ecc, records[k].n);
    }
    double t = satellite_scenario_request().utc_mjd;
    std::size_t i = 0;
    for (auto _ : state) {
        const std::size_t k = i++ & 3;
        const TleRecord& r = records[k];
        benchmark::DoNotOptimize(vinti_position(orbits[k], tle_epoch_mjd(r), r.omega, r.node, r.mean_anom, r.ndot2, t));
        t += 1e-6;
    }
}
BENCHMARK(vinti_position_only);

// The position of one set with its record built afresh.
void vinti_state_of_set(benchmark::State& state)
{
    const std::array<TleRecord, 4> records = outside_records();
    double t = satellite_scenario_request().utc_mjd;
    std::size_t i = 0;
    for (auto _ : state) {
        const TleRecord& r = records[i++ & 3];
        benchmark::DoNotOptimize(
            vinti_state(tle_epoch_mjd(r), r.omega, r.node, r.incl, r.ecc, r.mean_anom, r.n, r.ndot2, t));
        t += 1e-6;
    }
}
BENCHMARK(vinti_state_of_set);

// Once per search: the three instants with their matrices and observer.
void search_geometry(benchmark::State& state)
{
    SearchRequest request = satellite_scenario_request();
    for (auto _ : state) {
        benchmark::DoNotOptimize(satellite_search_geometry(request));
        request.utc_mjd += 1e-6;
    }
}
BENCHMARK(search_geometry);

// The whole evaluation of a set that is not in the field: what nearly every
// set of a catalogue costs beyond its parse.
void evaluation_outside_field(benchmark::State& state)
{
    const std::array<TleRecord, 4> records = outside_records();
    const SatelliteSearchGeometry geometry = satellite_search_geometry(satellite_scenario_request());
    for (const TleRecord& r : records) {
        if (evaluate_satellite(r, geometry).outcome != SatelliteOutcome::outside_field) {
            state.SkipWithError("a set meant to lie outside the field is not outside it");
            return;
        }
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(evaluate_satellite(records[i++ & 3], geometry));
    }
}
BENCHMARK(evaluation_outside_field);

// The evaluation of a set listed by the search, its motion included.
void evaluation_in_field(benchmark::State& state)
{
    const TleRecord record = parsed(INSIDE_SET);
    const SatelliteSearchGeometry geometry = satellite_search_geometry(satellite_scenario_request());
    if (evaluate_satellite(record, geometry).outcome != SatelliteOutcome::in_field) {
        state.SkipWithError("the set meant to lie in the field is not in it");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(evaluate_satellite(record, geometry));
    }
}
BENCHMARK(evaluation_in_field);

}  // namespace

BENCHMARK_MAIN();
