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
QT_QPA_PLATFORM=xcb "$@"
