#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine and passes every test: installs the
# packages, builds with warnings as errors, runs all tests (unit, process and
# end-to-end; they start their own Xvfb and web servers), then builds again with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs the unit tests there.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${QV_JOBS:-2}
bash scripts/install-deps.sh

echo "== normal build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQV_WERROR=ON
cmake --build build -j"$jobs"
echo "== tests"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== benchmarks (one short run each; figures come from scripts/bench.sh)"
for bench in build/bench/bin/bench_*; do
  "$bench" --benchmark_min_time=0.01 > /dev/null 2>&1 || { echo "benchmark $bench failed"; exit 1; }
done

echo "== sanitizer build"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_WERROR=ON -DQV_SANITIZE=ON \
      -DQV_BUILD_BENCHMARKS=OFF
cmake --build build-sanitize -j"$jobs"
echo "== unit tests under sanitizers"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs" -L unit
echo "== all tests passed"
