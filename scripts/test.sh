#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up the machine, then builds and runs every test twice: once in a plain
# optimised build and once under AddressSanitizer and UndefinedBehaviorSanitizer.
# Between the two, each fuzz target runs for a short while under libFuzzer (clang)
# and the wizard's tests run under ThreadSanitizer.
# Last, scripts/windows.sh cross-builds for Windows and runs those tests under
# Wine; QUENDLE_SKIP_WINDOWS=1 leaves it out locally, never under CI.
# With CI=true, warnings are errors.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
fuzz_seconds=${QUENDLE_FUZZ_SECONDS:-45}

run_suite() {
    local name=$1 preset=$2
    echo "== $name build"
    cmake --preset "$preset" -DQUENDLE_WERROR="$werror" >/dev/null
    cmake --build "build/$preset" -j "$jobs"
    echo "== $name tests"
    ctest --test-dir "build/$preset" -j "$jobs" --output-on-failure
}

# Under ThreadSanitizer: library calls on several threads at once, a silent
# batch converting several inputs at once and, where the wizard is built, its
# worker thread and the page it reports to.
run_thread_checks() {
    cmake --preset tsan -DQUENDLE_WERROR="$werror" >/dev/null
    local targets=(library_threads_test platform_tests quendle)
    local tests='^library_threads$|^parallel_batch_python|^WorkbookLock\.'
    if grep -q '^QUENDLE_WIZARD:BOOL=ON' build/tsan/CMakeCache.txt; then
        targets+=(wizard_run wizard_parts wizard_core_tests)
        tests+='|^wizard_|^RunConversion'
    fi
    echo "== thread checks build"
    cmake --build build/tsan -j "$jobs" --target "${targets[@]}"
    echo "== thread checks"
    ctest --test-dir build/tsan -R "$tests" --output-on-failure
}

run_fuzzers() {
    echo "== fuzz build"
    cmake --preset fuzz >/dev/null
    local targets=(fuzz_parameters fuzz_csv fuzz_xlsx_loader fuzz_xls_loader)
    local corpora=(parameters csv xlsx xls)
    cmake --build build/fuzz -j "$jobs" --target "${targets[@]}"
    for i in "${!targets[@]}"; do
        # Work on a copy: new inputs libFuzzer finds stay out of the tree.
        local work="build/fuzz/corpus-${corpora[$i]}"
        rm -rf "$work" && cp -r "tests/fuzz/corpus/${corpora[$i]}" "$work"
        echo "== fuzz ${targets[$i]} for ${fuzz_seconds} s"
        local log="build/fuzz/${targets[$i]}.log"
        if ! "build/fuzz/tests/fuzz/${targets[$i]}" -max_total_time="$fuzz_seconds" \
            -rss_limit_mb=2048 -timeout=20 -print_final_stats=1 "$work" >"$log" 2>&1; then
            # A failure's report starts with the fault and its stack; the
            # statistics at the end say nothing about it.
            sed -n '/ERROR: \|invariant broken\|does not load\|save failed\|deadly signal/,$p' \
                "$log" | head -n 150 || true
            echo "FAILED: ${targets[$i]}; the input that failed is the crash- or timeout- file" \
                "it names, the whole report is $log"
            return 1
        fi
        tail -n 40 "$log"
    done
}

# How long each stage took, so that a slow CI run shows where its time went.
started=$SECONDS
timed() {
    local stage=$1 began=$SECONDS
    shift
    "$@"
    echo "== $stage took $((SECONDS - began)) s ($((SECONDS - started)) s so far)"
}

echo "== format"
git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format-14 --dry-run --Werror

timed "plain suite" run_suite plain ci-plain
timed "fuzzing" run_fuzzers
timed "thread checks" run_thread_checks
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    timed "sanitized suite" run_suite sanitized asan

if [ "${QUENDLE_SKIP_WINDOWS:-}" = "1" ] && [ "${CI:-}" != "true" ]; then
    echo "== Windows skipped (QUENDLE_SKIP_WINDOWS=1)"
else
    QUENDLE_WINDOWS_WERROR="$werror" timed "Windows build and tests" scripts/windows.sh
fi
echo "== all tests done in $((SECONDS - started)) s"
