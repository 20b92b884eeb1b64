#!/usr/bin/env bash
# Builds the Debian package from a Release tree and checks it as a distribution would:
# lintian (no error, no warning), the AppStream metadata, the desktop entry, the maintainer
# scripts, and the udev rule against emulated units (umockdev + udevadm test); and that
# its four executables and their manual pages are there, and sonavelle-cli runs.
# Usage: scripts/test-package.sh [build-dir]      (Debian 12, as root; installs what is missing)
set -euo pipefail

SV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SV_PKG_BUILD="${1:-$SV_ROOT/build-package}"

# udev for udevadm; man-db for lintian's manual page checks.
SV_PKG_PACKAGES=(lintian appstream desktop-file-utils dpkg-dev fakeroot file man-db udev umockdev)

source "$SV_ROOT/scripts/setup.sh"
sv_install "${SV_PKG_PACKAGES[@]}"

failed=0
fail() {
    echo "FAILED: $*" >&2
    failed=1
}

# A Release tree of what the package holds, no tests or benchmarks, with the flags Debian
# builds its own packages with (hardening included).
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$SV_ROOT" -B "$SV_PKG_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSV_BUILD_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    -DSV_WERROR="$werror" -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$SV_PKG_BUILD" -j "$(nproc)" --target sonavelle-customize sonavelle-demo \
    sonavelle-cli sonavelle-fleet sonavelle-customize-manpage sonavelle-demo-manpage \
    sonavelle-cli-manpage sonavelle-fleet-manpage sv-changelog
rm -f "$SV_PKG_BUILD"/*.deb
(cd "$SV_PKG_BUILD" && cpack -G DEB >/dev/null)
deb=$(ls "$SV_PKG_BUILD"/*.deb)
echo "== $(basename "$deb"): $(du -h "$deb" | cut -f1)"
dpkg-deb --field "$deb"

echo "== lintian"
lintian --display-info --fail-on error,warning "$deb" || fail "lintian"

tree=$(mktemp -d)
stubs=$(mktemp -d)
trap 'rm -rf "$tree" "$stubs"' EXIT
dpkg-deb -x "$deb" "$tree"
dpkg-deb -e "$deb" "$tree/DEBIAN"

echo "== appstreamcli validate"
appstreamcli validate --no-net --pedantic "$tree"/usr/share/metainfo/*.metainfo.xml || fail "appstream"

echo "== desktop-file-validate"
# It exits 0 on hints: any output is a finding.
hints=$(desktop-file-validate "$tree"/usr/share/applications/*.desktop 2>&1)
[ -z "$hints" ] || fail "desktop entry: $hints"

echo "== versions"
version=$(dpkg-deb -f "$deb" Version)
changelog=$(zcat "$tree/usr/share/doc/sonavelle-customize/changelog.gz" | head -1)
[[ "$changelog" == "sonavelle-customize ($version) "* ]] || fail "changelog starts '$changelog', package is $version"
grep -q "<release version=\"$version\"" "$tree"/usr/share/metainfo/*.metainfo.xml ||
    fail "the AppStream releases do not name $version"
for program in sonavelle-customize sonavelle-demo sonavelle-cli sonavelle-fleet; do
    [ -x "$tree/usr/bin/$program" ] || fail "the package has no /usr/bin/$program"
    [ -f "$tree/usr/share/man/man1/$program.1.gz" ] || fail "the package has no manual page for $program"
done
[ "$("$tree/usr/bin/sonavelle-customize" --version)" = "sonavelle-customize $version" ] ||
    fail "sonavelle-customize --version"
[ "$("$tree/usr/bin/sonavelle-cli" --version)" = "sonavelle-cli $version" ] ||
    fail "sonavelle-cli --version"
[ "$("$tree/usr/bin/sonavelle-fleet" --version)" = "sonavelle-fleet $version" ] ||
    fail "sonavelle-fleet --version"
[ -f "$tree/usr/share/applications/sonavelle-fleet.desktop" ] ||
    fail "the package has no desktop entry for sonavelle-fleet"

echo "== the page for a browser"
# Shipped when scripts/build-web.sh has built it (test.sh runs that stage first).
if [ -f "${SV_WEB_BUILD:-$SV_ROOT/build-web}/page/sonavelle-page.wasm" ]; then
    for file in index.html page.js page.css link.js keep.js sonavelle-page.js sonavelle-page.wasm; do
        [ -f "$tree/usr/share/sonavelle/web/$file" ] || fail "the package has no /usr/share/sonavelle/web/$file"
    done
else
    echo "no page built (scripts/build-web.sh): the package goes without it"
fi

echo "== sonavelle-cli from the package, on a simulated unit"
# The stripped, hardened executable as installed: it identifies the unit and prints its model.
shown=$("$tree/usr/bin/sonavelle-cli" show --sim "DW730 TONAL/201036" 2>/dev/null) ||
    fail "sonavelle-cli show --sim exited with $?"
echo "$shown" | head -2
grep -qx 'model *DW730 TONAL' <<<"$shown" || fail "sonavelle-cli show --sim printed no model line"

rules="$tree/usr/lib/udev/rules.d/70-sonavelle.rules"
[ -f "$rules" ] || rules="$tree/lib/udev/rules.d/70-sonavelle.rules"

echo "== AppStream modaliases for the maker's units"
vendor=$(printf '%04x' 0x"$(grep -o 'TransceiverVendorID = 0x[0-9A-Fa-f]*' "$SV_ROOT/src/link/Conversation.h" | cut -dx -f2)")
for product in $(grep -o "idVendor}==\"$vendor\", ATTRS{idProduct}==\"[0-9a-f]*\"" "$rules" | grep -o '[0-9a-f]*"$' | tr -d '"'); do
    alias="usb:v${vendor^^}p${product^^}d*"
    grep -qF "<modalias>$alias</modalias>" "$tree"/usr/share/metainfo/*.metainfo.xml ||
        fail "no AppStream modalias $alias for the rule's $vendor:$product"
done

echo "== the group-based rule, shipped inactive"
group_rules="$tree/usr/share/sonavelle-customize/udev/71-sonavelle-plugdev.rules"
ids_of() { sed -n 's/^[^#]*idVendor}=="\([0-9a-f]*\)", ATTRS{idProduct}=="\([0-9a-f]*\)".*/\1:\2/p' "$1"; }
if [ ! -f "$group_rules" ]; then
    fail "the package has no $group_rules"
else
    [ "$(ids_of "$group_rules")" = "$(ids_of "$rules")" ] ||
        fail "the group-based rule names other ids than 70-sonavelle.rules"
    [ -z "$(grep -v '^#' "$group_rules" | grep -v 'GROUP="plugdev", MODE="0660"$')" ] ||
        fail "a line of the group-based rule does not end GROUP=\"plugdev\", MODE=\"0660\""
    ! grep -q uaccess "$group_rules" || fail "the group-based rule tags uaccess"
    ! find "$tree" -path '*/udev/rules.d/*' -name '71-sonavelle-plugdev.rules' | grep -q . ||
        fail "the group-based rule is installed active"
fi

echo "== maintainer scripts"
# udevadm replaced by a stub that records its arguments.
printf '#!/bin/sh\necho "$*" >> "%s/calls"\n' "$stubs" > "$stubs/udevadm"
chmod +x "$stubs/udevadm"
for script in postinst:configure postrm:remove; do
    : > "$stubs/calls"
    PATH="$stubs:$PATH" sh -e "$tree/DEBIAN/${script%%:*}" "${script#*:}" || fail "$script"
    want=$'control --reload-rules\ntrigger --subsystem-match=hidraw --action=change'
    [ "$(cat "$stubs/calls")" = "$want" ] || fail "$script called: $(cat "$stubs/calls")"
done

echo "== udev rule against emulated units"
# One emulated unit: the USB device, its HID interface and the hidraw node.
unit_description() { # vendor product
    local dev=/devices/pci0000:00/0000:00:14.0/usb1/1-1
    local hid="$dev/1-1:1.0/0003:${1^^}:${2^^}.0001"
    cat <<EOF
P: $dev
N: bus/usb/001/002
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
A: idVendor=$1
A: idProduct=$2

P: $dev/1-1:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface

P: $hid
E: SUBSYSTEM=hid
E: HID_ID=0003:0000${1^^}:0000${2^^}

P: $hid/hidraw/hidraw0
N: hidraw0
E: SUBSYSTEM=hidraw
E: DEVNAME=/dev/hidraw0
E: MAJOR=243
E: MINOR=0
A: dev=243:0
EOF
}
# What udev does to the unit's hidraw node with a rule file beside the system's rules.
# udevadm test writes to /run/udev and /dev/char: both are private tmpfs here.
udev_test() { # rules vendor product
    unit_description "$2" "$3" > "$stubs/unit.umockdev"
    local made=()
    for dir in /run/udev /dev/char; do
        [ -d "$dir" ] || { mkdir -p "$dir" && made+=("$dir"); }
    done
    unshare -m sh -ec '
        mount -t tmpfs sv-udev /run/udev
        mount -t tmpfs sv-char /dev/char
        mkdir /run/udev/rules.d
        cp "$1" /run/udev/rules.d/
        umockdev-run -d "$2" -- udevadm test --action=add /sys/class/hidraw/hidraw0 2>&1
    ' sh "$1" "$stubs/unit.umockdev"
    for dir in "${made[@]}"; do rmdir "$dir"; done
}
# The tags udev gives the node with the package's rule.
hidraw_tags() { # vendor product
    udev_test "$rules" "$1" "$2" | sed -n 's/^TAGS=//p'
}
for unit in 3a5c:7800 3a5c:7802 2342:0043; do
    tags=$(hidraw_tags "${unit%:*}" "${unit#*:}")
    echo "$unit: TAGS=$tags"
    [[ "$tags" == *:uaccess:* ]] || fail "$unit gets no uaccess tag"
done
# Neither another product of the maker nor the board's product id under another vendor.
for unit in 3a5c:7801 1234:0043; do
    tags=$(hidraw_tags "${unit%:*}" "${unit#*:}")
    echo "$unit: TAGS=$tags (not ours)"
    [[ "$tags" != *:uaccess:* ]] || fail "$unit gets the uaccess tag"
done

# The group-based rule, once enabled, gives the units' nodes to the group plugdev.
plugdev=$(getent group plugdev | cut -d: -f3)
for unit in 3a5c:7800 3a5c:7802 2342:0043; do
    [ -f "$group_rules" ] || break
    set_by=$(udev_test "$group_rules" "${unit%:*}" "${unit#*:}" |
        { grep -o 'plugdev.rules:[0-9]* \(GROUP\|MODE\) .*' || true; } | cut -d' ' -f2- | tr '\n' ' ')
    echo "$unit: $set_by(group-based rule)"
    [ "$set_by" = "GROUP $plugdev MODE 0660 " ] || fail "$unit: the group-based rule set '$set_by'"
done

echo "== package stage: $SECONDS s"
exit $failed
