#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up the machine, then builds and runs every test twice: once in a plain
# optimised build and once under AddressSanitizer and UndefinedBehaviorSanitizer.
# With CI=true, warnings are errors.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

run_suite() {
    local name=$1 preset=$2
    echo "== $name build"
    cmake --preset "$preset" -DQUENDLE_WERROR="$werror" >/dev/null
    cmake --build "build/$preset" -j "$jobs"
    echo "== $name tests"
    ctest --test-dir "build/$preset" -j "$jobs" --output-on-failure
}

run_suite plain ci-plain
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite sanitized asan
