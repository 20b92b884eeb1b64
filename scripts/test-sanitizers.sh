#!/usr/bin/env bash
# The suite once under AddressSanitizer + UndefinedBehaviorSanitizer, and the threaded
# HID layer under ThreadSanitizer.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
sv_install
export QT_QPA_PLATFORM=offscreen
supp="$SV_ROOT/tests/lsan.supp"

cmake -S "$SV_ROOT" -B "$SV_ROOT/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DSV_SANITIZE=address,undefined >/dev/null
# Test discovery runs the test binaries while building: the options apply there too.
# umockdev's preload library comes before the sanitizer runtime in the Linux services tests.
export ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1
export LSAN_OPTIONS="suppressions=$supp"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake --build "$SV_ROOT/build-asan" -j "$(nproc)"
ctest --test-dir "$SV_ROOT/build-asan" --output-on-failure -j "$(nproc)" --timeout 600

cmake -S "$SV_ROOT" -B "$SV_ROOT/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DSV_SANITIZE=thread >/dev/null
# The threaded parts: controller, devices and readers on the sim services with the hand-over
# queue, the Linux services on emulated hidraw nodes, the plug-cycle stress. The Qt flavour of
# the hand-over is left out: Qt's own futex locks are invisible to a ThreadSanitizer that did
# not build Qt, so every hand-over through them would be reported.
# The scenario runner in virtual time joins them: its hand-over is the manual one, so the
# reader threads never touch Qt; its real-time smoke test is left out like the Qt hand-over.
# The command line's sessions on simulated units use the manual hand-over too. The store is
# used by several conversations' threads at once: the record, backups and data folder. The
# batch of several units at once runs there (cli_session_tests) and on emulated hidraw nodes,
# each unit with its own reader thread (hid_linux_batch_tests).
tsan_targets=(hid_tests hid_stress_tests hid_linux_tests demo_examples_tests cli_session_tests
              store_tests hid_linux_batch_tests)
# The test that shows the window and closes it is left out too: a shown window is painted,
# and Qt converts the painted images on threads of its own pool, through the same locks.
declare -A tsan_filter=([demo_examples_tests]="-*RealTime*:*ClosingTheWindow*")
cmake --build "$SV_ROOT/build-tsan" -j "$(nproc)" --target "${tsan_targets[@]}"
for t in "${tsan_targets[@]}"; do
    exe=$(find "$SV_ROOT/build-tsan/tests" -type f -name "$t" -perm -u+x | head -n 1)
    [ -n "$exe" ] || continue
    echo "== $t under ThreadSanitizer"
    TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$SV_ROOT/tests/tsan.supp" \
        "$exe" --gtest_filter="${tsan_filter[$t]:-*}"
done
