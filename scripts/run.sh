#!/usr/bin/env bash
# Builds everything and starts the virtual board. On a machine without a display it runs under
# Xvfb, opens the board on 127.0.0.1:8088 through the window, and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "run: starting the virtual board on $DISPLAY"
  exec build/bin/KAVROVirtualBoard_Net
fi

echo "run: no display; running under Xvfb and opening the board on 127.0.0.1:8088"
bash scripts/vb-screenshots.sh screenshots 8088
