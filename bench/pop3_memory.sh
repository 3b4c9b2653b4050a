#!/bin/sh
# Peak resident memory of a listing of 10,000 messages (~6 KB each) from a
# private Dovecot on loopback, for the program's client at this tree and at an
# earlier revision (default: main), run in alternation RUNS times. The peak
# holds the records of the whole listing, so it shows what a record costs.
# Usage: bench/pop3_memory.sh [RUNS] [BASE_REVISION]
set -eu
RUNS=${1:-5}
BASE=${2:-main}
SRC=$(cd "$(dirname "$0")/.." && pwd)
. "$SRC/scripts/lib/dovecot.sh"
BUILD=$SRC/build/bench
WORK=$(mktemp -d /tmp/quorvel-memory-XXXXXX)
cleanup() {
    dovecot_stop "$WORK"
    sleep 0.5
    rm -rf "$WORK"
}
trap cleanup EXIT

cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_UI=OFF >/dev/null
cmake --build "$BUILD" -j2 --target pop3_list >/dev/null
mkdir "$WORK/base"
git -C "$SRC" archive "$BASE" | tar -x -C "$WORK/base"
cmake -S "$WORK/base" -B "$WORK/base-build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_UI=OFF >/dev/null
cmake --build "$WORK/base-build" -j2 --target pop3_list >/dev/null

PORT=$(free_port)
dovecot_prepare "$WORK" "$PORT"
bench_mailbox "$WORK" 10000
dovecot_start "$WORK"
du -sh "$WORK/home/Maildir/new" | sed 's/^/mailbox: /'

# One warm-up listing fills the server's index and caches.
"$BUILD/bench/pop3_list" 127.0.0.1 "$PORT" joe secret >/dev/null
: > "$WORK/peaks"
for run in $(seq "$RUNS"); do
    for client in before after; do
        case $client in
        before) program=$WORK/base-build/bench/pop3_list ;;
        after) program=$BUILD/bench/pop3_list ;;
        esac
        /usr/bin/time -f "%M" -o "$WORK/kb" "$program" 127.0.0.1 "$PORT" joe secret > "$WORK/out"
        echo "run $run $client: $(cat "$WORK/out"), peak $(cat "$WORK/kb") KiB"
        echo "$client $(cat "$WORK/kb")" >> "$WORK/peaks"
    done
done
python3 - "$WORK/peaks" <<'PY'
import statistics, sys
peaks = {}
for line in open(sys.argv[1]):
    name, kb = line.split()
    peaks.setdefault(name, []).append(int(kb))
before, after = (statistics.median(peaks[n]) for n in ("before", "after"))
print(f"median peak RSS: before {before / 1024:.1f} MiB, after {after / 1024:.1f} MiB, after/before {after / before:.3f}")
PY
