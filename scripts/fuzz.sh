#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while.
#   scripts/fuzz.sh [seconds per target]   (default 120)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-120}
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" fuzz >/dev/null
for f in "$top"/build-fuzz/fuzz/*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus=$top/build-fuzz/corpus/$name
  mkdir -p "$corpus"
  echo "== $name for ${secs}s"
  "$f" -max_total_time="$secs" -print_final_stats=1 "$corpus" 2>&1 | tail -n 15
done
