#!/usr/bin/env bash
# Installs, builds and runs every test: the layer and format checks, the
# release build and clang-tidy over it, the AddressSanitizer+UBSan and
# ThreadSanitizer builds, the Windows build of the layers below Qt with its
# tests under Wine, the fuzz run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/steps.sh
export XDG_RUNTIME_DIR="$(mktemp -d)"; chmod 700 "$XDG_RUNTIME_DIR"
export XDG_CONFIG_HOME="$(mktemp -d)"
export QT_QPA_PLATFORM=offscreen
export TSAN_OPTIONS="suppressions=$(pwd)/tests/tsan.supp"
export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0"

step "Installing the Debian packages" tools/setup.sh
step "Checking the layers" tools/check-layers
step "Checking the formatting" tools/check-format
for preset in release asan tsan; do
  step "Configuring the $preset build" cmake --preset "$preset"
  step "Building ($preset)" cmake --build --preset "$preset"
  step "Running the tests ($preset)" ctest --preset "$preset" -j2
  # clang-tidy reads the release build's compile commands and moc output.
  if [ "$preset" = release ]; then
    step "Static analysis (clang-tidy)" tools/tidy.sh
  fi
done
step "Configuring the Windows build (mingw-w64 i686)" cmake --preset windows
step "Building (windows)" cmake --build --preset windows
step "Running the Windows tests under Wine" ctest --preset windows -j2
step "Fuzzing every target" tools/fuzz.sh 30
echo "All checks passed. The full output is in $VANTREL_LOG"
