#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer + UBSan) and runs
# each fuzz target for N seconds (default 30). Corpora grow under build/fuzz/corpus,
# inputs that fail land in build/fuzz/artifacts.
# Usage: tools/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
targets=(testfile)

cmake --preset fuzz >/dev/null
build_targets=()
for t in "${targets[@]}"; do
  build_targets+=("${t}_fuzz")
  [ -f "fuzz/${t}_seeds.cpp" ] && build_targets+=("${t}_seeds")
done
cmake --build --preset fuzz --target "${build_targets[@]}"

for t in "${targets[@]}"; do
  corpus="build/fuzz/corpus/$t"
  artifacts="build/fuzz/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"
  [ -x "build/fuzz/fuzz/${t}_seeds" ] && "build/fuzz/fuzz/${t}_seeds" "$corpus"
  echo "== fuzz $t for ${seconds}s =="
  "build/fuzz/fuzz/${t}_fuzz" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus"
done
