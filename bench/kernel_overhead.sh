#!/usr/bin/env bash
# Overhead of the kernel source beside the trace driver and strace, side by
# side in one run (medians of ROUNDS):
#  - dd if=/dev/zero of=/dev/null bs=4k count=200000 alone; while a
#    `capture --kernel` watches /dev/zero and /dev/null; while it watches
#    another device (/dev/full); under `capture --trace`; under strace;
#  - dd oflag=direct of 20,000 x 4 KiB blocks into a file on the disk that
#    holds the temporary folder, alone and while the kernel source watches
#    that disk;
#  - the lossless rate: a tight TIOCGWINSZ loop on a new pty, captured with
#    --count (record memory made ready first) and the text to /dev/null.
# Run as root on an otherwise quiet machine.
# Usage: bench/kernel_overhead.sh PATH/TO/vantrel-cli PATH/TO/kernel_ioctl_loop [ROUNDS]
set -euo pipefail
cli=${1:?usage: $0 PATH/TO/vantrel-cli PATH/TO/kernel_ioctl_loop [ROUNDS]}
loop=${2:?usage: $0 PATH/TO/vantrel-cli PATH/TO/kernel_ioctl_loop [ROUNDS]}
rounds=${3:-3}
work=$(mktemp -d)
capture_pid=""
cleanup() {
    [ -n "$capture_pid" ] && kill -INT "$capture_pid" 2>/dev/null && wait "$capture_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

dd_cmd=(dd if=/dev/zero of=/dev/null bs=4k count=200000)
block_cmd=(dd if=/dev/zero of="$work/block" bs=4k count=20000 oflag=direct)

seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Starts a kernel capture of the given options in the background and waits
# until its filters are set.
start_capture() {
    "$cli" capture --kernel --seconds 600 "$@" >/dev/null 2>"$work/capture.err" &
    capture_pid=$!
    for _ in $(seq 200); do
        grep -q "has been updated" "$work/capture.err" 2>/dev/null && return 0
        sleep 0.05
    done
    echo "the kernel capture did not start: $(cat "$work/capture.err")" >&2
    exit 2
}
stop_capture() {
    kill -INT "$capture_pid"
    wait "$capture_pid" || true
    capture_pid=""
}
# Times a command while a kernel capture with the given options runs.
seconds_under_kernel() {
    local -n cmd=$1
    shift
    start_capture "$@"
    seconds "${cmd[@]}"
    stop_capture
}

# The whole disk under the temporary folder, as a device object.
disk_object() {
    local dev sys
    dev=$(stat -c '%d' "$work")
    sys=/sys/dev/block/$((dev >> 8 & 0xfff)):$(((dev & 0xff) | (dev >> 12 & 0xfff00)))
    [ -e "$sys/partition" ] && sys=$(readlink -f "$sys/..")
    IFS=: read -r major minor <"$sys/dev"
    printf '0x%08x' $((0x80000000 | (major & 0x7ff) << 20 | (minor & 0xfffff)))
}

alone=() watched=() other=() traced=() straced=() block_alone=() block_watched=()
disk=$(disk_object)
for ((i = 0; i < rounds; ++i)); do
    alone+=("$(seconds "${dd_cmd[@]}")")
    watched+=("$(seconds_under_kernel dd_cmd --device 0x00100003 --device 0x00100005 --majors IRP_MJ_READ,IRP_MJ_WRITE)")
    other+=("$(seconds_under_kernel dd_cmd --device 0x00100007)")
    traced+=("$(seconds "$cli" capture --trace --device 0x00100003 --device 0x00100005 --majors IRP_MJ_READ,IRP_MJ_WRITE -- "${dd_cmd[@]}")")
    if command -v strace >/dev/null; then
        straced+=("$(seconds strace -f -qq --seccomp-bpf -e trace=read,write -o /dev/null "${dd_cmd[@]}")")
    fi
    block_alone+=("$(seconds "${block_cmd[@]}")")
    block_watched+=("$(seconds_under_kernel block_cmd --device "$disk")")
done
a=$(printf '%s\n' "${alone[@]}" | median)
k=$(printf '%s\n' "${watched[@]}" | median)
o=$(printf '%s\n' "${other[@]}" | median)
t=$(printf '%s\n' "${traced[@]}" | median)
ba=$(printf '%s\n' "${block_alone[@]}" | median)
bw=$(printf '%s\n' "${block_watched[@]}" | median)
slow() { echo "scale=2; $1 / $a" | bc; }
echo "dd alone:                    ${a} s (median of $rounds)"
echo "--kernel, devices watched:   ${k} s, $(slow "$k")x"
echo "--kernel, another device:    ${o} s, $(slow "$o")x"
echo "--trace:                     ${t} s, $(slow "$t")x"
if ((${#straced[@]})); then
    s=$(printf '%s\n' "${straced[@]}" | median)
    echo "strace:                      ${s} s, $(slow "$s")x"
    echo "kernel / strace slowdown:    $(echo "scale=3; ($k - $a) / ($s - $a)" | bc)"
fi
echo "kernel / trace slowdown:     $(echo "scale=3; ($k - $a) / ($t - $a)" | bc)"
echo "block dd direct, alone:      ${ba} s; disk $disk watched: ${bw} s, $(echo "scale=3; $bw / $ba" | bc)x"

# The lossless rate.
n=1000000
"$cli" capture --kernel --device 0xfffffff2 --majors IRP_MJ_DEVICE_CONTROL --comm kernel_ioctl_lo \
    --count "$n" --seconds 120 >/dev/null 2>"$work/rate.err" &
capture_pid=$!
for _ in $(seq 200); do
    grep -q "has been updated" "$work/rate.err" 2>/dev/null && break
    sleep 0.05
done
read -r done took < <("$loop" "$n")
wait "$capture_pid" || true
capture_pid=""
summary=$(grep '^captured' "$work/rate.err")
echo "pty ioctl loop: $done requests in $took s, $(echo "$done / $took" | bc) a second; $summary"
