#!/usr/bin/env bash
# The tool itself on Windows, built by scripts/build-windows.sh and checked under wine:
#   - sonavelle-customize.exe, sonavelle-demo.exe and sonavelle-fleet.exe are 64-bit GUI
#     programs, sonavelle-cli.exe a 64-bit console program, and none needs a DLL but the
#     system's;
#   - sonavelle-customize.exe, sonavelle-demo.exe and sonavelle-fleet.exe, typed in a console
#     (cmd.exe on a terminal), show --help there, and write it and usage errors to files when
#     redirected;
#   - every example scenario run by sonavelle-demo.exe prints exactly its expected file;
#   - sonavelle-customize.exe starts on the Windows HID services, lists wine's HID devices
#     in its log and closes cleanly;
#   - sonavelle-cli.exe prints its version, shows a simulated unit's model, and lists wine's
#     HID devices (exit code 0 or 3: no transceiver among them is fine); a set on a simulated
#     unit leaves one backup and one line of the service record under %APPDATA%; a batch of
#     four simulated units at once, one going away during Apply and one refusing SAVE, ends
#     each with its own line, backup and record line and serves the other two;
#   - the window drawn by the Windows build (wine's display on Xvfb) is saved as a PNG;
#   - the zip holds the four programs; the installer installs them, registers its version
#     with Programs and Features, and uninstalls, silently.
# Usage: scripts/test-windows-app.sh [build-dir]     (Debian 12; installs what is missing)
# When Debian's Qt source cannot be fetched the stage says so and is skipped (exit code 0).
set -Eeuo pipefail

SV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SV_WINAPP_BUILD="${1:-$SV_ROOT/build-winapp}"

started=$SECONDS
rc=0
"$SV_ROOT/scripts/build-windows.sh" "$SV_WINAPP_BUILD" || rc=$?
if [ "$rc" -eq 3 ]; then
    echo "== Windows application: SKIPPED, Debian's Qt source cannot be fetched on this machine"
    exit 0
fi
[ "$rc" -eq 0 ] || exit "$rc"
echo "== built in $((SECONDS - started)) s"

source "$SV_ROOT/scripts/setup.sh"
# fonts-wine: Tahoma, the window's font, which every Windows has.
sv_install wine wine64 fonts-wine xvfb file

failed=0
fail() {
    echo "FAILED: $*" >&2
    failed=1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$SV_WINAPP_BUILD/CMakeCache.txt")
name="sonavelle-customize-$version-windows-x64"
customize="$SV_WINAPP_BUILD/src/app/sonavelle-customize.exe"
demo="$SV_WINAPP_BUILD/src/demo/sonavelle-demo.exe"
cli="$SV_WINAPP_BUILD/src/cli/sonavelle-cli.exe"
fleet="$SV_WINAPP_BUILD/src/fleet/sonavelle-fleet.exe"
work="$SV_WINAPP_BUILD/checks"
# Wine passes paths on as they are: from a folder outside its C: drive, /work/... is Z:\work\...
cd "$SV_ROOT"
rm -rf "$work"
mkdir -p "$work"


xvfb_pid=""
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 300); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"

# A prefix of its own, with wine's X11 display driver (test-windows.sh's is headless).
sv_wine_prefix "$SV_WINAPP_BUILD/wineprefix"
# Wine here lists only the Linux fonts to Windows programs, and Qt's windows platform then
# draws the window in a stand-in font, with empty edit boxes: put Tahoma where Windows
# keeps it.
cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

echo "== executables"
for exe in "$customize" "$demo" "$cli" "$fleet"; do
    kind=$(file -b "$exe")
    echo "$(basename "$exe"): $kind, $(du -h "$exe" | cut -f1)"
    # The command line is a console program: cmd.exe waits for it and shows what it prints.
    subsystem=GUI
    [ "$exe" != "$cli" ] || subsystem=console
    [[ "$kind" == "PE32+ executable ($subsystem) x86-64"* ]] || fail "$(basename "$exe") is $kind"
    # Every DLL it imports must be one that Windows itself has: in wine's system32, or an
    # API set (api-ms-win-*), which the loader resolves to a system DLL.
    dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | sort -uf)
    echo "  imports:" $dlls
    for dll in $dlls; do
        [[ "${dll,,}" == api-ms-win-* ]] ||
            [ -n "$(find "$WINEPREFIX/drive_c/windows/system32" -maxdepth 1 -iname "$dll")" ] ||
            fail "$(basename "$exe") needs $dll, which Windows does not have"
    done
done
for exe in "$customize" "$cli" "$fleet"; do
    program=$(basename "$exe" .exe)
    [ "$(wine "$exe" --version </dev/null 2>/dev/null | tr -d '\r')" = "$program $version" ] ||
        fail "$program.exe --version"
done

echo "== --help typed in a console"
# script(1) gives wine a terminal, so cmd.exe runs in a console as when the user types the
# command there. Wine's console draws spaces as cursor moves: words are looked for without
# them. Redirected, the text goes to the file alone and the console stays empty.
console() { # DIR COMMAND: what cmd.exe shows on the console, escapes and spaces removed
    # The command's own exit code (2 for a usage error) is not this check's business.
    (cd "$1" && timeout 120 script -qec "wine cmd /c '$2'" /dev/null </dev/null || true) |
        sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' | tr -d '\r '
}
for exe in "$customize" "$demo" "$fleet"; do
    program=$(basename "$exe" .exe)
    dir=$(dirname "$exe")
    shown=$(console "$dir" "$program.exe --help")
    [[ "$shown" == *"Usage:$program"* && "$shown" == *"--version"* ]] ||
        fail "$program.exe --help shows no help on the console: '$shown'"
    rm -f "$dir/help.txt" "$dir/error.txt"
    shown=$(console "$dir" "$program.exe --help > help.txt")
    [ -z "$shown" ] || fail "$program.exe --help > help.txt still writes to the console: '$shown'"
    grep -q "^Usage: $program" <(tr -d '\r' <"$dir/help.txt" 2>/dev/null) ||
        fail "$program.exe --help > help.txt: no help in the file"
    shown=$(console "$dir" "$program.exe --no-such-option 2> error.txt")
    [ -z "$shown" ] || fail "$program.exe's usage error, redirected, still reaches the console"
    [ "$(tr -d '\r' <"$dir/error.txt" 2>/dev/null)" = "$program: Unknown option 'no-such-option'." ] ||
        fail "$program.exe --no-such-option 2> error.txt: '$(cat "$dir/error.txt" 2>/dev/null)'"
    rm -f "$dir/help.txt" "$dir/error.txt"
    echo "$program.exe: help and usage errors on the console, and in files when redirected"
done

echo "== examples under wine (offscreen)"
shopt -s nullglob
scenarios=("$SV_ROOT"/examples/*.scn)
[ ${#scenarios[@]} -gt 0 ] || fail "no example scenario found"
for scn in "${scenarios[@]}"; do
    example=$(basename "$scn" .scn)
    if cmake -DDEMO="wine;$demo" -DSCENARIO="$scn" -DCODE=0 \
        -DSTDOUT="$SV_ROOT/examples/expected/$example.txt" -DWORK="$work/$example" \
        -P "$SV_ROOT/tests/demo/check_cli.cmake" </dev/null; then
        echo "$example: same as examples/expected/$example.txt"
    else
        fail "$example under wine"
    fi
done

echo "== sonavelle-customize.exe on wine's HID devices"
scan_rc=0
timeout 120 wine "$customize" --close-after-scan --log "$work/scan.log" </dev/null >"$work/scan.out" 2>&1 ||
    scan_rc=$?
[ "$scan_rc" -eq 0 ] || fail "sonavelle-customize.exe --close-after-scan exited with $scan_rc"
tr -d '\r' <"$work/scan.log" >"$work/scan.txt"
grep 'HidCtlEnumerate:' "$work/scan.txt" | sed 's/^[^,]*,  /  /'
devices=$(grep -c 'HidCtlEnumerate: VenderID=845E DeviceID=000[12] ' "$work/scan.txt" || true)
[ "$devices" -eq 2 ] || fail "the log lists $devices of wine's two HID devices (log: $work/scan.txt)"
grep -q 'HidCtrl1DeviceChange:Runung=False\.' "$work/scan.txt" ||
    fail "no device pass in the log (log: $work/scan.txt)"

echo "== sonavelle-cli.exe under wine"
cli_rc=0
timeout 120 wine "$cli" show --sim "DW730 TONAL/201036" </dev/null >"$work/cli-show.out" 2>"$work/cli-show.err" ||
    cli_rc=$?
tr -d '\r' <"$work/cli-show.out" >"$work/cli-show.txt"
head -2 "$work/cli-show.txt"
[ "$cli_rc" -eq 0 ] || fail "sonavelle-cli.exe show --sim exited with $cli_rc: $(tr -d '\r' <"$work/cli-show.err")"
grep -qx 'model *DW730 TONAL' "$work/cli-show.txt" || fail "sonavelle-cli.exe show --sim printed no model line"
# On the Windows HID services: wine's two devices, neither of them a transceiver.
cli_rc=0
timeout 120 wine "$cli" list </dev/null >"$work/cli-list.out" 2>"$work/cli-list.err" || cli_rc=$?
tr -d '\r' <"$work/cli-list.out" >"$work/cli-list.txt"
sed 's/^/  /' "$work/cli-list.txt"
echo "  exit code $cli_rc: $(tr -d '\r' <"$work/cli-list.err")"
[ "$cli_rc" -eq 0 ] || [ "$cli_rc" -eq 3 ] || fail "sonavelle-cli.exe list exited with $cli_rc"
devices=$(grep -c $'^845e:000[12]\t' "$work/cli-list.txt" || true)
[ "$devices" -eq 2 ] || fail "sonavelle-cli.exe list shows $devices of wine's two HID devices"
# A write is backed up first and recorded, in %APPDATA%\Sonavelle\Customize; a simulated
# unit's in its folder "simulated", apart from real units'. The presets hold volume 4:
# volume 2 is a change, so that something is written.
preset=$(wine "$cli" --sim list </dev/null 2>/dev/null | tr -d '\r' | cut -f1 |
         grep -x 'DW730 TONAL/201036' || true)
appdata=$(wine cmd /c echo %APPDATA% </dev/null 2>/dev/null | tr -d '\r')
data=$(winepath -u "$appdata\\Sonavelle\\Customize\\simulated" 2>/dev/null || true)
if [ -z "$preset" ] || [ -z "$appdata" ] || [ -z "$data" ]; then
    fail "sonavelle-cli.exe backups: no preset ('$preset') or no %APPDATA% ('$appdata' -> '$data')"
else
    rm -rf "$data" "${data%/simulated}/backups" "${data%/simulated}/service-record.jsonl"
    cli_rc=0
    timeout 120 wine "$cli" --sim "$preset" set volume=2 </dev/null >"$work/cli-set.out" \
        2>"$work/cli-set.err" || cli_rc=$?
    echo "  set volume=2: exit code $cli_rc: $(tr -d '\r' <"$work/cli-set.out")"
    backups=$(find "$data/backups/SV0000000001" -maxdepth 1 -name 'SV0000000001_*.json' 2>/dev/null | wc -l)
    records=$(tr -d '\r' <"$data/service-record.jsonl" 2>/dev/null | grep -c '"result":"saved"' || true)
    echo "  $data: $backups backup(s), $records line(s) in service-record.jsonl"
    [ "$cli_rc" -eq 0 ] || fail "sonavelle-cli.exe set volume=2 exited with $cli_rc: $(tr -d '\r' <"$work/cli-set.err")"
    [ "$backups" -eq 1 ] || fail "sonavelle-cli.exe set made $backups backups in $data/backups/SV0000000001, not 1"
    [ "$records" -eq 1 ] || fail "sonavelle-cli.exe set left $records saved lines in $data/service-record.jsonl, not 1"
    [ ! -e "${data%/simulated}/backups" ] && [ ! -e "${data%/simulated}/service-record.jsonl" ] ||
        fail "sonavelle-cli.exe set kept a simulated unit's files beside real units' in ${data%/simulated}"
    grep -Eq 'backup saved: .*Sonavelle[\\/]Customize[\\/]simulated[\\/]backups[\\/]SV0000000001[\\/]SV0000000001_' "$work/cli-set.err" ||
        fail "sonavelle-cli.exe set did not say where the backup went: $(tr -d '\r' <"$work/cli-set.err")"

    # The batch of several units at once on Windows' threads: four simulated units plugged in
    # together, one going away during Apply and one refusing SAVE (the batch's fault test):
    # each ends with its own line, backup and record line, and the two others are served.
    echo "== sonavelle-cli.exe batch: four simulated units at once"
    rm -rf "$data"
    printf 'model = DW730 TONAL\nfirmware = 201036\n' >"$work/good.unit"
    { cat "$work/good.unit"; echo 'fault.vanish_after = 9'; } >"$work/vanish.unit"
    { cat "$work/good.unit"; echo 'fault.ng = SAVE'; } >"$work/refuse.unit"
    cli_rc=0
    timeout 300 wine "$cli" batch --sim "$work/good.unit" --sim "$work/vanish.unit" \
        --sim "$work/refuse.unit" --sim "$work/good.unit" volume=3 </dev/null \
        >"$work/cli-batch.out" 2>"$work/cli-batch.err" || cli_rc=$?
    tr -d '\r' <"$work/cli-batch.out" >"$work/cli-batch.txt"
    sed 's/^/  /' "$work/cli-batch.txt"
    [ "$cli_rc" -eq 1 ] || fail "sonavelle-cli.exe batch of four exited with $cli_rc, not 1: $(tr -d '\r' <"$work/cli-batch.err")"
    unit=$'\tDW730 TONAL\t201036\t'
    # In the order they finish: each unit's line is looked for among the first four.
    mapfile -t finished < <(head -n 4 "$work/cli-batch.txt")
    for pattern in "SV0000000001${unit}OK"$'\tsim:hid#1' \
        "SV0000000002${unit}FAILED: the unit went away during Apply: *"$'\tsim:hid#2' \
        "SV0000000003${unit}FAILED: Apply: the unit answered 'NG' to 'SAVE'; *"$'\tsim:hid#3' \
        "SV0000000004${unit}OK"$'\tsim:hid#4'; do
        found=0
        for line in "${finished[@]}"; do [[ "$line" == $pattern ]] && found=1; done
        [ "$found" -eq 1 ] || fail "sonavelle-cli.exe batch of four: no line like '$pattern'"
    done
    [ "$(tail -n 2 "$work/cli-batch.txt")" = $'4 unit(s): 2 OK, 2 failed\nfailed: SV0000000002 at sim:hid#2, SV0000000003 at sim:hid#3' ] ||
        fail "sonavelle-cli.exe batch of four: the summary is not the batch's"
    for n in 1 2 3 4; do
        serial="SV000000000$n"
        backups=$(find "$data/backups/$serial" -maxdepth 1 -name "${serial}_*.json" 2>/dev/null | wc -l)
        records=$(tr -d '\r' <"$data/service-record.jsonl" 2>/dev/null |
                  grep -F "\"port\":\"sim:hid#$n\"" | grep -cF "\"serial\":\"$serial\"" || true)
        [ "$backups" -eq 1 ] && [ "$records" -eq 1 ] ||
            fail "sonavelle-cli.exe batch of four: unit $n has $backups backup(s) and $records record line(s), not 1 and 1"
    done
fi

echo "== the window drawn by the Windows build"
shot="$SV_WINAPP_BUILD/window-windows.png"
rm -f "$shot"
# The demo runs scenarios offscreen unless QT_QPA_PLATFORM says otherwise, and wine hands
# no QT_* variable of Linux's on to Windows programs: set it in the prefix's user
# environment for this one run.
wine reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d windows /f </dev/null >/dev/null 2>&1
if cmake -DDEMO="wine;$demo" -DARGS="--screenshot;$shot" \
    -DSCENARIO="$SV_ROOT/examples/connect-201036.scn" -DCODE=0 \
    -DSTDOUT="$SV_ROOT/examples/expected/connect-201036.txt" -DWORK="$work/screenshot" \
    -P "$SV_ROOT/tests/demo/check_cli.cmake" </dev/null && [ -s "$shot" ]; then
    echo "$shot: $(file -b "$shot")"
else
    fail "no screenshot from the windows platform"
fi
wine reg delete 'HKCU\Environment' /v QT_QPA_PLATFORM /f </dev/null >/dev/null 2>&1

echo "== zip"
listing=$(cd "$work" && cmake -E tar tf "$SV_WINAPP_BUILD/$name.zip")
for entry in "$name/sonavelle-customize.exe" "$name/sonavelle-demo.exe" "$name/sonavelle-cli.exe" \
    "$name/sonavelle-fleet.exe" \
    "$name/examples/connect-201036.scn"; do
    grep -qx "$entry" <<<"$listing" || fail "the zip has no $entry"
done
echo "$SV_WINAPP_BUILD/$name.zip: $(grep -c . <<<"$listing") entries"

echo "== installer"
installed="$WINEPREFIX/drive_c/Program Files/Sonavelle Customize"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\SonavelleCustomize'
wine "$SV_WINAPP_BUILD/$name-setup.exe" /S </dev/null >/dev/null 2>&1 || fail "the installer failed"
for f in sonavelle-customize.exe sonavelle-demo.exe sonavelle-cli.exe sonavelle-fleet.exe Uninstall.exe \
    examples/connect-201036.scn; do
    [ -f "$installed/$f" ] || fail "not installed: $f"
done
[ -f "$menu/Sonavelle Customize.lnk" ] || fail "no Start-menu entry"
[ -f "$menu/Sonavelle Customize Fleet.lnk" ] || fail "no Start-menu entry for the fleet window"
shown=$(wine reg query "$key" /v DisplayVersion </dev/null 2>/dev/null | tr -d '\r' |
        sed -n 's/.*DisplayVersion\s*REG_SZ\s*//p')
echo "Programs and Features: DisplayVersion $shown"
[ "$shown" = "$version" ] || fail "DisplayVersion is '$shown', expected $version"
[ "$(wine 'C:\Program Files\Sonavelle Customize\sonavelle-customize.exe' --version </dev/null 2>/dev/null |
     tr -d '\r')" = "sonavelle-customize $version" ] || fail "the installed program's --version"
[ "$(wine 'C:\Program Files\Sonavelle Customize\sonavelle-cli.exe' --version </dev/null 2>/dev/null |
     tr -d '\r')" = "sonavelle-cli $version" ] || fail "the installed sonavelle-cli.exe's --version"

# The uninstaller copies itself to the temporary folder and returns at once: wait until it
# has finished its work, with a generous limit.
wine "$installed/Uninstall.exe" /S </dev/null >/dev/null 2>&1 || fail "the uninstaller failed"
for _ in $(seq 600); do [ -e "$installed" ] || break; sleep 0.1; done
[ ! -e "$installed" ] || fail "left after uninstalling: $(ls "$installed")"
[ ! -f "$menu/Sonavelle Customize.lnk" ] || fail "the Start-menu entry is left"
[ ! -f "$menu/Sonavelle Customize Fleet.lnk" ] || fail "the fleet window's Start-menu entry is left"
if wine reg query "$key" </dev/null >/dev/null 2>&1; then fail "the Programs and Features entry is left"; fi
echo "installed, registered as $shown, uninstalled"

echo "== Windows application stage: $((SECONDS - started)) s"
exit $failed
