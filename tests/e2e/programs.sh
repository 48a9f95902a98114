#!/usr/bin/env bash
# The real programs as separate processes under Xvfb, driven with xdotool and judged by the
# colour of their lamps in screenshots:
#  - an input clicked on the board lights the tester's input lamp,
#  - an output clicked in the tester lights the board's output LED,
#  - both programs switch language while the card is open,
#  - closing the board turns the tester's link lamp grey within about a second, and opening it
#    again turns it green.
# Usage: programs.sh BIN_DIR SOURCE_DIR
set -euo pipefail
bin="$1"
src="$2"
port=$((20000 + RANDOM % 20000))
work=$(mktemp -d)
source "$src/scripts/x11.sh"
unset DISPLAY
# Real windows on the X display, whatever the other tests use.
export QT_QPA_PLATFORM=xcb
ensure_display

export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME/Vastrel" "$XDG_CONFIG_HOME/KAVROApp_Net"
printf '[General]\nlanguage=0\n' >"$XDG_CONFIG_HOME/Vastrel/KAVROVirtualBoard_Network.conf"
printf '[Language]\nCurLan=1\n' >"$XDG_CONFIG_HOME/KAVROApp_Net/KAVRO.cfg"

pids=()
cleanup() {
  local rc=$?
  if [ "$rc" -ne 0 ]; then
    for log in "$work"/*.log; do
      [ -s "$log" ] && { echo "--- $(basename "$log")" >&2; tail -n 40 "$log" >&2; }
    done
  fi
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
check() { # name condition-command...
  local name=$1
  shift
  if "$@"; then
    echo "PASS   : $name"
    passed=$((passed + 1))
  else
    echo "FAIL!  : $name"
    failed=$((failed + 1))
  fi
}

# The colour at x,y of a window, as rrggbb.
pixel() { # window x y
  import -window "$1" "$work/shot.png"
  convert "$work/shot.png" -format '%[hex:p{'"$2"','"$3"'}]' info: | cut -c1-6 | tr 'A-F' 'a-f'
}
# Waits up to 3 s for a pixel to take a colour.
pixel_becomes() { # window x y colour
  local i
  for i in $(seq 1 30); do
    [ "$(pixel "$1" "$2" "$3")" = "$4" ] && return 0
    sleep 0.1
  done
  echo "  pixel $2,$3 is $(pixel "$1" "$2" "$3"), not $4" >&2
  return 1
}
title_is() { [ "$(xdotool getwindowname "$1")" = "$2" ]; }
title_becomes() {
  local i
  for i in $(seq 1 30); do
    title_is "$1" "$2" && return 0
    sleep 0.1
  done
  echo "  title is '$(xdotool getwindowname "$1")'" >&2
  return 1
}

lit_board=00ff00      # the board's lit LED
lit_tester=00ff00     # the tester's lamp, on
grey_tester=989898    # the tester's lamp, off

"$bin/KAVROVirtualBoard_Net" >"$work/board.log" 2>&1 &
pids+=($!)
board=$(wait_window '^KAVROVirtualBoard_Network$')
xdotool windowmove "$board" 0 0
sleep 0.5
click_at "$board" 165 44; xdotool key End Return; sleep 0.2
click_at "$board" 333 44; xdotool key ctrl+a type "$port"
click_at "$board" 408 44; sleep 0.5

"$bin/KAVROApp_Net" >"$work/tester.log" 2>&1 &
pids+=($!)
tester=$(wait_window '^KAVRO AppVer')
xdotool windowmove "$tester" 0 660
sleep 1.5
click_at "$tester" 120 43; xdotool key ctrl+a type 127.0.0.1
click_at "$tester" 297 43; xdotool key ctrl+a type "$port"
click_at "$tester" 368 43; sleep 1.5

check "tester shows the card connected" pixel_becomes "$tester" 465 122 "$lit_tester"

click_at "$board" 811 145
check "input clicked on the board lights the tester's input lamp 5" \
  pixel_becomes "$tester" 390 210 "$lit_tester"
check "the tester's input lamp 4 stays off" pixel_becomes "$tester" 320 210 "$grey_tester"

click_at "$tester" 249 374
check "output clicked in the tester lights the board's output LED 3" \
  pixel_becomes "$board" 527 394 "$lit_board"

click_at "$tester" 812 43; xdotool key Up Return
check "the tester switches language with the card open" title_becomes "$tester" "KAVROApp"
click_at "$board" 1189 44; xdotool key Down Return
check "the board switches language with the card open" \
  title_becomes "$board" "KAVROVirtualBoard_Network"
check "the tester's lamps keep their state after the switch" \
  pixel_becomes "$tester" 390 210 "$lit_tester"

# A pulse train started in the tester: output 2 set, then clear, seen on both sides.
click_at "$tester" 766 151; xdotool key ctrl+a type 2        # port
click_at "$tester" 621 181                                   # positive polarity
click_at "$tester" 766 211; xdotool key ctrl+a type 3        # pulses
click_at "$tester" 766 242; xdotool key ctrl+a type 700      # set time
click_at "$tester" 766 273; xdotool key ctrl+a type 700      # clear time
click_at "$tester" 766 304; xdotool key ctrl+a type 0        # lead time
click_at "$tester" 773 347                                   # Start
check "the pulse train sets the board's output 2" pixel_becomes "$board" 385 394 "$lit_board"
check "and the tester's output lamp 2" pixel_becomes "$tester" 180 374 "$lit_tester"
check "the train's clear phase shows in the tester" pixel_becomes "$tester" 180 374 "$grey_tester"

click_at "$board" 386 44   # Close (the Chinese caption sits a little to the left)
check "closing the board shows the tester disconnected" \
  pixel_becomes "$tester" 465 122 "$grey_tester"
# The language switch put the port field back to 8088: type the port again, then Open.
click_at "$board" 310 44; xdotool key ctrl+a type "$port"
click_at "$board" 386 44
check "opening the board again brings the tester's link back" \
  pixel_becomes "$tester" 465 122 "$lit_tester"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
