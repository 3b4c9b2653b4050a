#!/bin/sh
# Opening the statistics for a generated activity log of RECORDS records
# (read, count, show the chart window with its first page drawn, offscreen)
# against the log reader alone on the same file; then turning to every page
# once; then Redraw after choosing a mailbox against the count alone plus one
# frame (1/60 s) per page. The programs run in alternation, RUNS times each,
# after one untimed run each; prints the medians, their ratios and the peak
# memory. BASELINE=path/to/an/older/stats_open runs that one in the same
# alternation and compares its opening with this tree's.
# Usage: [BASELINE=...] bench/stats_compare.sh [RUNS] [RECORDS]
set -eu
RUNS=${1:-7}
RECORDS=${2:-1000000}
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$SRC/build/default
WORK=$(mktemp -d /tmp/quorvel-statsbench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT

cmake --preset default -S "$SRC" >/dev/null
cmake --build "$BUILD" -j2 --target stats_open log_read >/dev/null

LOG=$WORK/logfile.txt
"$BUILD/bench/log_read" generate "$LOG" "$RECORDS"
echo "log: $RECORDS records, $(wc -c < "$LOG") bytes"

export QT_QPA_PLATFORM=offscreen LANG=en_US.UTF-8 XDG_RUNTIME_DIR="$WORK"
"$BUILD/bench/log_read" read "$LOG" >/dev/null
"$BUILD/bench/stats_open" "$LOG" >/dev/null 2>&1
: > "$WORK/times"
: > "$WORK/peaks"
i=0
while [ "$i" -lt "$RUNS" ]; do
    reader=$("$BUILD/bench/log_read" read "$LOG")
    echo "$reader" | sed -n 's/.*, \([0-9.]*\) s, peak \([0-9]*\) MB/reader \1/p' >> "$WORK/times"
    echo "$reader" | sed -n 's/.*, peak \([0-9]*\) MB/reader_peak \1/p' >> "$WORK/peaks"
    stats=$("$BUILD/bench/stats_open" "$LOG" 2>/dev/null)
    echo "$stats" | sed -n 's/.*open \([0-9.]*\) s.*every page \([0-9.]*\) s.*redraw \([0-9.]*\) s, its count alone \([0-9.]*\) s .*/open \1\nevery_page \2\nredraw \3\ncount_alone \4/p' >> "$WORK/times"
    echo "$stats" | sed -n 's/.*| peak \([0-9]*\) MB/open_peak \1/p' >> "$WORK/peaks"
    if [ -n "${BASELINE:-}" ]; then
        baseline=$("$BASELINE" "$LOG" 2>/dev/null)
        echo "$baseline" | sed -n 's/.*open \([0-9.]*\) s.*every page \([0-9.]*\) s.*/baseline_open \1\nbaseline_every_page \2/p' >> "$WORK/times"
    fi
    i=$((i + 1))
done
echo "reader: $reader"
echo "statistics: $stats"
[ -n "${BASELINE:-}" ] && echo "baseline: $baseline"
if [ -n "${BASELINE:-}" ]; then
    python3 "$SRC/bench/medians.py" "$WORK/times" open/reader baseline_open/reader open/baseline_open
else
    python3 "$SRC/bench/medians.py" "$WORK/times" open/reader
fi
python3 - "$WORK/times" "$WORK/peaks" <<'PY'
import statistics, sys
t = {}
for path in sys.argv[1:]:
    for line in open(path):
        name, value = line.split()
        t.setdefault(name, []).append(float(value))
m = {k: statistics.median(v) for k, v in t.items()}
budget = m["count_alone"] + 8 / 60
print(f"redraw budget (count alone + 8 frames of 1/60 s) {budget:.3f} s, redraw / budget = {m['redraw'] / budget:.3f}")
print(f"peak memory: reader {m['reader_peak']:.0f} MB, statistics window {m['open_peak']:.0f} MB")
PY
