// Costs of the core's per-instant and per-object work.
#include <benchmark/benchmark.h>

#include "fixed_columns.hpp"
#include "precession_nutation.hpp"
#include "sidereal_time.hpp"
#include "square_field.hpp"

using namespace fieldsearch;

namespace {

void precession_nutation(benchmark::State& state)
{
    double t = 54606.2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(precession_nutation_matrix(t));
        t += 1e-6;
    }
}
BENCHMARK(precession_nutation);

void observer_position(benchmark::State& state)
{
    Vector3 observer;
    observer(1) = 3395.0303;
    observer(2) = 3128.7911;
    observer(3) = 4388.8511;
    double t = 54606.2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(observer_geocentric_position(t, 0.0, compiled_leap_second_table(), observer));
        t += 1e-6;
    }
}
BENCHMARK(observer_position);

void field_test(benchmark::State& state)
{
    double ra = 359.3;
    for (auto _ : state) {
        benchmark::DoNotOptimize(in_square_field(ra, 0.4, 15.0, 0.041666666666666664, 0.5, 1.0, 20.0));
        ra += 1e-9;
    }
}
BENCHMARK(field_test);

void decimal_field(benchmark::State& state)
{
    const char* fields[] = {"  2.7652", " 155.67891", "0.1234567", "  1.23456789"};
    unsigned i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(decimal_from_text(fields[i++ & 3]));
    }
}
BENCHMARK(decimal_field);

}  // namespace

BENCHMARK_MAIN();
