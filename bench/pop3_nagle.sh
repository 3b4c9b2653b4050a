#!/bin/sh
# Lists COUNT messages from a server that writes as popa3d and solid-pop3d
# do (bench/nagle_server.py: no PIPELINING, each answer's status line and
# text in two writes with Nagle's algorithm on), on loopback: the program's
# client and Python's poplib doing the same LIST and TOP sequence, in
# alternation, RUNS times each. A client that leaves its acknowledgements
# delayed waits some 40 ms a message.
# Usage: bench/pop3_nagle.sh [COUNT]   (RUNS, default 3)
# OLD_LIST=path/to/pop3_list adds that build of the client ("old").
set -eu
COUNT=${1:-1000}
RUNS=${RUNS:-3}
SRC=$(cd "$(dirname "$0")/.." && pwd)
. "$SRC/scripts/lib/dovecot.sh"
BUILD=${BUILD:-$SRC/build/default}
WORK=$(mktemp -d /tmp/quorvel-nagle-XXXXXX)
cleanup() {
    [ -n "${SERVER_PID:-}" ] && kill "$SERVER_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

[ -x "$BUILD/bench/pop3_list" ] || cmake --build "$BUILD" -j2 --target pop3_list >/dev/null
PORT=$(free_port)
python3 "$SRC/bench/nagle_server.py" "$PORT" "$COUNT" &
SERVER_PID=$!
for _ in $(seq 50); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $PORT)).close()" 2>/dev/null && break
    sleep 0.2
done

: > "$WORK/times"
for run in $(seq "$RUNS"); do
    for client in quorvel ${OLD_LIST:+old} poplib; do
        case $client in
        quorvel) out=$("$BUILD/bench/pop3_list" 127.0.0.1 "$PORT" joe secret) ;;
        old) out=$("$OLD_LIST" 127.0.0.1 "$PORT" joe secret) ;;
        poplib) out=$(python3 "$SRC/bench/poplib_list.py" 127.0.0.1 "$PORT" joe secret) ;;
        esac
        echo "run $run $client: $out"
        echo "$client $(echo "$out" | sed 's/.*, \([0-9.]*\) s$/\1/')" >> "$WORK/times"
    done
done
echo "$COUNT messages, no PIPELINING, status line and answer in two writes with Nagle on"
"$SRC/bench/medians.py" "$WORK/times" quorvel/poplib ${OLD_LIST:+quorvel/old}
