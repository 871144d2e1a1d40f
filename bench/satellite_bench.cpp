// Costs of satfield's per-set work: the element-set parse, the Vinti and
// SGP4 records, the positions, and the whole evaluation of one set, on sets
// of the sample catalogue.
#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

#include "element_set_history.hpp"
#include "satellite_evaluation.hpp"
#include "satellite_search.hpp"
#include "sgp4.hpp"
#include "tle_record.hpp"
#include "vinti.hpp"

using namespace fieldsearch;

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

// SGP4 records of sets, built beforehand.
template <std::size_t N>
std::array<Sgp4Orbit, N> sgp4_orbits(const std::array<TleRecord, N>& records)
{
    std::array<Sgp4Orbit, N> orbits{};
    for (std::size_t k = 0; k < N; ++k) {
        orbits[k] = sgp4_orbit(sgp4_elements_from_tle(records[k], tle_epoch_mjd(records[k])));
    }
    return orbits;
}

// Deep-space sets of the sample catalogue: the transfer orbit, a navigation
// orbit and a geostationary one (24-hour resonance).
std::array<TleRecord, 3> deep_space_records()
{
    const std::array<TleRecord, 4> outside = outside_records();
    return {outside[0], outside[3],
            parse_tle_record("GEOCOM 66", "1 49595U 03066A   08139.61747879  .00000019  00000-0  16294-6 0  6318",
                             "2 49595   0.0000 229.8011 0005699 270.1479 320.9337  1.00272049159441")};
}

// The SGP4 record of a near-Earth set (drag coefficients, secular rates).
void sgp4_init_near_earth(benchmark::State& state)
{
    const std::array<TleRecord, 4> records = outside_records();
    std::size_t i = 0;
    for (auto _ : state) {
        const TleRecord& r = records[1 + (i++ & 1)];
        benchmark::DoNotOptimize(sgp4_orbit(sgp4_elements_from_tle(r, 54606.0)));
    }
}
BENCHMARK(sgp4_init_near_earth);

// The SDP4 record of a deep-space set (lunar-solar and resonance terms too).
void sgp4_init_deep_space(benchmark::State& state)
{
    const std::array<TleRecord, 3> records = deep_space_records();
    std::size_t i = 0;
    for (auto _ : state) {
        const TleRecord& r = records[i++ % 3];
        benchmark::DoNotOptimize(sgp4_orbit(sgp4_elements_from_tle(r, 54606.0)));
    }
}
BENCHMARK(sgp4_init_deep_space);

// One near-Earth state from a record built beforehand, a day from epoch.
void sgp4_propagate_near_earth(benchmark::State& state)
{
    const std::array<TleRecord, 4> records = outside_records();
    const std::array<Sgp4Orbit, 4> orbits = sgp4_orbits(records);
    double t = 1440.0;
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sgp4_state(orbits[1 + (i++ & 1)], t));
        t += 1e-3;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(sgp4_propagate_near_earth);

// One deep-space state a day from epoch (the resonance integrated from the
// epoch in two steps for the geostationary set).
void sgp4_propagate_deep_space(benchmark::State& state)
{
    const std::array<Sgp4Orbit, 3> orbits = sgp4_orbits(deep_space_records());
    double t = 1440.0;
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sgp4_state(orbits[i++ % 3], t));
        t += 1e-3;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(sgp4_propagate_deep_space);

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

// The SGP4 evaluation of a set that is not in the field: its record and one
// state (near-Earth and deep-space sets in turn).
void evaluation_outside_field_sgp4(benchmark::State& state)
{
    const std::array<TleRecord, 4> records = outside_records();
    const SatelliteSearchGeometry geometry = satellite_search_geometry(satellite_scenario_request());
    for (const TleRecord& r : records) {
        if (evaluate_satellite(r, geometry, SatelliteTheory::sgp4).outcome != SatelliteOutcome::outside_field) {
            state.SkipWithError("a set meant to lie outside the field is not outside it");
            return;
        }
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(evaluate_satellite(records[i++ & 3], geometry, SatelliteTheory::sgp4));
    }
}
BENCHMARK(evaluation_outside_field_sgp4);

// Both theories on a set that is not in the field.
void evaluation_outside_field_both(benchmark::State& state)
{
    const std::array<TleRecord, 4> records = outside_records();
    const SatelliteSearchGeometry geometry = satellite_search_geometry(satellite_scenario_request());
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(evaluate_satellite(records[i++ & 3], geometry, SatelliteTheory::both));
    }
}
BENCHMARK(evaluation_outside_field_both);

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

// The choice between a satellite's element sets for 60,000 sets, as a scan
// of the full-size catalogue makes it once the catalogue is read: with
// catalogue numbers all different (in the generated catalogue's scattered
// order), and as a history of 20,000 satellites of three sets each.
void element_set_history_of_catalogue(benchmark::State& state)
{
    const bool history = state.range(0) != 0;
    std::vector<ElementSetEpoch> sets;
    for (long i = 0; i < 60000; ++i) {
        const long satellite = history ? i % 20000 : i;
        sets.push_back({10000 + (satellite * 7919) % 90000, 54606.0 + static_cast<double>(i % 3)});
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(element_set_history(sets));
    }
}
BENCHMARK(element_set_history_of_catalogue)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
