#!/bin/sh
# Reads an activity log of RECORDS records (about 100 MB for a million,
# written with the program's own record texts) with the statistics reader,
# and counts its mail-check lines with grep as the floor: the least any reader
# of the file must do. The two run in alternation, RUNS times each, after one
# untimed run each that puts the file in the page cache; prints the medians
# and their ratio.
# Usage: bench/log_compare.sh [RUNS] [RECORDS]
set -eu
RUNS=${1:-7}
RECORDS=${2:-1000000}
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$SRC/build/bench
WORK=$(mktemp -d /tmp/quorvel-logbench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT

cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_UI=OFF >/dev/null
cmake --build "$BUILD" -j2 --target log_read >/dev/null

LOG=$WORK/logfile.txt
"$BUILD/bench/log_read" generate "$LOG" "$RECORDS"
echo "log: $RECORDS records, $(wc -c < "$LOG") bytes, $(wc -l < "$LOG") lines"

now() { date +%s%N; }
# Seconds taken by a command, its output kept for the last run.
timed() {
    start=$(now)
    "$@" > "$WORK/out"
    end=$(now)
    echo "$start $end" | awk '{ printf "%.4f\n", ($2 - $1) / 1e9 }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

timed "$BUILD/bench/log_read" read "$LOG" >/dev/null
timed grep -c "MAIL CHECK" "$LOG" >/dev/null
: > "$WORK/reader"
: > "$WORK/grep"
i=0
while [ "$i" -lt "$RUNS" ]; do
    timed "$BUILD/bench/log_read" read "$LOG" >> "$WORK/reader"
    reader_out=$(cat "$WORK/out")
    timed grep -c "MAIL CHECK" "$LOG" >> "$WORK/grep"
    grep_out=$(cat "$WORK/out")
    i=$((i + 1))
done
echo "reader: $reader_out"
echo "grep -c \"MAIL CHECK\": $grep_out lines"
echo "reader runs (s): $(tr '\n' ' ' < "$WORK/reader")"
echo "grep runs (s):   $(tr '\n' ' ' < "$WORK/grep")"
R=$(median < "$WORK/reader")
G=$(median < "$WORK/grep")
echo "median reader $R s, median grep $G s, ratio $(echo "$R $G" | awk '{ printf "%.2f", $1 / $2 }')"
