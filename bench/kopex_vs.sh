#!/bin/sh
# kopex side by side with the usual Linux tools on the same trees, in one run:
#   cop of a tree of small files        vs  cp -a
#   mir /S /d, nothing changed          vs  rsync -a --delete
#   mir /S /d, 1% of the files changed  vs  rsync -a --delete
#   sho /S with name, size and time     vs  find -printf
#   cop of one large file               vs  cp -a
# Each line gives the wall time, the CPU time (user + system; the fairer
# figure on a busy machine) and the peak resident memory of both, and the
# ratios kopex / other of wall and CPU time.
#
#   bench/kopex_vs.sh <bin directory with kopex and ntnet> [dirs] [files per dir] [big MiB] [runs]
#
# Defaults: 1,000 directories of 100 files (100,000 files), a 1 GiB file and
# 3 runs of each repeatable line (copies into a fresh target, the unchanged
# mirror, sho), of which the one with the least CPU time counts: on a busy
# machine single runs differ by half. The mirror of changed files runs once.
# Small sizes for a quick look: bench/kopex_vs.sh build/bin 20 50 16
# Not part of the test suite (CI does not run it). Build kopex without
# sanitizers (Release) for meaningful figures.
set -eu
BIN=${1:?usage: $0 <bin directory> [dirs] [files per dir] [big MiB]}
DIRS=${2:-1000}
PER_DIR=${3:-100}
BIG_MB=${4:-1024}
RUNS=${5:-3}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/kopex-bench-XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM
export NT_NETWORK="$WORK/net" COMPUTERNAME=BENCHPC USERNAME=Administrator TZ=UTC LANG=C
unset PORTEL_FORMAT SERVERLIST 2>/dev/null || true
mkdir -p "$WORK/src" "$WORK/big" "$WORK/t"
"$BIN/ntnet" init --machine BENCHPC > /dev/null
"$BIN/ntnet" drive map BENCHPC S: "$WORK" > /dev/null
KOPEX="$BIN/kopex"

echo "tree: $DIRS directories of $PER_DIR files, big file: $BIG_MB MiB"
d=0
while [ "$d" -lt "$DIRS" ]; do
  mkdir "$WORK/src/d$d"
  f=0
  while [ "$f" -lt "$PER_DIR" ]; do
    printf 'file %d of directory %d\n' "$f" "$d" > "$WORK/src/d$d/f$f.txt"
    f=$((f + 1))
  done
  d=$((d + 1))
done
head -c $((BIG_MB * 1048576)) /dev/urandom > "$WORK/big/large.bin"
sync

# measure <command...>: prints "wall-seconds cpu-seconds peak-KiB" of the command.
measure() {
  /usr/bin/time -f '%e %U %S %M' -o "$WORK/time.txt" "$@" > /dev/null 2> "$WORK/err.txt" || {
    echo "failed: $*" >&2
    cat "$WORK/err.txt" >&2
    exit 1
  }
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$WORK/time.txt"
}

# best <setup command> -- <command...>: the setup (untimed), then the command,
# RUNS times; prints the measure of the run with the least CPU time.
best() {
  setup=$1
  shift 2
  result=
  i=0
  while [ "$i" -lt "$RUNS" ]; do
    eval "$setup"
    m=$(measure "$@")
    result=$(printf '%s\n%s\n' "$result" "$m" | awk 'NF == 3' | sort -k2,2n | head -n 1)
    i=$((i + 1))
  done
  echo "$result"
}

# row <what> <kopex "wall cpu KiB"> <other "wall cpu KiB"> <other name>
row() {
  set -- "$1" $2 $3 "$4"
  ratio=$(awk -v a="$2" -v b="$5" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
  cpu_ratio=$(awk -v a="$3" -v b="$6" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
  printf '%-24s kopex %6.2f s (cpu %5.2f) %7d KiB | %-17s %6.2f s (cpu %5.2f) %7d KiB | wall x%s cpu x%s\n' \
    "$1" "$2" "$3" "$4" "$8" "$5" "$6" "$7" "$ratio" "$cpu_ratio"
}

drop() { sync; }

# retire <tree>: moves an earlier copy out of the way instead of deleting it
# (deleted at the end with the rest). On ext4 without a journal, inodes
# freed less than a minute ago (six when their table is still dirty) are
# passed over one by one when new files are made: a copy that follows the
# deletion of 100,000 files paid for that scan, by a different amount each
# run, whichever tool made it.
mkdir "$WORK/old"
retire() {
  if [ -e "$1" ]; then mv "$1" "$WORK/old/$(basename "$1").$(date +%s%N)"; fi
}

K=$(best 'retire "$WORK/t/kcopy"; drop' -- "$KOPEX" cop 'S:\src\' 'S:\t\kcopy\' /y)
C=$(best 'retire "$WORK/t/ccopy"; drop' -- cp -a "$WORK/src" "$WORK/t/ccopy")
row "cop tree" "$K" "$C" "cp -a"

# Mirrors made by each tool, then synchronised with nothing to do.
rsync -a --delete "$WORK/src/" "$WORK/t/rmir/"
"$KOPEX" mir 'S:\src\' 'S:\t\kmir\' /S /d /y > /dev/null
K=$(best : -- "$KOPEX" mir 'S:\src\' 'S:\t\kmir\' /S /d /y)
R=$(best : -- rsync -a --delete "$WORK/src/" "$WORK/t/rmir/")
row "mir unchanged" "$K" "$R" "rsync -a --delete"

# 1% of the files changed (every 100th), with a later time.
n=0
total=$((DIRS * PER_DIR))
step=100
d=0
while [ "$d" -lt "$DIRS" ]; do
  f=0
  while [ "$f" -lt "$PER_DIR" ]; do
    if [ $(( (d * PER_DIR + f) % step )) -eq 0 ]; then
      printf 'changed\n' >> "$WORK/src/d$d/f$f.txt"
      touch -d '+1 hour' "$WORK/src/d$d/f$f.txt"
      n=$((n + 1))
    fi
    f=$((f + 1))
  done
  d=$((d + 1))
done
K=$(measure "$KOPEX" mir 'S:\src\' 'S:\t\kmir\' /S /d /y)
R=$(measure rsync -a --delete "$WORK/src/" "$WORK/t/rmir/")
row "mir $n of $total changed" "$K" "$R" "rsync -a --delete"

K=$(best : -- "$KOPEX" sho 'S:\src\' '~F~f ~s ~M')
F=$(best : -- find "$WORK/src" -printf '%p %s %T@\n')
row "sho /S" "$K" "$F" "find -printf"

K=$(best 'rm -rf "$WORK/t/kbig"; drop' -- "$KOPEX" cop 'S:\big\large.bin' 'S:\t\kbig\' /y)
C=$(best 'rm -f "$WORK/t/cbig.bin"; drop' -- cp -a "$WORK/big/large.bin" "$WORK/t/cbig.bin")
row "cop $BIG_MB MiB file" "$K" "$C" "cp -a"

cmp -s "$WORK/big/large.bin" "$WORK/t/kbig/large.bin" || { echo "large file differs"; exit 1; }
diff -r "$WORK/src" "$WORK/t/kmir" > /dev/null || { echo "mirror differs"; exit 1; }
