#!/bin/sh
# Times opening the spam settings window with 10,000 rules in each of its four
# tables and a known-spammer list of 1,000,000 entries (options_open quorvel)
# against a bare window of the same toolkit showing the same texts in a plain
# QTableView and QPlainTextEdit (options_open bare), in alternation, pinned to
# one core, RUNS times; prints the medians and their ratio (aim: at most 1.5),
# and the medians of sorting the 10,000 subject rules by "Hits" and by pattern
# and of "OK" writing the four tables (aim: under 16 ms per 1,000 rows each).
# Usage: bench/options_compare.sh [RUNS]
set -eu
RUNS=${1:-5}
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$SRC/build/default
WORK=$(mktemp -d /tmp/quorvel-bench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
cmake --preset default >/dev/null
cmake --build "$BUILD" -j2 --target options_open >/dev/null
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="$WORK/xdg"; mkdir -m 700 "$XDG_RUNTIME_DIR"
export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/config" XDG_DATA_HOME="$WORK/home/data"
mkdir -p "$HOME" "$WORK/data"
"$BUILD/bench/options_open" make "$WORK/data"
: > "$WORK/times"
for run in $(seq "$RUNS"); do
    for client in bare quorvel; do
        # The program rewrites the files on OK: each run starts from the same ones.
        rm -rf "$WORK/run"; cp -r "$WORK/data" "$WORK/run"
        out=$(taskset -c 1 "$BUILD/bench/options_open" $client "$WORK/run" 2>/dev/null)
        echo "run $run $client: $out"
        echo "$client $(echo "$out" | sed 's/^open \([0-9.]*\) s.*/\1/')" >> "$WORK/times"
        if [ $client = quorvel ]; then
            echo "sort-hits $(echo "$out" | sed 's/.*hits \([0-9.]*\) s.*/\1/')" >> "$WORK/times"
            echo "sort-pattern $(echo "$out" | sed 's/.*pattern \([0-9.]*\) s.*/\1/')" >> "$WORK/times"
            echo "ok-save $(echo "$out" | sed 's/.*OK \([0-9.]*\) s.*/\1/')" >> "$WORK/times"
        fi
    done
done
"$SRC/bench/medians.py" "$WORK/times" quorvel/bare
