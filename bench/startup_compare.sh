#!/usr/bin/env bash
# Start-up to the shown main window: Quorvel against a bare window of the same
# toolkit, alternating in one run on one virtual display: from launch (dynamic
# loading included) until the window is exposed. Prints the medians and their
# ratio. Usage: bench/startup_compare.sh [runs]   (default 21)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-21}
build=build/default
cmake --build --preset default --target startup_quorvel startup_bare_window >/dev/null

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_RUNTIME_DIR="$scratch/runtime"; mkdir -m 700 "$XDG_RUNTIME_DIR"

time_ms() {  # milliseconds from launch to the shown window, as the program prints them
  "$1" "$(date +%s%N)" 2>/dev/null | tail -1
}

# One profile, as a user has: the first start (which makes the settings) is a
# warm-up and not counted.
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/config" XDG_DATA_HOME="$scratch/home/data"
mkdir -p "$HOME"
time_ms "$build/bench/startup_quorvel" >/dev/null
time_ms "$build/bench/startup_bare_window" >/dev/null

quorvel=() bare=()
for i in $(seq "$runs"); do
  bare+=("$(time_ms "$build/bench/startup_bare_window")")
  quorvel+=("$(time_ms "$build/bench/startup_quorvel")")
done

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
mb=$(median "${bare[@]}"); mq=$(median "${quorvel[@]}")
echo "runs: $runs"
echo "bare window median: ${mb} ms"
echo "quorvel median:     ${mq} ms"
awk -v q="$mq" -v b="$mb" 'BEGIN {printf "ratio quorvel/bare: %.2f\n", q/b}'
