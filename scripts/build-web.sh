#!/usr/bin/env bash
# Builds the web build (the core in WebAssembly, and sonavelle-cli for node) into
# build-web/ with Debian's Emscripten. Usage: scripts/build-web.sh   (SV_WEB_BUILD: the folder)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
SV_WEB_BUILD="${SV_WEB_BUILD:-$SV_ROOT/build-web}"

sv_build_web() {
    sv_install "${SV_WEB_PACKAGES[@]}"
    # emcc's optimising links run its JavaScript tools, which need Debian's node modules.
    export NODE_PATH=/usr/share/nodejs
    # Debian ships a frozen cache: a private one fails.
    unset EM_CACHE
    local werror=OFF launcher=()
    [ "${CI:-}" = "true" ] && werror=ON
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    # emcmake's own emulator adds a flag node 20 refuses.
    emcmake cmake -S "$SV_ROOT" -B "$SV_WEB_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DSV_WERROR="$werror" "${launcher[@]}" -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/node >/dev/null
    cmake --build "$SV_WEB_BUILD" -j "$(nproc)"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    sv_build_web
fi
