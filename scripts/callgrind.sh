#!/usr/bin/env bash
# Instruction counts of three whole runs under callgrind: a figure that does not depend on
# the machine's load, unlike the timings of scripts/bench.sh. Builds a Release tree (no tests)
# and prints the total instructions (Ir) of each run.
# Usage: scripts/callgrind.sh [SOURCE-DIR]   (default: this tree; the build goes to
#        SOURCE-DIR/build-rel, callgrind's files to SOURCE-DIR/build-rel/callgrind)
set -euo pipefail

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
nice -n 10 cmake --build "$BUILD" -j2 --target sonavelle-cli sonavelle-demo >/dev/null
cli="$(find "$BUILD/src" -type f -name sonavelle-cli -perm -u+x | head -n1)"
demo="$(find "$BUILD/src" -type f -name sonavelle-demo -perm -u+x | head -n1)"
mkdir -p "$OUT"

# Reader threads that wait with time-outs make the count vary by a few tenths of a percent
# from run to run: each run is counted SV_CALLGRIND_RUNS times (default 3), and the median
# is printed with the lowest and highest.
RUNS="${SV_CALLGRIND_RUNS:-3}"
group() { sed ':a;s/\B[0-9]\{3\}\>/,&/;ta' <<<"$1"; }

# count NAME COMMAND...: runs the command under callgrind and prints its total instructions.
count() {
    local name="$1"
    shift
    local i status=0 counts=()
    for ((i = 1; i <= RUNS; i++)); do
        QT_HASH_SEED=0 QT_QPA_PLATFORM=offscreen nice -n 10 valgrind --tool=callgrind \
            --callgrind-out-file="$OUT/$name.$i.out" "$@" >"$OUT/$name.stdout" \
            2>"$OUT/$name.$i.log" || status=$?
        counts+=("$(sed -n 's/^==[0-9]*== Collected : \([0-9]*\).*/\1/p' "$OUT/$name.$i.log")")
    done
    mapfile -t counts < <(printf '%s\n' "${counts[@]}" | sort -n)
    printf '%-5s median %13s Ir  (%s .. %s, %d runs, last exit %d)  %s\n' "$name" \
        "$(group "${counts[$((RUNS / 2))]:-0}")" "$(group "${counts[0]:-0}")" \
        "$(group "${counts[$((RUNS - 1))]:-0}")" "$RUNS" "$status" "$*"
}

echo "source: $SOURCE at $(git -C "$SOURCE" rev-parse --short HEAD)"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(valgrind --version)"
count set "$cli" set --sim "DW730 TONAL/201036" volume=2
count show "$cli" show --sim "DW730 TONAL/201036"
count demo "$demo" --scenario "$SOURCE/examples/connect-201036.scn"
