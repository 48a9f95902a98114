#!/usr/bin/env bash
# The two programs side by side, driven through their windows: the virtual board opened on
# 127.0.0.1:<port>, the network tester opening it, an input switched on the board and an output
# switched in the tester; screenshots of both, in English and then Chinese.
# Runs on $DISPLAY when it works, otherwise under Xvfb. With --keep the programs stay open.
#   bash scripts/demo.sh [out-dir] [port] [--keep]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-screenshots}"
port="${2:-8088}"
keep="${3:-}"
bin=build/bin
for p in KAVROVirtualBoard_Net KAVROApp_Net; do
  [ -x "$bin/$p" ] || { echo "build first: bash scripts/test.sh" >&2; exit 1; }
done
mkdir -p "$out"
source scripts/x11.sh
ensure_display

# Settings of their own, starting in English.
export XDG_CONFIG_HOME
XDG_CONFIG_HOME=$(mktemp -d)
mkdir -p "$XDG_CONFIG_HOME/Vastrel" "$XDG_CONFIG_HOME/KAVROApp_Net"
printf '[General]\nlanguage=0\n' >"$XDG_CONFIG_HOME/Vastrel/KAVROVirtualBoard_Network.conf"
printf '[Language]\nCurLan=1\n' >"$XDG_CONFIG_HOME/KAVROApp_Net/KAVRO.cfg"

pids=()
cleanup() {
  if [ -z "$keep" ]; then
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
  fi
}
trap cleanup EXIT

"$bin/KAVROVirtualBoard_Net" >"$out/virtualboard.log" 2>&1 &
pids+=($!)
board=$(wait_window '^KAVROVirtualBoard_Network$')
xdotool windowmove "$board" 0 0
sleep 0.5
click_at "$board" 165 44; xdotool key End Return; sleep 0.2     # address: 127.0.0.1
click_at "$board" 333 44; xdotool key ctrl+a type "$port"        # port
click_at "$board" 408 44; sleep 0.5                              # Open
echo "demo: virtual board open on 127.0.0.1:$port"

"$bin/KAVROApp_Net" >"$out/tester.log" 2>&1 &
pids+=($!)
tester=$(wait_window '^KAVRO AppVer')
xdotool windowmove "$tester" 0 660
sleep 1.5                                                        # the address search
click_at "$tester" 120 43; xdotool key ctrl+a type 127.0.0.1     # address
click_at "$tester" 297 43; xdotool key ctrl+a type "$port"       # port
click_at "$tester" 368 43; sleep 1.5                             # Open
echo "demo: tester opened the card"

click_at "$board" 811 145                                        # board: input 5 on
click_at "$tester" 249 374                                       # tester: output 3 on
sleep 1.2
import -window "$board" "$out/demo-board-en.png"
import -window "$tester" "$out/demo-tester-en.png"

click_at "$tester" 812 43; xdotool key Up Return; sleep 0.8      # tester language: Chinese
click_at "$board" 1189 44; xdotool key Down Return; sleep 0.8    # board language: Chinese
import -window "$board" "$out/demo-board-zh.png"
import -window "$tester" "$out/demo-tester-zh.png"
echo "screenshots: $out/demo-board-en.png $out/demo-tester-en.png $out/demo-board-zh.png $out/demo-tester-zh.png"
if [ -n "$keep" ]; then
  echo "demo: the programs keep running on $DISPLAY"
fi
