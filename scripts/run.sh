#!/usr/bin/env bash
# Installs what is missing, builds, and starts the tool against the simulated transceiver
# (the demo): the window plus the simulated unit's panel. Without a display it runs the
# example scenario headless and prints the log and the window's state instead.
# For a real unit: build/src/app/sonavelle-customize (see README).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh" "" # not the demo's arguments: its first is a build folder
sv_install >&2
# Only the demo: the test suite is test.sh's to build. The build's output stays apart from
# the log the demo prints.
sv_build sonavelle-demo >&2
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR="/tmp/runtime-$(id -u)"
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
fi
demo="$SV_BUILD/src/demo/sonavelle-demo"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$demo" "$@"
fi
echo "No display here (DISPLAY and WAYLAND_DISPLAY are unset): running the example scenario" \
     "headless instead. On a desktop this command opens the window." >&2
exec "$demo" --scenario "$SV_ROOT/examples/connect-201036.scn" "$@"
