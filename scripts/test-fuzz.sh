#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and gives each a fixed number of runs from its
# seed corpus. Long runs: build-fuzz/tests/fuzz/<target> -max_len=2100
#   build-fuzz/tests/fuzz/found-<target> tests/fuzz/corpus/<target>  (findings go to the first folder)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
sv_install clang libclang-rt-14-dev
CC=clang CXX=clang++ cmake -S "$SV_ROOT" -B "$SV_ROOT/build-fuzz" -G Ninja -DSV_FUZZ=ON >/dev/null
cmake --build "$SV_ROOT/build-fuzz" -j "$(nproc)" --target reply params descriptor simcmd upload conversation \
    profile scenario settings
ctest --test-dir "$SV_ROOT/build-fuzz" -R '_smoke$' --output-on-failure
