#!/usr/bin/env bash
# Installs, builds and runs Vantrel's main job on its built-in defaults:
# the simulated driver and the sample catalogue.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
build/release/src/cli/vantrel-cli devices
