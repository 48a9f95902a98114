#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   bash scripts/test.sh                     normal build in build/
#   KAVRO_SANITIZE=address,undefined bash scripts/test.sh    sanitizer build in build-asan/
#   KAVRO_SANITIZE=thread bash scripts/test.sh               sanitizer build in build-tsan/
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

sanitize="${KAVRO_SANITIZE:-}"
case "$sanitize" in
  "") build_dir="${BUILD_DIR:-build}" ;;
  thread) build_dir="${BUILD_DIR:-build-tsan}" ;;
  *) build_dir="${BUILD_DIR:-build-asan}" ;;
esac

cmake -S . -B "$build_dir" -G Ninja -DKAVRO_SANITIZE="$sanitize" \
  -DKAVRO_BUILD_BENCH="$([ -z "$sanitize" ] && echo ON || echo OFF)"
cmake --build "$build_dir" -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp}"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" --timeout 300
