#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with.
# Idempotent and non-interactive; works as root or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-dev
  qtbase5-dev qttools5-dev qttools5-dev-tools libqt5serialport5-dev
  libasio-dev libcli11-dev libyaml-cpp-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev libmodbus-dev
  xvfb xdotool x11-utils imagemagick fonts-wqy-microhei socat
  g++-mingw-w64-x86-64 file dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
