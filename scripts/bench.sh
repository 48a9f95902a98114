#!/usr/bin/env bash
# Builds optimised and prints the benchmark figures. Nothing is asserted.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVRO_BUILD_TESTS=OFF
cmake --build build-bench
build-bench/bench/bench_link --benchmark_min_time=0.5
