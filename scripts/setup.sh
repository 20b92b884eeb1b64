#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, then configures and builds.
# Usage: scripts/setup.sh [build-dir]   (sourced by run.sh and test.sh)
set -euo pipefail

SV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SV_BUILD="${1:-$SV_ROOT/build}"

SV_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libgl1-mesa-dev libudev-dev
             libgtest-dev libgmock-dev libbenchmark-dev umockdev libumockdev-dev xvfb
             fonts-dejavu-core fonts-ipafont-gothic)

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

sv_build() {
    local werror=OFF
    [ "${CI:-}" = "true" ] && werror=ON
    cmake -S "$SV_ROOT" -B "$SV_BUILD" -G Ninja -DSV_WERROR="$werror" >/dev/null
    cmake --build "$SV_BUILD" -j "$(nproc)"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    sv_install
    sv_build
fi
