#!/usr/bin/env bash
# Installs, builds and runs Vantrel on its built-in defaults: the simulated
# driver and the sample catalogue. With a display the desktop program starts;
# without one a live capture runs headless and the way to see the window is
# printed.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/steps.sh
step "Installing the Debian packages" tools/setup.sh
step "Configuring the release build" cmake --preset release
step "Building" cmake --build --preset release
# The build folder holds the sample catalogue, Vantrel.db.
cd build/release
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== starting the desktop program (close its window to end) =="
  exec src/app/vantrel "$@"
fi
cli=src/cli/vantrel-cli
echo "== device objects of the simulated driver =="
"$cli" devices
echo "== a five-second capture of every device object (saved as capture.vtl) =="
"$cli" capture --all-devices --seconds 5 --save capture.vtl
echo "== the disk's device controls, output buffers decoded by the sample catalogue =="
"$cli" capture --device 0x8a3e6030 --majors IRP_MJ_DEVICE_CONTROL --output-template DISK_GEOMETRY --count 4
echo
echo "No display here, so the desktop program was not started. To see its window:"
echo "  (cd build/release && xvfb-run -a src/app/vantrel)   # a virtual display, for screenshots"
echo "  or run build/release/src/app/vantrel from a desktop session."
