#!/usr/bin/env bash
# Configures and builds into a build directory.
#   scripts/build.sh [release|sanitize|fuzz|bench]   (default: release)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-release}

case "$kind" in
  release)  dir=$top/build;      flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  sanitize) dir=$top/build-san;  flags=(-DCMAKE_BUILD_TYPE=Debug -DNT_SANITIZE=ON) ;;
  fuzz)     dir=$top/build-fuzz; flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DNT_FUZZ=ON
                                        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  bench)    dir=$top/build-bench; flags=(-DCMAKE_BUILD_TYPE=Release -DNT_BENCH=ON) ;;
  *) echo "usage: $0 [release|sanitize|fuzz|bench]" >&2; exit 2 ;;
esac

cmake -S "$top" -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"
echo "$dir"
