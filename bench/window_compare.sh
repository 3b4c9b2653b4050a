#!/bin/sh
# Times a check of 10,000 messages (~6 KB each) from a private Dovecot on
# loopback in the real main window (offscreen: the whole program, its list
# model, judging and drawing; window_list) against the engine-only listing of
# the same mailbox by the program's POP3 client (pop3_list). Both run pinned to
# one core (taskset -c 1) with the server, in alternation, RUNS times; prints
# the medians and their ratio (the window should stay within 1.3 times).
# Usage: bench/window_compare.sh [RUNS] [MESSAGES]   (run as root or as a normal user)
set -eu
RUNS=${1:-5}
COUNT=${2:-10000}
SRC=$(cd "$(dirname "$0")/.." && pwd)
. "$SRC/scripts/lib/dovecot.sh"
BUILD=$SRC/build/default
WORK=$(mktemp -d /tmp/quorvel-bench-XXXXXX)
cleanup() {
    dovecot_stop "$WORK"
    sleep 0.5
    rm -rf "$WORK"
}
trap cleanup EXIT

cmake --preset default >/dev/null
cmake --build "$BUILD" -j2 --target pop3_list window_list >/dev/null

PORT=$(free_port)
dovecot_prepare "$WORK" "$PORT"
bench_mailbox "$WORK" "$COUNT"
dovecot_start "$WORK" taskset -c 1
du -sh "$WORK/home/Maildir/new" | sed 's/^/mailbox: /'

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="$WORK/xdg"; mkdir -m 700 "$XDG_RUNTIME_DIR"
# The window program's settings and program folder are its own temporary ones;
# HOME keeps anything else it might touch out of the user's.
export HOME="$WORK/home-user" XDG_CONFIG_HOME="$WORK/home-user/config" XDG_DATA_HOME="$WORK/home-user/data"
mkdir -p "$HOME"

# One warm-up listing of each fills the server's index and caches.
taskset -c 1 "$BUILD/bench/pop3_list" 127.0.0.1 "$PORT" joe secret >/dev/null
taskset -c 1 "$BUILD/bench/window_list" 127.0.0.1 "$PORT" joe secret >/dev/null 2>&1
: > "$WORK/times"
for run in $(seq "$RUNS"); do
    for client in engine window; do
        case $client in
        engine) out=$(taskset -c 1 "$BUILD/bench/pop3_list" 127.0.0.1 "$PORT" joe secret) ;;
        window) out=$(taskset -c 1 "$BUILD/bench/window_list" 127.0.0.1 "$PORT" joe secret 2>/dev/null) ;;
        esac
        echo "run $run $client: $out"
        echo "$client $(echo "$out" | sed 's/.*, \([0-9.]*\) s$/\1/')" >> "$WORK/times"
    done
done
"$SRC/bench/medians.py" "$WORK/times" window/engine
