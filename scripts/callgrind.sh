#!/usr/bin/env bash
# Instruction counts of three whole runs under callgrind: a figure that does not depend on
# the machine's load, unlike the timings of scripts/bench.sh. Builds a Release tree (no tests)
# and prints the total instructions (Ir) of each run.
# Then the cost of one unit of work on each hot path: each is run twice, with a small and a
# large number of units, and the difference is divided by the difference in units, so that
# start-up, the device pass and the exit cancel out.
# Usage: scripts/callgrind.sh [--whole | --units] [SOURCE-DIR]   (default: both, this tree;
#        the build goes to SOURCE-DIR/build-rel, callgrind's files to build-rel/callgrind)
#        SV_CALLGRIND_UNITS=upload,apply,idle,plug,batch,parallel: only those per-unit figures
set -euo pipefail

WHAT=both
case "${1:-}" in --whole) WHAT=whole; shift ;; --units) WHAT=units; shift ;; esac
SOURCE="$(cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}" && pwd)"
BUILD="$SOURCE/build-rel"
OUT="$BUILD/callgrind"
export CCACHE_DIR="${CCACHE_DIR:-/work/.ccache}" CCACHE_BASEDIR="${CCACHE_BASEDIR:-/work}"
export CCACHE_NOHASHDIR=1

command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 2; }
launcher=()
command -v ccache >/dev/null &&
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$SOURCE" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSV_BUILD_TESTS=OFF \
    "${launcher[@]}" >/dev/null
targets=(sonavelle-cli sonavelle-demo)
[ "$WHAT" != whole ] && targets+=(sonavelle-bench)
nice -n 10 cmake --build "$BUILD" -j2 --target "${targets[@]}" >/dev/null
cli="$(find "$BUILD/src" -type f -name sonavelle-cli -perm -u+x | head -n1)"
demo="$(find "$BUILD/src" -type f -name sonavelle-demo -perm -u+x | head -n1)"
bench="$BUILD/bench/sonavelle-bench"
mkdir -p "$OUT"

# Reader threads that wait with time-outs make the count vary by a few tenths of a percent
# from run to run: each run is counted SV_CALLGRIND_RUNS times (default 3), and the median
# is printed with the lowest and highest.
RUNS="${SV_CALLGRIND_RUNS:-3}"
group() { sed ':a;s/\B[0-9]\{3\}\>/,&/;ta' <<<"$1"; }

# measure NAME COMMAND...: runs the command under callgrind RUNS times; sets MEDIAN, LOW,
# HIGH and STATUS; its output stays in $OUT/NAME.stdout. With COLLECT=FUNCTION only the
# instructions inside that function are counted; with FRESH=DIR that folder is removed
# before each run.
measure() {
    local name="$1"
    shift
    local i counts=()
    STATUS=0
    for ((i = 1; i <= RUNS; i++)); do
        [ -z "${FRESH:-}" ] || rm -rf "$FRESH"
        QT_HASH_SEED=0 QT_QPA_PLATFORM=offscreen nice -n 10 valgrind --tool=callgrind \
            ${COLLECT:+--toggle-collect="$COLLECT"} --callgrind-out-file="$OUT/$name.$i.out" "$@" >"$OUT/$name.stdout" \
            2>"$OUT/$name.$i.log" || STATUS=$?
        counts+=("$(sed -n 's/^==[0-9]*== Collected : \([0-9]*\).*/\1/p' "$OUT/$name.$i.log")")
    done
    mapfile -t counts < <(printf '%s\n' "${counts[@]}" | sort -n)
    MEDIAN="${counts[$((RUNS / 2))]:-0}" LOW="${counts[0]:-0}" HIGH="${counts[$((RUNS - 1))]:-0}"
}

# count NAME COMMAND...: prints the total instructions of the command.
count() {
    measure "$@"
    local name="$1"
    shift
    printf '%-5s median %13s Ir  (%s .. %s, %d runs, last exit %d)  %s\n' "$name" \
        "$(group "$MEDIAN")" "$(group "$LOW")" "$(group "$HIGH")" "$RUNS" "$STATUS" "$*"
}

# per NAME UNIT SMALL LARGE: the instructions of one UNIT, from the runs NAME.SMALL and
# NAME.LARGE made by the function run_NAME N (which runs its command through measure).
# When run_NAME sets UNITS (units counted in its output), that count is used instead of N.
per() {
    local name="$1" unit="$2" n
    [[ ",${SV_CALLGRIND_UNITS:-$name}," == *",$name,"* ]] || return 0
    local -a ir units
    for n in "$3" "$4"; do
        UNITS="$n"
        "run_$name" "$name.$n" "$n"
        [ "$STATUS" -eq 0 ] || echo "  ($name.$n ended with exit $STATUS; see $OUT/$name.$n.*)" >&2
        ir+=("$MEDIAN") units+=("$UNITS")
    done
    local du=$((units[1] - units[0]))
    printf '%-8s %11s Ir per %s  (%s units: %s Ir; %s units: %s Ir)\n' "$name" \
        "$(group $(((ir[1] - ir[0] + du / 2) / du)))" "$unit" "${units[0]}" "$(group "${ir[0]}")" \
        "${units[1]}" "$(group "${ir[1]}")"
}

# The runs behind each figure. Scenarios are written to $OUT; virtual time throughout.
scenario() { # FILE LINES...: a scenario file
    local file="$OUT/$1"
    shift
    printf '%s\n' "$@" >"$file"
    echo "$file"
}
# An information-file upload of N data packets, the unit answering at once (the harness's
# upload figure, which runs 1000 of them on real time).
run_upload() {
    measure "$1" "$demo" --scenario "$(scenario "$1.scn" "unit DW730 TONAL/105" \
        "unit.reply_interval_us = 0" "unit.info.size = $(($2 * 1016))" plug "wait idle 600000")"
}
# N Apply runs, each writing a different volume, the unit answering at once: an exchange is
# a command sent and its reply taken (counted as the ">>" lines of the log).
run_apply() {
    local lines=("unit DW730 TONAL/201036" "unit.reply_interval_us = 0" plug "wait idle") i
    for ((i = 0; i < $2; i++)); do
        lines+=("choose RadioGroup1 $((i % 2 ? 4 : 3))" "press SpeedButton2" "wait step 1")
    done
    measure "$1" "$demo" --scenario "$(scenario "$1.scn" "${lines[@]}")"
    UNITS=$(grep -c '^[0-9/ :]*,>>' "$OUT/$1.stdout")
}
# N ticks of the window at rest with a unit connected (step 1, the timer running).
run_idle() {
    measure "$1" "$demo" --scenario "$(scenario "$1.scn" "unit DW730 TONAL/201036" plug \
        "wait idle" "wait ms $2")"
}
# N plug-ins, each until the conversation rests (the harness's virtual-time figure), and out.
run_plug() {
    local lines=("unit DW730 TONAL/201036" "unit.reply_interval_us = 8000") i
    for ((i = 0; i < $2; i++)); do lines+=(plug "wait idle" unplug); done
    measure "$1" "$demo" --scenario "$(scenario "$1.scn" "${lines[@]}")"
}
# The harness's own virtual-time figure: 20 plug-ins to rest, each in a fresh rig with the
# window not shown (so nothing is painted), counted inside the scenario runs only.
virtual() {
    [[ ",${SV_CALLGRIND_UNITS:-virtual}," == *",virtual,"* ]] || return 0
    SV_BENCH_FIGURES=virtual COLLECT='demo::RunScenario*' measure virtual "$bench" --harness
    printf '%-8s %11s Ir per plug-in to rest in the harness (20 runs: %s Ir)\n' virtual \
        "$(group $((MEDIAN / 20)))" "$(group "$MEDIAN")"
}
# A batch of N simulated units with --log: each identified, backed up, set, checked,
# recorded and unplugged. The backups and the record go to a data folder of the run's own,
# empty at the start of each run.
run_batch() {
    printf 'volume=2\nvoice-guide=high\n' >"$OUT/batch.conf"
    rm -f "$OUT/$1.log"
    XDG_DATA_HOME="$OUT/data" FRESH="$OUT/data" measure "$1" "$cli" batch --sim "DW730 TONAL/201036" --count "$2" --from "$OUT/batch.conf" \
        --log "$OUT/$1.log"
}

# A batch of N simulated units plugged in together and served at once (run_batch's are served
# one after another): what a unit costs when others are served beside it.
run_parallel() {
    printf 'volume=2\nvoice-guide=high\n' >"$OUT/batch.conf"
    local sims=() i
    for ((i = 0; i < $2; i++)); do sims+=(--sim "DW730 TONAL/201036"); done
    rm -f "$OUT/$1.log"
    XDG_DATA_HOME="$OUT/data" FRESH="$OUT/data" measure "$1" "$cli" batch "${sims[@]}" \
        --from "$OUT/batch.conf" --log "$OUT/$1.log"
}

echo "source: $SOURCE at $(git -C "$SOURCE" rev-parse --short HEAD)"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(valgrind --version)"
if [ "$WHAT" != units ]; then
    count set "$cli" set --sim "DW730 TONAL/201036" volume=2
    count show "$cli" show --sim "DW730 TONAL/201036"
    count demo "$demo" --scenario "$SOURCE/examples/connect-201036.scn"
fi
if [ "$WHAT" != whole ]; then
    per upload "upload data packet" 100 300
    per apply "Apply exchange" 2 12
    per idle "idle tick" 1000 20000
    per plug "plug-in to rest" 1 3
    virtual
    per batch "batch unit" 2 6
    per parallel "unit served at once" 2 8
fi
