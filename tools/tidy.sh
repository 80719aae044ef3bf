#!/usr/bin/env bash
# clang-tidy over every source of src/, tests/ and bench/ with the checks of
# .clang-tidy, on the release build's compile commands. Fails on a finding.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/release/compile_commands.json ] || cmake --preset release >/dev/null
files=$(git ls-files 'src/*.cpp' 'tests/*.cpp' 'bench/*.cpp')
# Files are checked two at a time; each prints its findings.
printf '%s\n' $files | xargs -P 2 -n 4 clang-tidy -p build/release --quiet 2>/dev/null
