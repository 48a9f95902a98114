#!/usr/bin/env bash
# Renders the card panel on a stand-in card under Xvfb (or the current display): a type 7 card
# with a few lamps lit and a type 2 card, in English and Chinese.
#   bash scripts/panel-screenshots.sh [out-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-screenshots}"
bin=build/bin
[ -x "$bin/kavro-panel-preview" ] || { echo "build first: bash scripts/test.sh" >&2; exit 1; }
mkdir -p "$out"
source scripts/x11.sh
ensure_display
trap '[ -n "${XVFB_PID:-}" ] && kill $XVFB_PID 2>/dev/null || true' EXIT
export XDG_CONFIG_HOME
XDG_CONFIG_HOME=$(mktemp -d)

for lang in en zh; do
  flag=""
  [ "$lang" = zh ] && flag="--zh"
  "$bin/kavro-panel-preview" --type 7 --inputs 80000021 --outputs 00001008 $flag \
    --save "$out/panel-type7-$lang.png"
  "$bin/kavro-panel-preview" --type 2 --version 10 --inputs 5 --outputs 2 $flag \
    --save "$out/panel-type2-$lang.png"
done
ls "$out"/panel-*.png
