#!/usr/bin/env bash
# Installs, builds and runs every test: the release build, then the
# AddressSanitizer+UBSan and ThreadSanitizer builds, then a short fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
export XDG_RUNTIME_DIR="$(mktemp -d)"; chmod 700 "$XDG_RUNTIME_DIR"
export XDG_CONFIG_HOME="$(mktemp -d)"
export QT_QPA_PLATFORM=offscreen
for preset in release asan tsan; do
  echo "== $preset =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j2
done
echo "== fuzz =="
tools/fuzz.sh 30
