#!/bin/sh
# Times `quorvel-check --all` (the whole program: start-up, profile, listing,
# judging twice, the reasons of every message, the activity log and the
# printed listing) over 10,000 messages (~6 KB each) from a private Dovecot on
# loopback against the engine-only listing of the same mailbox by the
# program's POP3 client (pop3_list). Both run pinned to one core (taskset -c 1)
# with the server, in alternation, RUNS times, each timed whole by
# /usr/bin/time; prints the medians, their ratio (aim: within 1.1 times) and
# the median peak memory (max RSS) and CPU time (user + system) of each.
# "check" is a check with the listing cache of the run before, "full" one
# without it (its file removed first).
# Usage: bench/check_compare.sh [RUNS] [MESSAGES]   (run as root or as a normal user)
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
cmake --build "$BUILD" -j2 --target pop3_list quorvel-check demo_profile >/dev/null

PORT=$(free_port)
dovecot_prepare "$WORK" "$PORT"
bench_mailbox "$WORK" "$COUNT"
dovecot_start "$WORK" taskset -c 1
du -sh "$WORK/home/Maildir/new" | sed 's/^/mailbox: /'

# quorvel-check's program folder is its executable's folder when that is
# writable: a copy in the work folder keeps the rules and the log there, and
# its settings are a throw-away profile (the demo's rules, no DNS check).
mkdir -p "$WORK/bin"
cp "$BUILD/ui/quorvel-check" "$WORK/bin/"
export HOME="$WORK/home-user" XDG_CONFIG_HOME="$WORK/home-user/config" XDG_DATA_HOME="$WORK/home-user/data"
mkdir -p "$HOME"
# Plain POP3 like the engine-only listing: the comparison leaves TLS out.
"$BUILD/tools/demo_profile" "$WORK/bin" "$XDG_CONFIG_HOME/Velmont/Quorvel/10" "127.0.0.1:$PORT" joe secret None

# One warm-up run of each fills the server's index and caches.
taskset -c 1 "$BUILD/bench/pop3_list" 127.0.0.1 "$PORT" joe secret >/dev/null
taskset -c 1 "$WORK/bin/quorvel-check" --all >/dev/null || [ $? -le 1 ]
: > "$WORK/times"
: > "$WORK/rss"
: > "$WORK/cpu"
for run in $(seq "$RUNS"); do
    for client in engine full check; do
        case $client in
        full)
            # A check without the listing cache file: every message's TOP.
            rm -f "$WORK/bin/listing-cache-mailbox-1.dat"
            /usr/bin/time -f "%e %M %U %S" -o "$WORK/one" taskset -c 1 "$WORK/bin/quorvel-check" --all >"$WORK/listing" || [ $? -le 1 ] ;;
        engine) /usr/bin/time -f "%e %M %U %S" -o "$WORK/one" taskset -c 1 "$BUILD/bench/pop3_list" 127.0.0.1 "$PORT" joe secret >/dev/null ;;
        check) /usr/bin/time -f "%e %M %U %S" -o "$WORK/one" taskset -c 1 "$WORK/bin/quorvel-check" --all >"$WORK/listing" || [ $? -le 1 ] ;;
        esac
        read -r seconds rss user system < "$WORK/one"
        echo "run $run $client: $seconds s, max RSS $rss KB, CPU $user s user + $system s system"
        echo "$client $seconds" >> "$WORK/times"
        echo "$client $rss" >> "$WORK/rss"
        echo "$client $(echo "$user + $system" | bc)" >> "$WORK/cpu"
    done
done
echo "check listed $(grep -vc '^#' "$WORK/listing") messages"
"$SRC/bench/medians.py" "$WORK/times" check/engine check/full
"$SRC/bench/medians.py" "$WORK/rss" check/engine full/engine | sed 's/ s$/ KB/; s/^median/max RSS median/; s/^\([a-z]* \/ engine\)/max RSS \1/'
"$SRC/bench/medians.py" "$WORK/cpu" check/engine check/full | sed 's/^median/CPU median/; s/^\([a-z]* \/ [a-z]*\)/CPU \1/'
