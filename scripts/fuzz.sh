#!/usr/bin/env bash
# Builds a libFuzzer target with clang under address and undefined-behaviour sanitizers and
# runs it. Usage: bash scripts/fuzz.sh [seconds] [target]
#   targets: fuzz_firmware (the card's intake and engine, default), fuzz_cardsession (the
#   library's parsing of card frames), fuzz_discovery (the card's answers to UDP configuration
#   requests)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
target="${2:-fuzz_firmware}"

bash scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKAVRO_FUZZ=ON \
  -DKAVRO_SANITIZE=address,undefined -DKAVRO_BUILD_TESTS=OFF -DKAVRO_BUILD_BENCH=OFF
cmake --build build-fuzz --target "$target"

mkdir -p "build-fuzz/corpus-$target"
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "build-fuzz/bin/$target" "build-fuzz/corpus-$target" -max_total_time="$seconds" -max_len=4096 \
  -print_final_stats=1
