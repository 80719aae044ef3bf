#!/usr/bin/env bash
# Overhead of the trace driver beside strace, in one run: the same dd alone,
# under strace (seccomp-bpf, read and write only, output to /dev/null) and
# under vantrel-cli capture --trace (every block printed to /dev/null).
# Usage: bench/trace_overhead.sh PATH/TO/vantrel-cli [ROUNDS]
set -euo pipefail
cli=${1:?usage: $0 PATH/TO/vantrel-cli [ROUNDS]}
rounds=${2:-3}
dd_cmd=(dd if=/dev/zero of=/dev/null bs=4k count=100000)

seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

alone=() traced=() ours=()
for ((i = 0; i < rounds; ++i)); do
    alone+=("$(seconds "${dd_cmd[@]}")")
    if command -v strace >/dev/null; then
        traced+=("$(seconds strace -f -qq --seccomp-bpf -e trace=read,write -o /dev/null "${dd_cmd[@]}")")
    fi
    ours+=("$(seconds "$cli" capture --trace --all-devices --majors IRP_MJ_READ,IRP_MJ_WRITE -- "${dd_cmd[@]}")")
done
a=$(printf '%s\n' "${alone[@]}" | median)
v=$(printf '%s\n' "${ours[@]}" | median)
echo "dd alone:        ${a} s (median of $rounds)"
echo "vantrel --trace: ${v} s, slowdown $(echo "scale=1; $v / $a" | bc)x"
if ((${#traced[@]})); then
    s=$(printf '%s\n' "${traced[@]}" | median)
    echo "strace:          ${s} s, slowdown $(echo "scale=1; $s / $a" | bc)x"
    echo "vantrel / strace slowdown: $(echo "scale=2; ($v - $a) / ($s - $a)" | bc)"
fi
