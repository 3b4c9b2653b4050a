#!/bin/sh
# Times a listing of 10,000 messages (~6 KB each) from a private Dovecot on
# loopback: the program's client, Python's poplib doing the same LIST and TOP
# sequence, and a minimal blocking-socket client as the floor. Everything runs
# pinned to one core (taskset -c 1) with the server, in alternation, RUNS times.
# Then measures the CPU the client uses while it waits 10 s for a silent server.
# Usage: bench/pop3_compare.sh [RUNS]   (run as root or as a normal user)
# OLD_LIST=path/to/pop3_list adds that build of the client ("old"), timed in
# the same alternation, with its ratio to this one.
set -eu
RUNS=${1:-5}
SRC=$(cd "$(dirname "$0")/.." && pwd)
. "$SRC/scripts/lib/dovecot.sh"
BUILD=$SRC/build/bench
WORK=$(mktemp -d /tmp/quorvel-bench-XXXXXX)
cleanup() {
    dovecot_stop "$WORK"
    [ -n "${SILENT_PID:-}" ] && kill "$SILENT_PID" 2>/dev/null || true
    sleep 0.5
    rm -rf "$WORK"
}
trap cleanup EXIT

cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_UI=OFF >/dev/null
cmake --build "$BUILD" -j2 --target pop3_list pop3_floor >/dev/null

PORT=$(free_port)
dovecot_prepare "$WORK" "$PORT"
bench_mailbox "$WORK" 10000
dovecot_start "$WORK" taskset -c 1
du -sh "$WORK/home/Maildir/new" | sed 's/^/mailbox: /'


# One warm-up listing fills the server's index and caches.
taskset -c 1 "$BUILD/bench/pop3_list" 127.0.0.1 "$PORT" joe secret >/dev/null
: > "$WORK/times"
for run in $(seq "$RUNS"); do
    for client in quorvel ${OLD_LIST:+old} poplib floor; do
        case $client in
        old) out=$(taskset -c 1 "$OLD_LIST" 127.0.0.1 "$PORT" joe secret) ;;
        quorvel) out=$(taskset -c 1 "$BUILD/bench/pop3_list" 127.0.0.1 "$PORT" joe secret) ;;
        poplib) out=$(taskset -c 1 python3 "$SRC/bench/poplib_list.py" 127.0.0.1 "$PORT" joe secret) ;;
        floor) out=$(taskset -c 1 "$BUILD/bench/pop3_floor" 127.0.0.1 "$PORT" joe secret) ;;
        esac
        echo "run $run $client: $out"
        echo "$client $(echo "$out" | sed 's/.*, \([0-9.]*\) s$/\1/')" >> "$WORK/times"
    done
done
"$SRC/bench/medians.py" "$WORK/times" quorvel/floor quorvel/poplib ${OLD_LIST:+quorvel/old}

# A server that accepts and never speaks: the client must sleep, not spin.
SILENT=$(free_port)
python3 -c "
import socket, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(('127.0.0.1', $SILENT)); s.listen(1)
c, _ = s.accept(); time.sleep(30)" &
SILENT_PID=$!
sleep 0.5
taskset -c 1 /usr/bin/time -f "silent server: %e s wall, %U s user, %S s system" \
    "$BUILD/bench/pop3_list" 127.0.0.1 "$SILENT" joe secret 10 || true
