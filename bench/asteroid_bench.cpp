// Costs of astfield's per-record work: the record parse, Kepler's equation,
// the two-body position, the light-time corrected vector, the H-G magnitude
// and the whole evaluation of one record, on records of the sample catalogue;
// and the choice of a record's candidate fields among a night's fields.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "asteroid_evaluation.hpp"
#include "asteroid_search.hpp"
#include "astorb_record.hpp"
#include "hg_magnitude.hpp"
#include "light_time.hpp"
#include "night_candidates.hpp"
#include "square_field.hpp"
#include "two_body.hpp"

using namespace fieldsearch;

namespace {

// Four records of data/astorb.dat whose asteroids lie outside the compiled-in
// field (main belt, e = 0.05 to 0.28), the common case of a search.
constexpr std::array<std::string_view, 4> OUTSIDE_RECORDS{
    "    26 Lounimiax          synthetic        7.46  0.15 0.68               0   0   0   0   0   0 43855 5188 20080514 117.696141 237.453"
    "580 289.567849 15.450892 0.27975035   3.96397171 20080508    0.39     0.02 20080520    0.78 20160306    1.84 20100923    1.94 20200318",
    "   330 Doutru             synthetic        9.49  0.15       33.8         0   0   0   0   0   0 73182 6210 20080514 171.610906 109.989"
    "917 290.390389  2.586166 0.08454582   2.24262758 20080507    1.43     0.03 20080520    2.04 20180626    5.45 20170323    8.99 20240426",
    "   624 Rybritrol          synthetic       10.27  0.15       23.0 S       0   8   0   0   0   0  5686 1167 20080514 353.476522 250.881"
    "758 208.885669  2.592827 0.04503436   3.03197911 20080518    1.29     0.01 20080520    2.36 20130817    2.83 20180405    5.38 20180908",
    "   640 Liamisiath         synthetic       10.66  0.15 0.83               0   0   0   3   0   0 13693 5807 20080514 270.296567 237.022"
    "846 347.291408  9.028052 0.11942740   2.58413331 20080509    0.27     0.05 20080520    0.29 20140708    0.51 20100105    0.74 20180702",
};

// A record of data/astorb.dat that the compiled-in search lists (26016, V 17.6).
constexpr std::string_view INSIDE_RECORD =
    " 26016 1974 EG54          synthetic       12.77  0.15                    0   0   0   0   0   0 17071 2852 20080514  50.345707 306.619"
    "175 325.719790  3.000000 0.12000000   2.35000000 20080512    0.93     0.02 20080520    1.09 20130807    1.50 20181011    2.50 20180528";

// The outside records, parsed.
std::array<AstorbRecord, 4> outside_records()
{
    std::array<AstorbRecord, 4> records{};
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i] = parse_astorb_record(OUTSIDE_RECORDS[i]);
    }
    return records;
}

// The observer's heliocentric position (km, J2000) at the compiled-in instant.
Vector3 scenario_observer_position(const SearchRequest& request)
{
    const Vector3 observer{{request.observer_x, request.observer_y, request.observer_z}};
    return observer_heliocentric_position(request.utc_mjd, request.ut1_minus_utc_seconds,
        request.leap_seconds, observer);
}

// 64 mean anomalies (radians) spread evenly over one turn.
std::array<double, 64> mean_anomalies()
{
    constexpr double TWO_PI = 6.283185307179586;
    std::array<double, 64> m{};
    for (std::size_t i = 0; i < m.size(); ++i) {
        m[i] = TWO_PI * (static_cast<double>(i) + 0.5) / static_cast<double>(m.size());
    }
    return m;
}

void parse_record(benchmark::State& state)
{
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(parse_astorb_record(OUTSIDE_RECORDS[i++ & 3]));
    }
}
BENCHMARK(parse_record);

// Kepler's equation at a main-belt eccentricity, mean anomalies over a turn.
void kepler_ordinary(benchmark::State& state)
{
    const std::array<double, 64> m = mean_anomalies();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(solve_kepler(0.15, m[i++ & 63]));
    }
}
BENCHMARK(kepler_ordinary);

// Kepler's equation at e = 0.9, where near perihelion the Newton steps from
// M + e sin M need more passes.
void kepler_e09(benchmark::State& state)
{
    const std::array<double, 64> m = mean_anomalies();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(solve_kepler(0.9, m[i++ & 63]));
    }
}
BENCHMARK(kepler_e09);

void two_body_position(benchmark::State& state)
{
    const std::array<AstorbRecord, 4> records = outside_records();
    double t = asteroid_search_request().utc_mjd;
    std::size_t i = 0;
    for (auto _ : state) {
        const AstorbRecord& r = records[i++ & 3];
        benchmark::DoNotOptimize(asteroid_position_km(epoch_mjd(r), elements_aei(r), elements_angles(r), t));
        t += 1e-6;
    }
}
BENCHMARK(two_body_position);

// Once per search (and twice more per asteroid in the field, for the motion).
void observer_heliocentric(benchmark::State& state)
{
    const SearchRequest request = asteroid_search_request();
    const Vector3 observer{{request.observer_x, request.observer_y, request.observer_z}};
    double t = request.utc_mjd;
    for (auto _ : state) {
        benchmark::DoNotOptimize(observer_heliocentric_position(t, 0.0, compiled_leap_second_table(), observer));
        t += 1e-6;
    }
}
BENCHMARK(observer_heliocentric);

void light_time_vector(benchmark::State& state)
{
    const std::array<AstorbRecord, 4> records = outside_records();
    const SearchRequest request = asteroid_search_request();
    const Vector3 observer_position = scenario_observer_position(request);
    double t = request.utc_mjd;
    std::size_t i = 0;
    for (auto _ : state) {
        const AstorbRecord& r = records[i++ & 3];
        benchmark::DoNotOptimize(
            light_time_corrected_vector(epoch_mjd(r), elements_aei(r), elements_angles(r), t, observer_position));
        t += 1e-6;
    }
}
BENCHMARK(light_time_vector);

void magnitude(benchmark::State& state)
{
    const std::array<AstorbRecord, 4> records = outside_records();
    const SearchRequest request = asteroid_search_request();
    const Vector3 observer_position = scenario_observer_position(request);
    std::array<LightTimeCorrected, 4> seen{};
    for (std::size_t k = 0; k < seen.size(); ++k) {
        const AstorbRecord& r = records[k];
        seen[k] = light_time_corrected_vector(epoch_mjd(r), elements_aei(r), elements_angles(r), request.utc_mjd,
                                              observer_position);
    }
    std::size_t i = 0;
    for (auto _ : state) {
        const std::size_t k = i++ & 3;
        benchmark::DoNotOptimize(
            apparent_magnitude(records[k].h, records[k].g, seen[k].asteroid_position, seen[k].topocentric));
    }
}
BENCHMARK(magnitude);

// The whole evaluation of a record whose asteroid is not in the field: what
// nearly every record of a catalogue costs beyond its parse.
void sighting_outside_field(benchmark::State& state)
{
    const std::array<AstorbRecord, 4> records = outside_records();
    const SearchRequest request = asteroid_search_request();
    const ObserverPositions observer = observer_positions(request);
    for (const AstorbRecord& r : records) {
        if (asteroid_sighting(request, observer, r)) {
            state.SkipWithError("a record meant to lie outside the field is listed");
            return;
        }
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(asteroid_sighting(request, observer, records[i++ & 3]));
    }
}
BENCHMARK(sighting_outside_field);

// The evaluation of a record listed by the search, its motion included.
void sighting_in_field(benchmark::State& state)
{
    const AstorbRecord record = parse_astorb_record(INSIDE_RECORD);
    const SearchRequest request = asteroid_search_request();
    const ObserverPositions observer = observer_positions(request);
    if (!asteroid_sighting(request, observer, record)) {
        state.SkipWithError("the record meant to lie in the field is not listed");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(asteroid_sighting(request, observer, record));
    }
}
BENCHMARK(sighting_in_field);

// A deterministic stream of uniform numbers in [0, 1).
struct Uniform {
    std::uint64_t state;
    double operator()()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) * 0x1.0p-53;
    }
};

// A night of 1,000 fields: ten at each of 100 instants six minutes apart from
// 2008 May 20, 19:12 UTC, exposures up to 300 s, sides of 1 to 4 degrees,
// centres at random within 15 degrees of the ecliptic.
std::vector<FieldWindow> night_of_fields()
{
    Uniform u{1};
    std::vector<FieldWindow> fields;
    const double eps = OBLIQUITY_J2000;
    for (int k = 0; k < 1000; ++k) {
        const double start = 54606.8 + (k / 10) * (0.1 / 24.0);
        const double lambda = 2.0 * 3.141592653589793 * u();
        const double beta = (30.0 * u() - 15.0) * 0.017453292519943295;
        const Vector3 ecl{{std::cos(beta) * std::cos(lambda), std::cos(beta) * std::sin(lambda), std::sin(beta)}};
        const Vector3 centre{{ecl(1), std::cos(eps) * ecl(2) - std::sin(eps) * ecl(3),
                              std::sin(eps) * ecl(2) + std::cos(eps) * ecl(3)}};
        fields.push_back({start, start + 300.0 * u() / 86400.0, centre, square_field_cap_radius(0.5 + 1.5 * u())});
    }
    return fields;
}

// 4,096 orbits as the catalogue holds them: nine in ten of the main belt,
// the rest near-Earth objects and Jupiter Trojans.
std::vector<AstorbRecord> night_catalogue()
{
    Uniform u{2};
    std::vector<AstorbRecord> records(4096);
    for (std::size_t k = 0; k < records.size(); ++k) {
        AstorbRecord& r = records[k];
        r.h = 15.0;
        r.g = 0.15;
        r.epoch_year = 2008;
        r.epoch_month = 5;
        r.epoch_day = 14;
        r.semimajor_axis = 2.1 + 1.2 * u();
        r.eccentricity = 0.3 * u();
        if (k % 20 == 1) {
            r.semimajor_axis = 0.8 + 1.7 * u();
            r.eccentricity = 0.1 + 0.7 * u();
        } else if (k % 20 == 2) {
            r.semimajor_axis = 5.1 + 0.2 * u();
        }
        r.inclination = 30.0 * u();
        r.node = 360.0 * u();
        r.perihelion_argument = 360.0 * u();
        r.mean_anomaly = 360.0 * u();
    }
    return records;
}

// The candidate fields of one record among the night's 1,000, the night cut
// into segments of at most state.range(0) hours. Counters: the segments, the
// time per record and segment, and the candidates per record (each of which
// then costs a full evaluation).
void night_candidates(benchmark::State& state)
{
    const NightPlan plan =
        night_plan(night_of_fields(), Vector3{{3395.0303, 3128.7911, 4388.8511}}, static_cast<double>(state.range(0)));
    const std::vector<AstorbRecord> records = night_catalogue();
    std::vector<int> out;
    std::size_t i = 0;
    double candidates = 0.0;
    for (auto _ : state) {
        candidate_fields(plan, records[i++ & 4095], out);
        benchmark::DoNotOptimize(out.data());
        candidates += static_cast<double>(out.size());
    }
    const double segments = static_cast<double>(plan.segments.size());
    state.counters["segments"] = segments;
    state.counters["per_segment"] = benchmark::Counter(static_cast<double>(state.iterations()) * segments,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["candidates"] = candidates / static_cast<double>(state.iterations());
}
BENCHMARK(night_candidates)->Arg(1)->Arg(2)->Arg(3)->Arg(5)->Arg(12);

}  // namespace

BENCHMARK_MAIN();
