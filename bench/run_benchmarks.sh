#!/usr/bin/env bash
# Builds the project in Release and runs every benchmark, printing their
# tables: the per-object costs of the core, of astfield and of satfield, then
# the whole-program throughput of both programs on full-size catalogues.
#
# Usage: bench/run_benchmarks.sh [BENCHMARK OPTION]...
# The options go to every benchmark executable, for example
# --benchmark_filter=kepler or --benchmark_repetitions=3.
#
# Environment:
#   BUILD_DIR                the build directory (default: build-bench at the
#                            top of the source tree)
#   FIELDSEARCH_ASTORB_FULL  an asteroid catalogue to measure astfield on
#   FIELDSEARCH_TLE_FULL     an element-set catalogue to measure satfield on
# Without the last two, catalogues of 1,400,000 records (375 MB) and 60,000
# element sets are generated into the build directory on the first run and
# kept there for the next.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DFIELDSEARCH_TESTS=OFF -DFIELDSEARCH_BENCHMARKS=ON
if ! grep -q '^benchmark_DIR:PATH=' "$build/CMakeCache.txt" ||
  grep -q '^benchmark_DIR:PATH=.*NOTFOUND' "$build/CMakeCache.txt"; then
  echo "run_benchmarks.sh: Google Benchmark was not found; install it (libbenchmark-dev) and run again" >&2
  exit 1
fi
benchmarks=(core_bench asteroid_bench nbody_bench satellite_bench throughput_bench)
cmake --build "$build" -j"$jobs" --target "${benchmarks[@]}"

for benchmark in "${benchmarks[@]}"; do
  echo
  echo "== $benchmark"
  "$build/bin/$benchmark" "$@"
done
