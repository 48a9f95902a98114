#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root and starts each installed
# program there (offscreen, a few seconds each): a program that is still running when its time
# is up has started; one that exits early has failed.
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
exit "$failed"
