#!/usr/bin/env bash
# Builds the web build and the native command line, then runs sonavelle-cli both ways and
# compares them byte for byte: show --json for every simulated preset, and for a table of
# choices set's output, messages, exit code and log. Prints the .wasm's size and node's
# time per run (figures, not limits).
# Both sides write with --no-backup; the native log's service record notes are left out of
# the comparison, since the web build keeps no service record.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/build-web.sh"
sv_build_web
sv_build sonavelle-cli

native="$SV_BUILD/src/cli/sonavelle-cli"
web="$SV_WEB_BUILD/src/web/sonavelle-cli-node.js"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data"
wasm="$SV_WEB_BUILD/src/web/sonavelle-cli.wasm"
echo "sonavelle-cli.wasm: $(stat -c %s "$wasm") bytes"

failures=0
checked=0
# compare NAME ARGS...: runs both sides with ARGS (a --log FILE in them is given per side).
compare() {
    local name="$1"
    shift
    local side args=() status start end
    for side in native web; do
        args=()
        for a in "$@"; do args+=("${a//@LOG@/$work/$side.log}"); done
        rm -f "$work/$side.log"
        start=$(date +%s%N)
        set +e
        if [ "$side" = native ]; then
            "$native" "${args[@]}" >"$work/$side.out" 2>"$work/$side.err"
        else
            node "$web" "${args[@]}" >"$work/$side.out" 2>"$work/$side.err"
        fi
        status=$?
        set -e
        end=$(date +%s%N)
        echo "$status" >"$work/$side.status"
        [ "$side" = web ] && webMs=$(((end - start) / 1000000))
        touch "$work/$side.log"
    done
    # The journal's notes in the native log: the web build keeps no record.
    grep -v '^.\{24\}Service record: ' "$work/native.log" >"$work/native.kept" || true
    local what
    for what in out err status; do
        if ! cmp -s "$work/native.$what" "$work/web.$what"; then
            echo "DIFFERS ($what): $name" >&2
            diff "$work/native.$what" "$work/web.$what" | head -20 >&2 || true
            failures=$((failures + 1))
        fi
    done
    if ! cmp -s "$work/native.kept" "$work/web.log"; then
        echo "DIFFERS (log): $name" >&2
        diff "$work/native.kept" "$work/web.log" | head -20 >&2 || true
        failures=$((failures + 1))
    fi
    checked=$((checked + 1))
    printf '%6d ms  exit %s  %s\n' "$webMs" "$(cat "$work/web.status")" "$name"
}

echo "== show --json, every preset (node's time per run)"
mapfile -t presets < <("$native" --sim list | cut -f1)
for preset in "${presets[@]}"; do
    compare "show --json $preset" --sim "$preset" show --json
done

# Units that refuse: a unit file each.
printf 'model = DW730 TONAL\nfirmware = 201036\nfault.ng = SAVE\n' >"$work/ng-save.unit"
printf 'model = DW720 KEL\nfirmware = 201033\nfault.ng = SPAR PhoneOutVol\n' >"$work/ng-volume.unit"
printf 'model = PX510\nfirmware = 201036\nfault.silent = SAVE\n' >"$work/silent-save.unit"
printf 'model = DW720 MIV\nfirmware = 201029\nfault.vanish_after = 12\n' >"$work/vanish.unit"

echo "== set, a table of choices (node's time per run)"
sets=(
    "DW730 TONAL/201036|volume=2 hands-free=3"
    "DW730 TONAL/201036|volume=4"
    "DW730 TONAL/201036|channel=B"
    "DW730 TONAL/201036|volume=9"
    "DW730 TONAL/201020|volume=3"
    "DW720 KEL/105|volume=3"
    "DW720 KEL/201016|volume=5 hands-free=on"
    "DW720 MIV/201036|channel=S air-check=30/10"
    "DW720 QZ/201026|channel=C volume=1"
    "DW730 VELMORAS_SPECIAL/201036|receive-only=on voice-guide=high"
    "PX510/201029|volume=1"
    "DW720 KEL/201033|recorder=transmit dive-computer=voice auto-switching=on"
    "$work/ng-save.unit|volume=1"
    "$work/ng-volume.unit|volume=1 hands-free=off"
    "$work/silent-save.unit|volume=3"
    "$work/vanish.unit|volume=5"
)
for entry in "${sets[@]}"; do
    unit="${entry%%|*}"
    read -r -a choices <<<"${entry#*|}"
    compare "set ${choices[*]} on ${unit#"$work/"}" --sim "$unit" --no-backup --timeout 2 --log @LOG@ \
        set "${choices[@]}"
done

echo "$checked runs compared"
if [ "$failures" -ne 0 ]; then
    echo "test-web.sh: $failures difference(s) between the web build and the native command line" >&2
    exit 1
fi
echo "test-web.sh: the web build matches the native command line"

# The page in a browser, on the web build just made.
SV_WEB_BUILT=1 "$SV_ROOT/tests/web/run.sh"
