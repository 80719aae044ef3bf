#!/usr/bin/env bash
# A live capture prints exactly the bytes that dumping its saved test prints.
set -euo pipefail
cli="$1"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
cd "$dir"
# A fast driver keeps the test short; the command line stays the documented one.
export VANTREL_SIM_RATE=200000
"$cli" capture --all-devices --count 20000 --save t.vtl > live.txt 2> summary.txt
"$cli" dump t.vtl > dumped.txt
cmp live.txt dumped.txt
"$cli" records t.vtl > records.txt
n=$(sed -n '1s/.*count=//p' records.txt)
grep -q "^captured $n records, driver dropped [0-9][0-9]*\$" summary.txt
[ "$n" -ge 20000 ]
# Every record is in the text: one separator line per block.
[ "$(grep -c -- '-------------------------------------------------' live.txt)" -eq "$n" ]
