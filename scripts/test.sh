#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test through CTest.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
# The build log is kept quiet unless the build fails.
log=$(mktemp)
if ! "$top/scripts/build.sh" sanitize >"$log" 2>&1; then
  grep -A30 -m5 'FAILED:\|error:' "$log" || tail -60 "$log"
  rm -f "$log"
  exit 1
fi
rm -f "$log"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd "$top/build-san"
ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@"
