#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root and starts each installed
# program there (offscreen, a few seconds each): a program that is still running when its time
# is up has started; one that exits early has failed.
# On a CI machine (CI=true, as root), or with KAVRO_PACKAGE_INSTALL=1, it then installs the
# package for real with apt-get, which pulls in what it depends on, starts each program from
# the system's path the same way, checks the desktop entries and icons, and removes it again.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/kavro-toolset_*.deb | head -1)
echo "package: $deb"
root=$(mktemp -d)
dpkg-deb -x "$deb" "$root"
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$root/config"
failed=0
for p in KAVROVirtualBoard_Net KAVROApp_Net KAVROApp_COM KAVROApp_PCIE; do
  set +e
  timeout 4 "$root/usr/bin/$p" >"$root/$p.log" 2>&1
  rc=$?
  set -e
  if [ "$rc" -eq 124 ]; then
    echo "started: $p"
  else
    echo "FAILED to start: $p (exit $rc)"; cat "$root/$p.log"; failed=1
  fi
done
line=$(tail -f /dev/null | timeout 4 "$root/usr/bin/kavro-board-host" --port 0 --no-udp | head -1 || true)
case "$line" in
  listening*) echo "started: kavro-board-host ($line)" ;;
  *) echo "FAILED to start: kavro-board-host"; failed=1 ;;
esac
rm -rf "$root"

if [ "${KAVRO_PACKAGE_INSTALL:-}" = 1 ] || { [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ]; }; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get install -y -q "$(realpath "$deb")" >/dev/null
  echo "installed: $(dpkg-query -W -f='${Package} ${Version}' kavro-toolset)"
  logs=$(mktemp -d)
  export XDG_CONFIG_HOME="$logs/config"
  for p in KAVROVirtualBoard_Net KAVROApp_Net KAVROApp_COM KAVROApp_PCIE; do
    desktop=/usr/share/applications/$p.desktop
    icon=$(sed -n 's/^Icon=//p' "$desktop" 2>/dev/null || true)
    if [ -z "$icon" ] || [ ! -f "/usr/share/icons/hicolor/48x48/apps/$icon.png" ]; then
      echo "FAILED: desktop entry or icon of $p"; failed=1
    fi
    set +e
    (cd / && timeout 4 "$p" >"$logs/$p.log" 2>&1)
    rc=$?
    set -e
    if [ "$rc" -eq 124 ]; then
      echo "started from the path: $p"
    else
      echo "FAILED to start from the path: $p (exit $rc)"; cat "$logs/$p.log"; failed=1
    fi
  done
  line=$(tail -f /dev/null | timeout 4 kavro-board-host --port 0 --no-udp | head -1 || true)
  case "$line" in
    listening*) echo "started from the path: kavro-board-host" ;;
    *) echo "FAILED to start from the path: kavro-board-host"; failed=1 ;;
  esac
  "${sudo_cmd[@]}" apt-get purge -y -q kavro-toolset >/dev/null
  rm -rf "$logs"
fi
exit "$failed"
