#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, then configures and builds.
# Usage: scripts/setup.sh [build-dir]   (sourced by run.sh and test.sh)
set -euo pipefail

SV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SV_BUILD="${1:-$SV_ROOT/build}"

SV_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libgl1-mesa-dev libudev-dev
             libgtest-dev libgmock-dev libbenchmark-dev umockdev libumockdev-dev xvfb
             fonts-dejavu-core fonts-ipafont-gothic fonts-wine)

# The web build (scripts/build-web.sh): Debian's Emscripten, and Chromium for the page's
# tests. Not npm or nodejs by name: the machine's node bundles npm, and Debian's npm
# package conflicts with it.
SV_WEB_PACKAGES=(emscripten chromium)

sv_install() {
    local missing=()
    for p in "${SV_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
        --no-install-recommends "${missing[@]}"
}

# sv_build [TARGET...]: configures, then builds the targets given, or everything.
sv_build() {
    local werror=OFF
    [ "${CI:-}" = "true" ] && werror=ON
    cmake -S "$SV_ROOT" -B "$SV_BUILD" -G Ninja -DSV_WERROR="$werror" >/dev/null
    cmake --build "$SV_BUILD" -j "$(nproc)" ${1:+--target "$@"}
}

# sv_wine_prefix DIR [headless]: a 64-bit wine prefix in DIR for the programs a script
# runs (made when missing; "headless": without a display driver), with one wineserver for
# the whole run, else every program started pays for starting one. Wine's services are
# started at once, detached from any pipe: started by a program whose output is read, they
# would hold that pipe open and stall the reader. The caller stops it: wineserver -k.
sv_wine_prefix() {
    export WINEPREFIX="$1" WINEARCH=win64 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko installer prompts
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Setting up the wine prefix in $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        wineboot --init >/dev/null 2>&1
        wineserver -w
        if [ "${2:-}" = "headless" ]; then
            wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
            wineserver -w
        fi
    fi
    wineserver -p
    wine cmd.exe /c exit >/dev/null 2>&1 </dev/null
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    sv_install
    sv_build
fi
