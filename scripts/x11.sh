# Helpers for scripts that drive the programs on an X display. Source it; do not run it.

# Uses $DISPLAY when it works, otherwise starts Xvfb on a free display and exports it.
ensure_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local n
  for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 1920x1300x24 -nolisten tcp >/dev/null 2>&1 &
      XVFB_PID=$!
      export DISPLAY=":$n"
      local i
      for i in $(seq 1 50); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
      done
    fi
  done
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
