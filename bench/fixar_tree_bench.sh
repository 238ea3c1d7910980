#!/bin/sh
# Measures one patch step that starts a tree of 200 processes (a shell that
# runs /bin/true 200 times), once followed through the debug events and once
# with a simple wait (Debug=0). Each variant runs ROUNDS times on a throwaway
# network; the script prints the mean wall time of a run of the patch runner.
#
#   bench/fixar_tree_bench.sh <bin directory with fixar> [rounds]
set -eu
BIN=${1:?usage: $0 <bin directory> [rounds]}
ROUNDS=${2:-5}
WORK=$(mktemp -d /tmp/fixar-bench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT INT TERM
export NT_NETWORK="$WORK/net" SYSTEMROOT='C:\WINNT' COMPUTERNAME=BENCHPC USERNAME=bench TZ=UTC
mkdir -p "$WORK/net" "$WORK/p"
STEP='/bin/sh -c "i=0; while [ $i -lt 200 ]; do /bin/true; i=$((i+1)); done"'

run_variant() {  # name, extra keys
  total=0
  r=0
  while [ "$r" -lt "$ROUNDS" ]; do
    rm -f "$WORK"/p/*.FXA "$WORK/h.fxh"
    printf '[S]\r\nCommand=%s\r\nErrorlevel=0\r\n%b' "$STEP" "$2" > "$WORK/p/TREE.FXA"
    start=$(date +%s%N)
    "$BIN/fixar" "/p$WORK/p" "/h$WORK/h.fxh" "/v" > "$WORK/out.txt"
    end=$(date +%s%N)
    grep -q 'SUCCESS' "$WORK/h.fxh" || { echo "run failed:"; cat "$WORK/h.fxh"; exit 1; }
    total=$((total + (end - start) / 1000000))
    r=$((r + 1))
  done
  created=$(grep -c 'created' "$WORK/out.txt" || true)
  echo "$1: $((total / ROUNDS)) ms per run (mean of $ROUNDS), processes reported: $created"
}

run_variant "tracked  " ""
run_variant "untracked" "Debug=0\r\n"
