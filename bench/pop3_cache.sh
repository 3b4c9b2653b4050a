#!/bin/sh
# A check that remembers listed messages, through the latency relay (DELAY_MS
# each way) and straight on loopback: the first check of a COUNT-message
# mailbox (empty cache), a second check of it unchanged, and a second check
# after NEW messages arrived, RUNS times each, with the octets the server sent
# and the client's writes (each a round trip unless it went ahead of replies).
# Usage: bench/pop3_cache.sh DELAY_MS COUNT [NEW]
# INDEXED=yes: before the check with new messages, an untimed listing without
# the cache lets the server take them in (the first session after mail
# arrives in a maildir pays for the server moving and indexing it, some 30 to
# 140 ms on loopback here, whichever client it is; a server that indexes at
# delivery does not).
# OLD_LIST=path/to/pop3_list adds that build of the client through the relay
# ("old_first", ...), in the same alternation.
# HEADER_OCTETS (default 1200): the size of each message's header block. A
# first check fetches the header lines of every message, a second one mostly
# the list of unique ids, so the ratio of their octets stands or falls with
# the header size: mail as delivered carries about 1.2 KB of header lines
# (trace lines of each relay, signatures), not the few lines of a test message.
set -eu
DELAY=${1:?delay in ms}
COUNT=${2:?message count}
NEW=${3:-10}
RUNS=${RUNS:-3}
HEADER_OCTETS=${HEADER_OCTETS:-1200}
SRC=$(cd "$(dirname "$0")/.." && pwd)
. "$SRC/scripts/lib/dovecot.sh"
# BUILD: a build tree that already holds bench/pop3_list (default: a Release build made here).
BUILD=${BUILD:-}
WORK=$(mktemp -d /tmp/quorvel-cache-XXXXXX)
cleanup() {
    [ -n "${PROXY_PID:-}" ] && kill "$PROXY_PID" 2>/dev/null || true
    dovecot_stop "$WORK"
    sleep 0.5
    rm -rf "$WORK"
}
trap cleanup EXIT

if [ -z "$BUILD" ]; then
    BUILD=$SRC/build/bench
    cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_UI=OFF >/dev/null
    cmake --build "$BUILD" -j2 --target pop3_list >/dev/null
fi

PORT=$(free_port)
dovecot_prepare "$WORK" "$PORT"
bench_mailbox "$WORK" "$COUNT" "$HEADER_OCTETS"
dovecot_start "$WORK"
PROXY=$(free_port)
python3 "$SRC/bench/latency_proxy.py" "$PROXY" 127.0.0.1 "$PORT" "$DELAY" "$WORK/octets" &
PROXY_PID=$!
sleep 0.5

# The mailbox holds COUNT messages for the first two checks and COUNT+NEW for
# the third: the NEW are kept aside and moved in, then out again.
mkdir "$WORK/aside"
python3 - "$WORK/aside" "$COUNT" "$NEW" "$HEADER_OCTETS" <<'PY'
import sys
folder, count, new, header_octets = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
for n in range(count + 1, count + new + 1):
    head = f"From: sender{n}@example.test\r\nSubject: New message {n}\r\nMessage-ID: <new{n}@example.test>\r\n"
    hop = 0
    while len(head) < header_octets:
        hop += 1
        head += f"Received: from relay{hop}.example.test\r\n\tby mx{hop}.example.test; Thu, 10 Dec 2026 16:48:30 +0000\r\n"
    with open(f"{folder}/new-{n}", "w", newline="") as f:
        f.write(head + "\r\nBody\r\n")
PY
MAILDIR=$WORK/home/Maildir

# One listing through the relay or on loopback; prints its seconds, and its
# octets for the relay.
list() {
    route=$1 cache=$2
    client=$BUILD/bench/pop3_list
    if [ "$route" = loop ]; then port=$PORT; else port=$PROXY; fi
    [ "$route" = old ] && client=$OLD_LIST
    : > "$WORK/octets"
    out=$("$client" --cache "$cache" 127.0.0.1 "$port" joe secret)
    sleep 0.2
    echo "$out" | sed 's/.*, \([0-9.]*\) s$/\1/'
}

"$BUILD/bench/pop3_list" 127.0.0.1 "$PORT" joe secret >/dev/null  # warm-up
: > "$WORK/times"
: > "$WORK/sizes"
for run in $(seq "$RUNS"); do
    for route in relay loop ${OLD_LIST:+old}; do
        cache=$WORK/cache-$route
        rm -f "$cache"
        t=$(list "$route" "$cache"); echo "${route}_first $t" >> "$WORK/times"
        [ "$route" != loop ] && echo "${route}_first $(cat "$WORK/octets")" >> "$WORK/sizes"
        t=$(list "$route" "$cache"); echo "${route}_second $t" >> "$WORK/times"
        [ "$route" != loop ] && echo "${route}_second $(cat "$WORK/octets")" >> "$WORK/sizes"
        mv "$WORK"/aside/new-* "$MAILDIR/new/"
        [ "${INDEXED:-no}" = yes ] && "$BUILD/bench/pop3_list" 127.0.0.1 "$PORT" joe secret >/dev/null
        t=$(list "$route" "$cache"); echo "${route}_new $t" >> "$WORK/times"
        [ "$route" != loop ] && echo "${route}_new $(cat "$WORK/octets")" >> "$WORK/sizes"
        # Dovecot moved them to cur/ and renamed them: take them out by name.
        for f in "$MAILDIR"/cur/new-* "$MAILDIR"/new/new-*; do
            [ -e "$f" ] && mv "$f" "$WORK/aside/$(basename "$f" | sed 's/:.*//')"
        done
        echo "run $run $route done"
    done
done
echo "delay $DELAY ms each way, $COUNT messages with $HEADER_OCTETS-octet headers, then $NEW new (indexed first: ${INDEXED:-no})"
echo "octets received and client writes through the relay (first, second, with new):"
sort "$WORK/sizes" | uniq -c
"$SRC/bench/medians.py" "$WORK/times" relay_second/relay_first relay_new/relay_first \
    loop_second/loop_first loop_new/loop_first ${OLD_LIST:+old_second/old_first old_new/old_first \
    relay_first/old_first relay_second/old_second relay_new/old_new}
python3 - "$WORK/sizes" "$WORK/times" "$DELAY" <<'PY'
import statistics, sys
octets, writes = {}, {}
for line in open(sys.argv[1]):
    name, received, sent = line.split()
    octets.setdefault(name, []).append(int(received))
    writes.setdefault(name, []).append(int(sent))
for name in octets:
    print(f"median {name}: {statistics.median(octets[name]):.0f} octets received, "
          f"{statistics.median(writes[name]):.0f} client writes")
for route in ("relay", "old"):
    first = octets.get(f"{route}_first")
    if not first:
        continue
    for check in ("second", "new"):
        if f"{route}_{check}" in octets:
            ratio = statistics.median(octets[f"{route}_{check}"]) / statistics.median(first)
            print(f"octets {route}_{check} / {route}_first = {ratio:.4f}")
# The least a second check can take over the relay: each of its writes waits
# for the reply before it (nothing to send ahead of an answer not yet read),
# plus half a round trip for the greeting (the connect itself is to the relay,
# on loopback). Against what the aim allows of it.
times = {}
for line in open(sys.argv[2]):
    name, seconds = line.split()
    times.setdefault(name, []).append(float(seconds))
rtt = 2 * float(sys.argv[3]) / 1000
if "relay_second" in writes and "relay_first" in times:
    trips = statistics.median(writes["relay_second"]) + 0.5
    first = statistics.median(times["relay_first"])
    print(f"floor of relay_second: {trips:.1f} round trips = {trips * rtt:.3f} s = "
          f"{trips * rtt / first:.3f} x relay_first ({first:.3f} s); 0.05 x relay_first = {0.05 * first:.3f} s")
PY
