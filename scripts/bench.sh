#!/usr/bin/env bash
# Builds the Release benchmark program and runs it: the hot-path benchmarks (Google
# Benchmark), then the conversation harness, which prints a table of figures and targets.
# Usage: scripts/bench.sh [--micro | --harness] [Google Benchmark options]
# Exit status 1 when a harness figure misses its target.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
sv_install
build="$SV_ROOT/build-bench"
cmake -S "$SV_ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target sonavelle-bench
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(. /etc/os-release && echo "$PRETTY_NAME")"
exec "$build/bench/sonavelle-bench" "$@"
