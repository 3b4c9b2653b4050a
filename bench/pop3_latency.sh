#!/bin/sh
# Times a listing through a latency proxy (bench/latency_proxy.py, DELAY_MS
# each way) and straight on loopback: the program's client one command at a
# time, the minimal blocking client (the floor of that design) and the
# program's client pipelined, in alternation, RUNS times each.
# Usage: bench/pop3_latency.sh DELAY_MS COUNT [SERVER PORT USER PASSWORD]
# Without SERVER, a private Dovecot holding COUNT messages is started; with
# it, COUNT is only printed (the server's mailbox is listed as it is).
# OLD_LIST=path/to/pop3_list adds that build of the client pipelined ("old",
# "loop_old"), timed in the same alternation, with its ratios to this one.
# CLIENTS="pipelined old ..." times only those (one command at a time over a
# slow link takes two round trips a message).
set -eu
DELAY=${1:?delay in ms}
COUNT=${2:?message count}
RUNS=${RUNS:-3}
SRC=$(cd "$(dirname "$0")/.." && pwd)
. "$SRC/scripts/lib/dovecot.sh"
BUILD=$SRC/build/bench
WORK=$(mktemp -d /tmp/quorvel-latency-XXXXXX)
OWN_SERVER=no
cleanup() {
    [ -n "${PROXY_PID:-}" ] && kill "$PROXY_PID" 2>/dev/null || true
    [ "$OWN_SERVER" = yes ] && dovecot_stop "$WORK"
    sleep 0.5
    rm -rf "$WORK"
}
trap cleanup EXIT

cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_UI=OFF >/dev/null
cmake --build "$BUILD" -j2 --target pop3_list pop3_floor >/dev/null

if [ -n "${3:-}" ]; then
    SERVER=$3 PORT=$4 USER=$5 PASSWORD=$6
else
    SERVER=127.0.0.1 PORT=$(free_port) USER=joe PASSWORD=secret OWN_SERVER=yes
    dovecot_prepare "$WORK" "$PORT"
    bench_mailbox "$WORK" "$COUNT"
    dovecot_start "$WORK"
fi
PROXY=$(free_port)
python3 "$SRC/bench/latency_proxy.py" "$PROXY" "$SERVER" "$PORT" "$DELAY" &
PROXY_PID=$!
# A loaded machine may take a while to start the proxy.
for _ in $(seq 50); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $PROXY)).close()" 2>/dev/null && break
    sleep 0.2
done

"$BUILD/bench/pop3_list" "$SERVER" "$PORT" "$USER" "$PASSWORD" >/dev/null  # warm-up
: > "$WORK/times"
for run in $(seq "$RUNS"); do
    for client in ${CLIENTS:-sequential floor pipelined ${OLD_LIST:+old} loop_sequential loop_pipelined ${OLD_LIST:+loop_old}}; do
        case $client in
        old) out=$("$OLD_LIST" 127.0.0.1 "$PROXY" "$USER" "$PASSWORD") ;;
        loop_old) out=$("$OLD_LIST" "$SERVER" "$PORT" "$USER" "$PASSWORD") ;;
        sequential) out=$("$BUILD/bench/pop3_list" --sequential 127.0.0.1 "$PROXY" "$USER" "$PASSWORD") ;;
        floor) out=$("$BUILD/bench/pop3_floor" 127.0.0.1 "$PROXY" "$USER" "$PASSWORD") ;;
        pipelined) out=$("$BUILD/bench/pop3_list" 127.0.0.1 "$PROXY" "$USER" "$PASSWORD") ;;
        loop_sequential) out=$("$BUILD/bench/pop3_list" --sequential "$SERVER" "$PORT" "$USER" "$PASSWORD") ;;
        loop_pipelined) out=$("$BUILD/bench/pop3_list" "$SERVER" "$PORT" "$USER" "$PASSWORD") ;;
        esac
        echo "run $run $client: $out"
        echo "$client $(echo "$out" | sed 's/.*, \([0-9.]*\) s$/\1/')" >> "$WORK/times"
    done
done
echo "delay $DELAY ms each way, $COUNT messages"
"$SRC/bench/medians.py" "$WORK/times" pipelined/floor pipelined/sequential sequential/floor \
    loop_pipelined/loop_sequential ${OLD_LIST:+pipelined/old loop_pipelined/loop_old}
