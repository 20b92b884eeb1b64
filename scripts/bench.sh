#!/usr/bin/env bash
# Builds the Release benchmark program and runs it: the hot-path benchmarks (Google
# Benchmark), then the conversation harness, which prints a table of figures and targets.
# The harness's figures include the command line's batch of several units at once
# (SV_BENCH_FIGURES=parallel): in virtual time, and on the simulated services in real time.
# Usage: scripts/bench.sh [--micro | --harness] [Google Benchmark options]
#        scripts/bench.sh --batch [UNITS]   the command line's batch on UNITS simulated units
#                                           (default 10000) with --log: CPU and wall per unit
# Exit status 1 when a harness figure misses its target.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
sv_install
build="$SV_ROOT/build-bench"
launcher=()
command -v ccache >/dev/null &&
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$SV_ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSV_BUILD_TESTS=OFF \
    "${launcher[@]}" >/dev/null
machine="machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(. /etc/os-release && echo "$PRETTY_NAME")"
if [ "${1:-}" = --batch ]; then
    units="${2:-10000}"
    cmake --build "$build" -j "$(nproc)" --target sonavelle-cli
    cli="$(find "$build/src" -type f -name sonavelle-cli -perm -u+x | head -n1)"
    work="$(mktemp -d)"
    trap 'rm -rf "$work"' EXIT
    printf 'volume=2\nvoice-guide=high\n' >"$work/bench.conf"
    # Each unit is backed up and recorded, as on a bench: into the run's own folder.
    export XDG_DATA_HOME="$work/data"
    echo "$machine"
    # Virtual time: the run takes as long as the machine needs, nothing waits on a clock.
    TIMEFORMAT='%R %U %S'
    { time "$cli" batch --sim "DW730 TONAL/201036" --count "$units" --from "$work/bench.conf" \
        --log "$work/bench.log" >"$work/out" 2>/dev/null; } 2>"$work/time"
    read -r real user sys <"$work/time"
    tail -n1 "$work/out"
    awk -v n="$units" -v r="$real" -v u="$user" -v s="$sys" -v l="$(wc -l <"$work/bench.log")" \
        'BEGIN { printf "batch of %d units with --log (%d log lines): CPU %.2f ms per unit (user %.2f, system %.2f), wall %.2f ms per unit\n", n, l, (u + s) * 1000 / n, u * 1000 / n, s * 1000 / n, r * 1000 / n }'
    exit 0
fi
cmake --build "$build" -j "$(nproc)" --target sonavelle-bench
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
echo "$machine"
exec "$build/bench/sonavelle-bench" "$@"
