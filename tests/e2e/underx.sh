#!/usr/bin/env bash
# Runs a Qt test program in real X windows: on $DISPLAY when it works, else on an Xvfb of its
# own, which ends with the run.
# Usage: underx.sh SOURCE_DIR PROGRAM [ARGS...]
set -euo pipefail
src="$1"
shift
source "$src/scripts/x11.sh"
unset DISPLAY
ensure_display
trap '[ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true' EXIT
# In a sanitizer build the X platform plugin leaves D-Bus memory and its own unloaded
# libraries behind at exit. The same programs run offscreen with the leak check on, so here
# it is off: what these runs add is real windows, not a second look at our memory.
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1}:detect_leaks=0"
QT_QPA_PLATFORM=xcb "$@"
