#!/usr/bin/env bash
# Installs, builds and runs Vantrel on its built-in defaults: the simulated
# driver and the sample catalogue. With a display the desktop program starts;
# without one a live capture runs headless, and a screenful of its blocks,
# its summary, its statistics and a picture of its graph are shown, with
# where each file is and the way to see the window.
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
here=$(pwd)
echo "== device objects of the simulated driver =="
"$cli" devices
echo "== a five-second live capture of every device object (saved as capture.vtl) =="
echo "   (the first screenful of its text blocks; all of them are in capture.txt)"
# The capture runs to its end; only its first lines are shown here, then
# its summary (the filter notices stay in capture-notices.txt).
if ! "$cli" capture --all-devices --seconds 5 --save capture.vtl >capture.txt 2>capture-notices.txt; then
  cat capture-notices.txt >&2
  exit 1
fi
head -n 40 capture.txt
echo "   ..."
grep '^captured ' capture-notices.txt
echo "== the capture's statistics =="
"$cli" stats capture.vtl
echo "== its latency graph =="
"$cli" graph capture.vtl --output capture-graph.png
echo
echo "The capture:        $here/capture.vtl (vantrel-cli records capture.vtl lists it)"
echo "All its text:       $here/capture.txt (the filter notices: capture-notices.txt)"
echo "Its latency graph:  $here/capture-graph.png"
echo "No display here, so the desktop program was not started. To see its window:"
echo "  (cd build/release && xvfb-run -a src/app/vantrel)   # a virtual display, for screenshots"
echo "  or run build/release/src/app/vantrel from a desktop session."
