#!/usr/bin/env bash
# The main job: builds everything, starts the virtual board and the network tester side by
# side, opens the board on 127.0.0.1:8088 and the card in the tester through their windows.
# With a display the programs stay open for you; without one they run under Xvfb, and
# screenshots of both windows are saved in screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec bash scripts/demo.sh screenshots 8088 --keep
fi
echo "run: no display; running both programs under Xvfb"
bash scripts/demo.sh screenshots 8088
