#!/usr/bin/env bash
# Builds optimised and prints the benchmark figures. Nothing is asserted; compare figures of
# one run on one machine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVRO_BUILD_TESTS=ON -DKAVRO_BUILD_BENCH=ON
cmake --build build-bench --target bench_link bench_boardlib bench_panel kavro-board-host
echo "== board link codec and card engine =="
build-bench/bin/bench_link --benchmark_min_time=0.5
echo
build-bench/bin/bench_boardlib 5000
echo
echo "== 4. a flood of change reports into one card panel =="
build-bench/bin/bench_panel 10000 3
