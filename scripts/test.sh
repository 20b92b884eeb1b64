#!/usr/bin/env bash
# Installs, builds and runs every test.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
sv_install
sv_build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$SV_BUILD" --output-on-failure -j "$(nproc)" --timeout 300
