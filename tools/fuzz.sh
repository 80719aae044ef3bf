#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer + UBSan) and runs
# every fuzz target in turn, sharing SECONDS (default 30) between them.
# Corpora grow under build/fuzz/corpus, inputs that fail land in
# build/fuzz/artifacts.
# Usage: tools/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(testfile driver_replies template_rows catalogue_import)
share=$(( seconds / ${#targets[@]} ))
[ "$share" -ge 1 ] || share=1

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
  if [ -x "build/fuzz/fuzz/${t}_seeds" ]; then "build/fuzz/fuzz/${t}_seeds" "$corpus"; fi
  echo "== fuzz $t for ${share}s =="
  "build/fuzz/fuzz/${t}_fuzz" -max_total_time="$share" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus"
done
