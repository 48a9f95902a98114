#!/usr/bin/env bash
# Proves that the Windows side of the tester's module-version layer builds: compiles and links
# it with Debian's MinGW cross compiler into a small program (which is not run here).
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build-mingw}"
mkdir -p "$out"
cat >"$out/probe.cpp" <<'CPP'
#include "moduleversion.h"
#include <cstdio>
int main()
{
    std::printf("%s\n", loadedModuleVersion(moduleFileName("KAVRO_Net")).c_str());
    return 0;
}
CPP
x86_64-w64-mingw32-g++-posix -std=c++17 -Wall -Wextra -Werror -O2 -Itester \
  tester/moduleversion.cpp "$out/probe.cpp" -o "$out/moduleversion-probe.exe" \
  -static -lpsapi -lversion
echo "windows build: $out/moduleversion-probe.exe"
