#!/usr/bin/env bash
# Installs, builds and runs Vantrel on its built-in defaults: a live capture
# from the simulated driver, decoded with the sample catalogue.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/steps.sh
step "Installing the Debian packages" tools/setup.sh
step "Configuring the release build" cmake --preset release
step "Building" cmake --build --preset release
# The build folder holds the sample catalogue, Vantrel.db.
cd build/release
cli=src/cli/vantrel-cli
echo "== device objects of the simulated driver =="
"$cli" devices
echo "== a five-second capture of every device object (saved as capture.vtl) =="
"$cli" capture --all-devices --seconds 5 --save capture.vtl
echo "== the disk's device controls, output buffers decoded by the sample catalogue =="
"$cli" capture --device 0x8a3e6030 --majors IRP_MJ_DEVICE_CONTROL --output-template DISK_GEOMETRY --count 4
