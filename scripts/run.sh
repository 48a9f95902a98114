#!/usr/bin/env bash
# Runs the network tester against a virtual board.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)"
echo "run: the link codec and the card engine are built; the virtual board and the network"
echo "run: tester programs are not part of this build yet, so there is nothing to start."
