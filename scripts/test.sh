#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the main suite, then the
# sanitizer builds, the fuzz smoke runs, the Windows services under wine, the Windows
# application with its packages under wine, the Debian package and the web build.
# SV_QUICK=1 runs the main suite only.
set -euo pipefail
here="$(dirname "${BASH_SOURCE[0]}")"
source "$here/setup.sh"
# The web build before the packages: they ship its page once it is built.
stages=(test-sanitizers.sh test-fuzz.sh test-windows.sh test-web.sh test-windows-app.sh test-package.sh)
# Before anything is built: a missing stage would otherwise pass unseen, or fail an hour later.
for stage in "${stages[@]}"; do
    if [ ! -x "$here/$stage" ]; then
        echo "test.sh: stage $stage is missing or not executable in $here" >&2
        exit 1
    fi
done
sv_install
sv_build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$SV_BUILD" --output-on-failure -j "$(nproc)" --timeout 300
[ "${SV_QUICK:-}" = "1" ] && exit 0
for stage in "${stages[@]}"; do
    echo "== $stage"
    "$here/$stage"
done
