#!/usr/bin/env bash
# Builds the tool for 64-bit Windows on Debian 12: a static Qt for mingw-w64 from Debian's own
# Qt source (once; kept in a cache outside the tree), then sonavelle-customize.exe,
# sonavelle-demo.exe, sonavelle-fleet.exe and the console program sonavelle-cli.exe (static,
# no DLL beside them), a zip and an NSIS installer.
# Usage: scripts/build-windows.sh [build-dir]          (installs what is missing)
# Exit codes: 0 built; 1 a step failed (the step is named); 3 Qt's source could not be
# fetched, nothing was built.
# Environment: SV_QT_CACHE (default ${XDG_CACHE_HOME:-$HOME/.cache}/sonavelle) holds the Qt
# builds, one folder per Qt version and build options.
set -Eeuo pipefail

SV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SV_WINAPP_BUILD="${1:-$SV_ROOT/build-winapp}"
SV_QT_CACHE="${SV_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/sonavelle}"
SV_TOOLCHAIN="$SV_ROOT/cmake/mingw-w64-x86_64.cmake"

# The host tools (moc, rcc, uic) come from qt6-base-dev-tools: the Qt built here must be
# the same version. dpkg-dev unpacks the source; nsis makes the installer.
SV_WINAPP_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
                    qt6-base-dev-tools dpkg-dev nsis)

# What the tool does not use is left out. tabletevent: Debian's source has no wintab.h;
# dynamicgl: with OpenGL off it still defaults to on and then needs OpenGL in the Windows
# platform plugin.
SV_QT_OPTIONS=(-DBUILD_SHARED_LIBS=OFF -DCMAKE_BUILD_TYPE=Release
               -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
               -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF
               -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
               -DFEATURE_testlib=OFF -DFEATURE_tabletevent=OFF -DFEATURE_dynamicgl=OFF)

SV_STEP="start"
step() {
    SV_STEP="$1"
    echo "== $1"
}
trap 'echo "build-windows.sh: failed at step: $SV_STEP" >&2' ERR

source "$SV_ROOT/scripts/setup.sh"
step "installing the packages"
sv_install "${SV_WINAPP_PACKAGES[@]}"
step "checking the mingw-w64 toolchain"
for tool in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres makensis; do
    command -v "$tool" >/dev/null || { echo "build-windows.sh: $tool is missing" >&2; exit 1; }
done

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# A deb-src entry for each of the machine's entries for its own release, so that apt-get
# source finds Debian's Qt where apt already finds the binaries.
add_source_entries() {
    local codename list=/etc/apt/sources.list.d/sonavelle-deb-src.sources
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    {
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -f "$f" ] && [ "$f" != "$list" ] || continue
            # deb822 stanzas are separated by blank lines.
            awk -v RS= -v ORS='\n\n' -v c="$codename" \
                '/(^|\n)Types:[^\n]*deb/ && $0 ~ "\nSuites:[^\n]*" c {
                     sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
        done
        if [ -f /etc/apt/sources.list ]; then
            awk -v c="$codename" '$1 == "deb" && $0 ~ " " c {
                printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:", $2, $3
                for (i = 4; i <= NF; i++) printf " %s", $i
                printf "\n\n" }' /etc/apt/sources.list
        fi
    } | $sudo tee "$list.new" >/dev/null
    if [ ! -s "$list.new" ]; then
        $sudo rm -f "$list.new"
        return 1
    fi
    $sudo mv "$list.new" "$list"
    $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
}

# Fetches and unpacks Debian's qt6-base source of the given version into the current folder.
fetch_qt_source() {
    local version="$1"
    if ! apt-cache showsrc qt6-base 2>/dev/null | grep -qx "Version: $version"; then
        add_source_entries || return 1
    fi
    apt-get source -qq "qt6-base=$version" >/dev/null 2>&1
}

qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
# Keyed by Qt's version, the options, the toolchain file and the compiler: a change to any
# of them builds a new Qt beside the old one.
qt_key=$( { printf '%s\n' "${SV_QT_OPTIONS[@]}"; cat "$SV_TOOLCHAIN"
            x86_64-w64-mingw32-g++-posix --version | head -1; } | sha256sum | cut -c1-12)
SV_QT_PREFIX="$SV_QT_CACHE/qt-${qt_version%%+*}-mingw64-static-$qt_key"

if [ -f "$SV_QT_PREFIX/lib/cmake/Qt6/qt.toolchain.cmake" ]; then
    echo "== static Qt from the cache: $SV_QT_PREFIX"
else
    started=$SECONDS
    mkdir -p "$SV_QT_CACHE" "$SV_WINAPP_BUILD"
    # Everything happens in a temporary folder beside the cache; only a complete install is
    # moved into place, so an interrupted or failed build is never taken for a cached one.
    work=$(mktemp -d "$SV_QT_CACHE/.build.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    step "fetching Debian's Qt source (qt6-base $qt_version)"
    if ! (cd "$work" && fetch_qt_source "$qt_version"); then
        echo "build-windows.sh: skipped: Debian's Qt source (qt6-base $qt_version) cannot be fetched (apt-get source failed; no network, or no deb-src entry for it)" >&2
        exit 3
    fi
    source_dir=$(find "$work" -mindepth 2 -maxdepth 2 -name CMakeLists.txt -printf '%h\n' | head -1)
    log="$SV_WINAPP_BUILD/qt-build.log"
    step "configuring Qt (log: $log)"
    # The install goes under DESTDIR with the final prefix, so that the paths Qt records are
    # the cache's own after the move.
    cmake -S "$source_dir" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$SV_TOOLCHAIN" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_INSTALL_PREFIX="$SV_QT_PREFIX" "${SV_QT_OPTIONS[@]}" >"$log" 2>&1 ||
        { tail -n 30 "$log" >&2; false; }
    step "building Qt (about 35 minutes on 2 cores; log: $log)"
    nice -n 10 cmake --build "$work/build" -j 2 >>"$log" 2>&1 || { tail -n 30 "$log" >&2; false; }
    step "installing Qt into the cache"
    DESTDIR="$work/stage" cmake --install "$work/build" >>"$log" 2>&1 || { tail -n 30 "$log" >&2; false; }
    rm -rf "$SV_QT_PREFIX"
    mv "$work/stage$SV_QT_PREFIX" "$SV_QT_PREFIX"
    echo "== static Qt built in $((SECONDS - started)) s: $SV_QT_PREFIX"
fi

step "configuring the tool"
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S "$SV_ROOT" -B "$SV_WINAPP_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$SV_QT_PREFIX/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$SV_TOOLCHAIN" \
    -DSV_BUILD_TESTS=OFF -DSV_WERROR="$werror" >/dev/null
step "building sonavelle-customize.exe, sonavelle-demo.exe, sonavelle-fleet.exe and sonavelle-cli.exe"
cmake --build "$SV_WINAPP_BUILD" -j 2 --target sonavelle-customize sonavelle-demo sonavelle-fleet \
    sonavelle-cli
step "packaging"
cmake --build "$SV_WINAPP_BUILD" --target sv-windows-packages
ls -l "$SV_WINAPP_BUILD"/sonavelle-customize-*-windows-x64*
