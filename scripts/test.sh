#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the main suite, then the
# sanitizer builds, the fuzz smoke runs, the Windows services under wine, the Windows
# application with its packages under wine and the Debian package.
# SV_QUICK=1 runs the main suite only.
set -euo pipefail
here="$(dirname "${BASH_SOURCE[0]}")"
source "$here/setup.sh"
sv_install
sv_build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$SV_BUILD" --output-on-failure -j "$(nproc)" --timeout 300
[ "${SV_QUICK:-}" = "1" ] && exit 0
for stage in test-sanitizers.sh test-fuzz.sh test-windows.sh test-windows-app.sh test-package.sh; do
    if [ -x "$here/$stage" ]; then
        echo "== $stage"
        "$here/$stage"
    fi
done
