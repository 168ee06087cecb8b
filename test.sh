#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/)
# and runs every test with CTest on Qt's offscreen platform, then every fuzz target over
# its corpus (fuzz/check-corpus.sh, clang in build-fuzz/). Any sanitizer report fails.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

build=build-asan
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQRD_SANITIZE=ON -DQRD_BUILD_TESTS=ON >/dev/null
fi
cmake --build "$build" --parallel "$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" --timeout 600

# Every fuzz target over its committed corpus, with clang in build-fuzz/ (see README, Fuzzing).
fuzz/check-corpus.sh
