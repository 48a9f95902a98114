#!/usr/bin/env bash
# Makes a release build of the programs (no tests, no benchmarks; build-release/ unless a folder
# is given), installs it into a prefix of its own (cmake --install) and starts each program
# from there; then builds the Debian package from it, with stripped programs and libraries,
# shows its size, checks with file(1) that everything in it is stripped, unpacks it into a
# temporary root and starts each program there too (offscreen, a few seconds each): a program
# that is still running when its time is up has started; one that exits early has failed.
# On a CI machine (CI=true, as root), or with KAVRO_PACKAGE_INSTALL=1, it then installs the
# package for real with apt-get, which pulls in what it depends on, starts each program from
# the system's path the same way, checks the desktop entries and icons, and removes it again.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-release}"
bash scripts/install-deps.sh >/dev/null
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVRO_SANITIZE= \
  -DKAVRO_BUILD_TESTS=OFF -DKAVRO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build"
failed=0
export QT_QPA_PLATFORM=offscreen

# Starts a program for a few seconds: still running when its time is up means it started.
start_check() { # label program log
  set +e
  (cd / && timeout 4 "$2" >"$3" 2>&1)
  local rc=$?
  set -e
  if [ "$rc" -eq 124 ]; then
    echo "started: $1"
  else
    echo "FAILED to start: $1 (exit $rc)"; cat "$3"; failed=1
  fi
}

# Starts the four programs and the board host from a bin folder ("" for the path).
start_all() { # label bindir logdir
  local p bin=${2:+$2/}
  for p in KAVROVirtualBoard_Net KAVROApp_Net KAVROApp_COM KAVROApp_PCIE; do
    XDG_CONFIG_HOME="$3/config" start_check "$p ($1)" "$bin$p" "$3/$p.log"
  done
  local line
  line=$(tail -f /dev/null | timeout 4 "${bin}kavro-board-host" --port 0 --no-udp | head -1 || true)
  case "$line" in
    listening*) echo "started: kavro-board-host ($1)" ;;
    *) echo "FAILED to start: kavro-board-host ($1)"; failed=1 ;;
  esac
}

# cmake --install into a prefix of its own: programs, catalogues and libraries, run from there.
prefix=$(mktemp -d)
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/KAVROVirtualBoard_CN.qm bin/KAVROVirtualBoard_en.qm bin/KAVROApp_Net_zh_CN.qm \
         bin/KAVROApp_COM_zh_CN.qm bin/KAVROApp_PCIE_zh_CN.qm lib/libKAVRO_Net.so.1 \
         lib/libKAVRO.so.1 lib/libKAVRO_PCIE.so.1; do
  [ -e "$prefix/$f" ] || { echo "FAILED: cmake --install left out $f"; failed=1; }
done
for p in KAVROVirtualBoard_Net KAVROApp_Net KAVROApp_COM KAVROApp_PCIE; do
  if ldd "$prefix/bin/$p" | grep -q "libKAVRO.*$(realpath "$build")"; then
    echo "FAILED: $p takes its board library from the build tree"; failed=1
  fi
done
start_all "install prefix" "$prefix/bin" "$prefix"
rm -rf "$prefix"

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/kavro-toolset_*.deb | head -1)
echo "package: $deb, $(du -k "$deb" | cut -f1) KB"
root=$(mktemp -d)
dpkg-deb -x "$deb" "$root"
for f in "$root"/usr/bin/* "$root"/usr/lib/*/libKAVRO*.so* "$root"/usr/lib/libKAVRO*.so*; do
  [ -f "$f" ] && [ ! -L "$f" ] || continue
  case "$f" in *.qm) continue ;; esac
  desc=$(file -b "$f")
  case "$desc" in
    *", stripped"*) echo "stripped: ${f#"$root"} ($(du -k "$f" | cut -f1) KB)" ;;
    *) echo "FAILED: not stripped: ${f#"$root"}: $desc"; failed=1 ;;
  esac
done
start_all "unpacked package" "$root/usr/bin" "$root"
rm -rf "$root"

if [ "${KAVRO_PACKAGE_INSTALL:-}" = 1 ] || { [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ]; }; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get install -y -q "$(realpath "$deb")" >/dev/null
  echo "installed: $(dpkg-query -W -f='${Package} ${Version}' kavro-toolset)"
  for p in KAVROVirtualBoard_Net KAVROApp_Net KAVROApp_COM KAVROApp_PCIE; do
    icon=$(sed -n 's/^Icon=//p' "/usr/share/applications/$p.desktop" 2>/dev/null || true)
    if [ -z "$icon" ] || [ ! -f "/usr/share/icons/hicolor/48x48/apps/$icon.png" ]; then
      echo "FAILED: desktop entry or icon of $p"; failed=1
    fi
  done
  logs=$(mktemp -d)
  start_all "installed, from the path" "" "$logs"
  "${sudo_cmd[@]}" apt-get purge -y -q kavro-toolset >/dev/null
  rm -rf "$logs"
fi
exit "$failed"
