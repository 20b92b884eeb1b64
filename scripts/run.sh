#!/usr/bin/env bash
# Installs, builds and starts the tool.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
sv_install
sv_build
exec "$SV_BUILD/src/app/sonavelle-customize" "$@"
