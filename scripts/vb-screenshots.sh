#!/usr/bin/env bash
# Starts the virtual board on an X display (Xvfb when there is none), opens it on
# 127.0.0.1:<port>, lights inputs 0, 5 and 31 by clicking, switches outputs 3, 12 and 30 from
# a link client, and saves screenshots in English and Chinese.
#   bash scripts/vb-screenshots.sh [out-dir] [port]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-screenshots}"
port="${2:-8088}"
bin=build/bin
[ -x "$bin/KAVROVirtualBoard_Net" ] || { echo "build first: bash scripts/test.sh" >&2; exit 1; }
mkdir -p "$out"
source scripts/x11.sh
ensure_display

# A settings folder of its own, starting in English.
export XDG_CONFIG_HOME
XDG_CONFIG_HOME=$(mktemp -d)
mkdir -p "$XDG_CONFIG_HOME/Vastrel"
printf '[General]\nlanguage=0\n' >"$XDG_CONFIG_HOME/Vastrel/KAVROVirtualBoard_Network.conf"

"$bin/KAVROVirtualBoard_Net" >"$out/virtualboard.log" 2>&1 &
board=$!
trap 'kill $board 2>/dev/null || true; [ -n "${XVFB_PID:-}" ] && kill $XVFB_PID 2>/dev/null || true' EXIT

win=$(wait_window '^KAVROVirtualBoard_Network$')
sleep 0.5
# Address list: the last entry is 127.0.0.1. Port field, then Open.
click_at "$win" 165 44; xdotool key End Return; sleep 0.2
click_at "$win" 333 44; xdotool key ctrl+a type "$port"
click_at "$win" 408 44
sleep 0.5
for xy in "101 145" "811 145" "1095 286"; do click_at "$win" $xy; done
"$bin/kavro-link-send" "127.0.0.1:$port" word 0 set 3 set 12 set 30 >/dev/null
sleep 0.3
import -window "$win" "$out/virtualboard-en.png"

# Language: the last combo box, second entry.
click_at "$win" 1189 44; xdotool key Down Return
sleep 0.5
import -window "$win" "$out/virtualboard-zh.png"
echo "screenshots: $out/virtualboard-en.png $out/virtualboard-zh.png"
