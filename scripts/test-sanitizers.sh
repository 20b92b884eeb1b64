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
cmake --build "$SV_ROOT/build-asan" -j "$(nproc)"
ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1 LSAN_OPTIONS="suppressions=$supp" \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$SV_ROOT/build-asan" --output-on-failure -j "$(nproc)" --timeout 600

cmake -S "$SV_ROOT" -B "$SV_ROOT/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DSV_SANITIZE=thread >/dev/null
cmake --build "$SV_ROOT/build-tsan" -j "$(nproc)" --target hid_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir "$SV_ROOT/build-tsan" -R '^hid_tests|Controller|Device|Reader|MainThread|Stress' \
    --output-on-failure --timeout 600
