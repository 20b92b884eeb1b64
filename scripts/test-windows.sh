#!/usr/bin/env bash
# Cross-builds the Qt-free part (the HID layer with its Windows services, the simulated unit,
# the window's logic) for 64-bit Windows with mingw-w64 and runs its tests under wine.
# Usage: scripts/test-windows.sh [build-dir]      (Debian 12; installs what is missing)
set -euo pipefail

SV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SV_WIN_BUILD="${1:-$SV_ROOT/build-windows}"

# The -posix compilers (std::thread), wine for 64-bit programs, GoogleTest's sources.
SV_WIN_PACKAGES=(cmake ninja-build googletest g++-mingw-w64-x86-64-posix
                 gcc-mingw-w64-x86-64-posix wine wine64)

# Left out under wine: a test of the shared HID folder that reads Linux's /proc (the
# Windows side of the same behaviour is tested in tests/windows), and the long reliability
# runs of the platform-neutral layer, which run natively (and under ThreadSanitizer).
SV_WIN_EXCLUDE='ControllerTest\.ReaderThreadCarriesItsDebugName|^HidStress\.'

source "$SV_ROOT/scripts/setup.sh"
sv_install "${SV_WIN_PACKAGES[@]}"

mkdir -p "$SV_WIN_BUILD"
stop_wine() { wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT
sv_wine_prefix "$SV_WIN_BUILD/wineprefix" headless

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S "$SV_ROOT" -B "$SV_WIN_BUILD" -G Ninja -DSV_BUILD_GUI=OFF -DSV_WERROR="$werror" \
    -DCMAKE_TOOLCHAIN_FILE="$SV_ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$SV_WIN_BUILD" -j "$(nproc)"
ctest --test-dir "$SV_WIN_BUILD" --output-on-failure --timeout 300 -E "$SV_WIN_EXCLUDE"
