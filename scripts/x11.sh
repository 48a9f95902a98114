# Helpers for scripts that drive the programs on an X display. Source it; do not run it.

# Uses $DISPLAY when it works, otherwise starts Xvfb on a display number it picks itself
# (so that several runs never race for one) and exports it.
ensure_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local numberfile i n
  numberfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1920x1300x24 -nolisten tcp 3>"$numberfile" >/dev/null 2>&1 &
  XVFB_PID=$!
  for i in $(seq 1 100); do
    n=$(head -n1 "$numberfile" 2>/dev/null || true)
    if [ -n "$n" ]; then
      export DISPLAY=":$n"
      if xdpyinfo >/dev/null 2>&1; then
        rm -f "$numberfile"
        return 0
      fi
    fi
    sleep 0.1
  done
  rm -f "$numberfile"
  echo "no X display could be started" >&2
  return 1
}

# Waits for a window whose name matches $1 exactly and prints its id.
wait_window() {
  local i id
  for i in $(seq 1 100); do
    id=$(xdotool search --name "$1" 2>/dev/null | head -1 || true)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  echo "window '$1' did not appear" >&2
  return 1
}

# Clicks at window-relative coordinates.
click_at() { # window x y
  xdotool mousemove --window "$1" "$2" "$3" click 1
  sleep 0.15
}
