#!/usr/bin/env bash
# Drop benchmark: how often the simulated driver has to drop records because
# the capture side fell behind. A benchmark run by hand, not a test: its
# figures depend on the machine, its load and the scheduling the threads get.
#
#   bench/drop_bench.sh PATH/TO/vantrel-cli [RUNS]
#
# Scenario 1: `capture --all-devices --count 100000 --rate 200000`, RUNS times
#             (default 10), on the machine as it is.
# Scenario 2: the same at --rate 50000, RUNS times, while a busy loop that this
#             script starts (and stops at the end) keeps one core busy.
#
# For each run it prints the "driver dropped D" of the capture's summary; then
# one summary line per scenario (runs with 0 dropped out of RUNS) and the
# scheduling each thread reported on the debugger output (stderr), e.g.
# "simulated driver: real-time scheduling (SCHED_FIFO 10)". Real-time
# scheduling needs root, CAP_SYS_NICE or a non-zero RLIMIT_RTPRIO (ulimit -r).
# Run it on an otherwise quiet machine; the captured text goes to /dev/null.
set -u

if [ $# -lt 1 ] || [ ! -x "$1" ]; then
    echo "usage: $0 PATH/TO/vantrel-cli [RUNS]" >&2
    exit 2
fi
cli="$1"
runs="${2:-10}"
work="$(mktemp -d)"
busy=""
cleanup() {
    if [ -n "$busy" ]; then kill "$busy" 2>/dev/null; wait "$busy" 2>/dev/null; fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# scenario NAME RATE: runs the capture RUNS times and prints the drops.
scenario() {
    local name="$1" rate="$2" clean=0 i dropped
    echo "== $name: capture --all-devices --count 100000 --rate $rate, $runs runs"
    for i in $(seq 1 "$runs"); do
        "$cli" capture --all-devices --count 100000 --rate "$rate" \
            >/dev/null 2>"$work/stderr.txt"
        local rc=$?
        dropped="$(grep -o 'driver dropped [0-9]*' "$work/stderr.txt" | tail -n 1)"
        if [ -z "$dropped" ]; then
            echo "run $i: no summary (exit $rc)"
            continue
        fi
        echo "run $i: $dropped"
        [ "${dropped##* }" = "0" ] && clean=$((clean + 1))
        grep -E ': (real-time|raised|ordinary) ' "$work/stderr.txt" >>"$work/scheduling.txt"
    done
    echo "$name: $clean of $runs runs dropped nothing" >>"$work/summary.txt"
}

scenario "machine as it is, 200000/s" 200000

# One core kept busy by another process.
( while :; do :; done ) &
busy=$!
scenario "one core busy, 50000/s" 50000
kill "$busy" 2>/dev/null
wait "$busy" 2>/dev/null
busy=""

echo "== summary"
cat "$work/summary.txt"
echo "== scheduling the threads reported"
sort "$work/scheduling.txt" 2>/dev/null | uniq -c
