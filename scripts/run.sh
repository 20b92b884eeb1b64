#!/usr/bin/env bash
# Installs what is missing, builds, and starts the tool against the simulated transceiver
# (the demo): the window plus the simulated unit's panel. Without a display it runs the
# example scenario headless and prints the log and the window's state instead.
# For a real unit: build/src/app/sonavelle-customize (see README).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
sv_install
sv_build
demo="$SV_BUILD/src/demo/sonavelle-demo"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$demo" "$@"
fi
echo "No display here (DISPLAY and WAYLAND_DISPLAY are unset): running the example scenario" \
     "headless instead. On a desktop this command opens the window." >&2
exec "$demo" --scenario "$SV_ROOT/examples/connect-201036.scn" "$@"
