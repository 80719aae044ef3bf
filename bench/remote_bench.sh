#!/usr/bin/env bash
# Remote benchmark on loopback, side by side with the same capture done
# locally. A benchmark run by hand, not a test: its figures depend on the
# machine and its load.
#
#   bench/remote_bench.sh PATH/TO/vantrel-cli [RUNS]
#
# 1. `capture --all-devices --count 100000` of the simulated driver at
#    200,000 records/s, RUNS times (default 10), locally and through
#    `serve` on 127.0.0.1: runs with nothing dropped (by the driver or by the
#    server's backlog) out of RUNS.
# 2. The largest lossless rate: 50k, 100k, 200k, 400k, 800k records/s, one
#    run of 2 s each, locally and remotely; the last rate with 0 dropped.
# The captured text goes to /dev/null.
set -u

if [ $# -lt 1 ] || [ ! -x "$1" ]; then
    echo "usage: $0 PATH/TO/vantrel-cli [RUNS]" >&2
    exit 2
fi
cli="$1"
runs="${2:-10}"
work="$(mktemp -d)"
server=""
cleanup() {
    if [ -n "$server" ]; then kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; fi
    rm -rf "$work"
}
trap cleanup EXIT
"$cli" serve --make-cert "$work/c" >/dev/null || exit 2

# Starts serve at a rate; sets $server and $port.
start_server() {
    "$cli" serve --listen 127.0.0.1:0 --cert "$work/c/server.pem" --key "$work/c/server-key.pem" \
        --token-file "$work/c/token" --rate "$1" 2>"$work/serve.log" &
    server=$!
    port=""
    for _ in $(seq 200); do
        port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/serve.log")
        [ -n "$port" ] && break
        sleep 0.05
    done
}
# Stops serve; prints what it dropped (source + backlog).
stop_server() {
    kill -TERM "$server"; wait "$server" 2>/dev/null; server=""
    sed -n 's/.*dropped by the source \([0-9]*\), by the full backlog \([0-9]*\).*/\1 \2/p' \
        "$work/serve.log" | awk '{print $1 + $2}'
}
# One capture; prints the records' drop count.
local_run() {
    "$cli" capture --all-devices --rate "$1" $2 >/dev/null 2>"$work/local.err"
    sed -n 's/.*driver dropped \([0-9]*\).*/\1/p' "$work/local.err"
}
remote_run() {
    start_server "$1"
    "$cli" capture --connect "127.0.0.1:$port" --ca "$work/c/ca.pem" --token-file "$work/c/token" \
        --all-devices $2 >/dev/null 2>"$work/remote.err"
    local client
    client=$(sed -n 's/.*driver dropped \([0-9]*\).*/\1/p' "$work/remote.err")
    echo $(( $(stop_server) + ${client:-0} ))
}

for where in local remote; do
    clean=0
    for i in $(seq "$runs"); do
        d=$(${where}_run 200000 "--count 100000")
        echo "$where 200000/s run $i: dropped ${d:-?}"
        [ "${d:-1}" = 0 ] && clean=$((clean + 1))
    done
    echo "== $where at 200000/s: $clean of $runs runs with 0 dropped"
done
for where in local remote; do
    best=0
    for rate in 50000 100000 200000 400000 800000; do
        d=$(${where}_run "$rate" "--seconds 2")
        echo "$where $rate/s for 2 s: dropped ${d:-?}"
        [ "${d:-1}" = 0 ] && best=$rate
    done
    echo "== $where: largest lossless rate tried $best/s"
done
