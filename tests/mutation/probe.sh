#!/usr/bin/env bash
# Mutation probe of the conversation core: applies each mutant of mutants.txt, one at a time,
# to a scratch copy of this tree, builds the test binaries that drive the conversation, runs
# them, and prints one table line per mutant. Run by hand (not part of the tests); slow.
#
# Usage: tests/mutation/probe.sh [ID...]         (no ID: every mutant)
#   SV_PROBE_DIR      scratch copy (default: <this tree>-mutants beside it), with its build dir
#   SV_PROBE_TIMEOUT  seconds for one test binary (default 300)
#   SV_PROBE_OUT      where the table is also written (default $SV_PROBE_DIR/probe-table.md)
#   SV_PROBE_ALL=1    build and run every binary on every mutant, so that the table also
#                     tells which binaries catch it (slower: each binary is linked each time)
#
# The copy is the working tree as it is (tracked and untracked, not ignored, files). By
# default the binaries are built and run one after the other until one fails.
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
HERE="$ROOT/tests/mutation"
MUTANTS="$HERE/mutants.txt"
SCRATCH="${SV_PROBE_DIR:-$(dirname "$ROOT")/$(basename "$ROOT")-mutants}"
BUILD="$SCRATCH/build"
TIMEOUT="${SV_PROBE_TIMEOUT:-300}"
OUT="${SV_PROBE_OUT:-$SCRATCH/probe-table.md}"
# Core first: the first failing test named is then the closest to the fault.
TARGETS=(core_tests conversation_tests cli_request_tests cli_session_tests window_tests
         cli_window_tests window_stress_tests demo_examples_tests)

export CCACHE_DIR="${CCACHE_DIR:-/work/.ccache}" CCACHE_BASEDIR="${CCACHE_BASEDIR:-/work}"
export CCACHE_NOHASHDIR=1 QT_QPA_PLATFORM=offscreen
renice -n 10 $$ >/dev/null 2>&1 || true

log() { printf '%s\n' "$*" >&2; }

# Copies only the files that differ, with a new time stamp, so that the build sees them.
copy_tree() {
    local f
    mkdir -p "$SCRATCH"
    while IFS= read -r -d '' f; do
        [ -f "$ROOT/$f" ] || continue
        cmp -s "$ROOT/$f" "$SCRATCH/$f" && continue
        mkdir -p "$SCRATCH/$(dirname "$f")"
        cp "$ROOT/$f" "$SCRATCH/$f"
    done < <(cd "$ROOT" && git ls-files -co --exclude-standard -z)
}

# build [TARGET...]: every target when none is given.
build() {
    local targets=("$@")
    [ ${#targets[@]} -eq 0 ] && targets=("${TARGETS[@]}")
    cmake --build "$BUILD" -j2 --target "${targets[@]}" >"$SCRATCH/build.log" 2>&1
}

binary_of() { find "$BUILD/tests" -type f -name "$1" -perm -u+x | head -n1; }

# run_tests [--build]: sets CAUGHT_BY (first failing test, or empty) and CAUGHT_IN (binaries
# that failed); with --build each binary is built just before it runs, and a build that fails
# sets BUILD_FAILED.
run_tests() {
    CAUGHT_BY="" CAUGHT_IN="" BUILD_FAILED=""
    local t bin rc first
    for t in "${TARGETS[@]}"; do
        [ -n "$CAUGHT_BY" ] && [ -z "${SV_PROBE_ALL:-}" ] && break
        if [ "${1:-}" = --build ] && ! build "$t"; then
            BUILD_FAILED="$t"
            return
        fi
        bin="$(binary_of "$t")"
        (cd "$(dirname "$bin")" &&
            timeout --kill-after=10 "$TIMEOUT" "$bin" --gtest_brief=1 --gtest_fail_fast) \
            >"$SCRATCH/test.log" 2>&1
        rc=$?
        [ $rc -eq 0 ] && continue
        first="$(grep -m1 -E '^\[  FAILED  \] [^ ]+' "$SCRATCH/test.log" | awk '{print $4}' | sed 's/,$//')"
        if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
            first="$t (time-out after ${TIMEOUT} s)"
        elif [ -z "$first" ]; then
            # A crash inside a test: name the first failed expectation, if any.
            first="$(grep -m1 -oE '[^ ]+:[0-9]+: Failure' "$SCRATCH/test.log" | sed 's/: Failure//')"
            first="$t (exit code $rc${first:+ after a failure at $first})"
        else
            first="$t: $first"
        fi
        [ -z "$CAUGHT_BY" ] && CAUGHT_BY="$first"
        CAUGHT_IN="${CAUGHT_IN:+$CAUGHT_IN, }$t"
    done
}

copy_tree
if [ ! -f "$BUILD/build.ninja" ]; then
    cmake -S "$SCRATCH" -B "$BUILD" -G Ninja -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
        -DCMAKE_C_COMPILER_LAUNCHER=ccache >"$SCRATCH/configure.log" 2>&1 ||
        { log "configure failed: $SCRATCH/configure.log"; exit 2; }
fi
log "building the unmutated tree in $BUILD"
build || { log "the unmutated tree does not build: $SCRATCH/build.log"; exit 2; }
run_tests
if [ -n "$CAUGHT_BY" ]; then
    log "the unmutated tree fails its tests ($CAUGHT_BY): nothing to probe"
    exit 2
fi

mapfile -t LIST < <(python3 "$HERE/mutants.py" "$MUTANTS" list) || exit 2
WANTED=" $* "
BACKUP="$SCRATCH/.probe-original"
CURRENT=""
restore() {
    [ -n "$CURRENT" ] && cp "$BACKUP" "$SCRATCH/$CURRENT"
    CURRENT=""
}
trap 'restore; exit 130' INT TERM

commit="$(git -C "$ROOT" rev-parse --short HEAD)"
git -C "$ROOT" diff --quiet HEAD -- src || commit="$commit + local changes in src"
{
    echo "Mutation probe, $(date -u +%Y-%m-%d), commit $commit, ${#LIST[@]} mutants in tests/mutation/mutants.txt"
    echo "Binaries, in this order: ${TARGETS[*]}"
    echo
    if [ -n "${SV_PROBE_ALL:-}" ]; then
        echo "| id | file | fault | verdict | binaries that fail |"
        echo "|---|---|---|---|---|"
    else
        echo "| id | file | fault | verdict |"
        echo "|---|---|---|---|"
    fi
} | tee "$OUT"

total=0 caught=0 missed=0 other=0
for entry in "${LIST[@]}"; do
    IFS=$'\t' read -r id file fault <<<"$entry"
    [ "$#" -gt 0 ] && [[ "$WANTED" != *" $id "* ]] && continue
    total=$((total + 1))
    cp "$SCRATCH/$file" "$BACKUP" 2>/dev/null
    python3 "$HERE/mutants.py" "$MUTANTS" apply "$id" "$SCRATCH"
    case $? in
    0) CURRENT="$file" ;;
    3) verdict="NOT APPLIED (text not found)" ;;
    4) verdict="NOT APPLIED (text not unique)" ;;
    5) verdict="NOT APPLIED (no such file)" ;;
    *) verdict="NOT APPLIED (error)" ;;
    esac
    in=""
    if [ -n "$CURRENT" ]; then
        run_tests --build
        if [ -n "$BUILD_FAILED" ]; then
            verdict="DOES NOT BUILD (not counted)"
            cp "$SCRATCH/build.log" "$SCRATCH/build-$id.log"
        else
            if [ -n "$CAUGHT_BY" ]; then
                verdict="caught by $CAUGHT_BY" in="$CAUGHT_IN"
                caught=$((caught + 1))
            else
                verdict="MISSED"
                missed=$((missed + 1))
            fi
        fi
        restore
    fi
    case "$verdict" in caught*|MISSED) ;; *) other=$((other + 1)) ;; esac
    if [ -n "${SV_PROBE_ALL:-}" ]; then
        echo "| $id | $file | $fault | $verdict | $in |"
    else
        echo "| $id | $file | $fault | $verdict |"
    fi | tee -a "$OUT"
done

# Leave the scratch tree built as it was.
build || log "the restored tree does not build: $SCRATCH/build.log"
{
    echo
    echo "Total $total: caught $caught, MISSED $missed, not applied or not built $other."
} | tee -a "$OUT"
[ "$missed" -eq 0 ] && [ "$other" -eq 0 ]
