#!/usr/bin/env bash
# Builds the libFuzzer target with clang under address and undefined-behaviour sanitizers and
# runs it. Usage: bash scripts/fuzz.sh [seconds]   (default 600)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"

bash scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKAVRO_FUZZ=ON \
  -DKAVRO_SANITIZE=address,undefined -DKAVRO_BUILD_TESTS=OFF -DKAVRO_BUILD_BENCH=OFF
cmake --build build-fuzz --target fuzz_firmware

mkdir -p build-fuzz/corpus
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  build-fuzz/fuzz/fuzz_firmware build-fuzz/corpus -max_total_time="$seconds" -max_len=4096 \
  -print_final_stats=1
