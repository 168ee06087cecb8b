#!/usr/bin/env bash
# Builds the benchmarks in release mode (into build-bench/) and runs them all, one after
# the other. Standard output carries only the figures, one JSON line each with name,
# value, unit, reference and ratio; progress goes to standard error. Fails when any
# benchmark fails.
# Usage: bench/run.sh [--quick]   (--quick: a 2-second idle measurement instead of 10)
set -euo pipefail
cd "$(dirname "$0")/.."

idleSeconds=10
if [ "${1:-}" = "--quick" ]; then
    idleSeconds=2
fi

benchmarks=(bench-library bench-library-panel bench-list-model bench-kvp-link bench-worker-idle bench-editor-memory
    bench-catalogue bench-device-fit bench-channel-sheets)

./scripts/install-deps.sh >&2
if [ ! -f build-bench/CMakeCache.txt ]; then
    cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQRD_BUILD_TESTS=OFF >&2
fi
# Two jobs at most: the machine is shared, and the figures suffer from a busy one anyway.
cmake --build build-bench --parallel 2 --target "${benchmarks[@]}" >&2

failed=()
for benchmark in "${benchmarks[@]}"; do
    args=()
    if [ "$benchmark" = bench-worker-idle ]; then
        args=(--seconds "$idleSeconds")
    fi
    echo "== $benchmark ${args[*]:-}" >&2
    if ! "build-bench/bin/$benchmark" "${args[@]}"; then
        echo "$benchmark failed" >&2
        failed+=("$benchmark")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "failed: ${failed[*]}" >&2
    exit 1
fi
