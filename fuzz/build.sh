#!/usr/bin/env bash
# Builds the fuzz targets into build-fuzz/ with clang, libFuzzer, ASan and UBSan; the
# libraries they link are instrumented too. Shared by run.sh and check-corpus.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh clang libclang-rt-14-dev

build="build-fuzz"
if [ ! -f "$build/CMakeCache.txt" ]; then
    # -O1 keeps the runs fast enough to fuzz while the stacks stay readable.
    CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g" \
        -DQRD_FUZZ=ON -DQRD_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target fuzz_all --parallel "$(nproc)"
