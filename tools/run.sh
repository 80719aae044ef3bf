#!/usr/bin/env bash
# Installs, builds and runs Vantrel on its built-in defaults: the simulated
# driver and the sample catalogue. With a display it starts the desktop
# program; without one it runs a headless capture and says how to see the
# window.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/steps.sh
step "Installing the Debian packages" tools/setup.sh
step "Configuring the release build" cmake --preset release
step "Building" cmake --build --preset release
# The build folder holds the sample catalogue, Vantrel.db.
cd build/release
cli=src/cli/vantrel-cli
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x src/app/vantrel ]; then
  echo "Starting the desktop program on the simulated driver"
  exec src/app/vantrel
fi
echo "== device objects of the simulated driver =="
"$cli" devices
echo "== a five-second capture of every device object (saved as capture.vtl) =="
"$cli" capture --all-devices --seconds 5 --save capture.vtl
echo "== the disk's device controls, output buffers decoded by the sample catalogue =="
"$cli" capture --device 0x8a3e6030 --majors IRP_MJ_DEVICE_CONTROL --output-template DISK_GEOMETRY --count 4
echo "No display here: to see the desktop program, run it under a virtual X server:"
echo "  (cd build/release && xvfb-run -a src/app/vantrel)"
