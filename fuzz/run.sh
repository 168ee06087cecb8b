#!/usr/bin/env bash
# Fuzzes every parser for SECONDS (default 60) each, two targets at a time, and prints
# how many inputs each tried. New inputs collect in build-fuzz/corpus/<target>/ (kept
# between runs; fuzz/corpus/ stays as committed), findings in build-fuzz/artifacts/<target>/.
# Exits 1 when any target found a crash, a leak, a timeout or ran out of memory.
#
#   fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

fuzz/build.sh
# shellcheck source=fuzz/env.sh
source fuzz/env.sh

build="build-fuzz"
mkdir -p "$build/logs"

fuzz_one() {
    local target=$1
    mkdir -p "$build/corpus/$target" "$build/artifacts/$target"
    # shellcheck disable=SC2086 # the flags are words
    "$build/bin/$target" ${target_flags[$target]:-} -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target/" "$build/corpus/$target" "fuzz/corpus/$target" \
        >"$build/logs/$target.log" 2>&1
}

failed=()
# Two at a time: CI machines and most laptops we share have two cores to spare.
for ((i = 0; i < ${#targets[@]}; i += 2)); do
    pids=()
    for target in "${targets[@]:i:2}"; do
        fuzz_one "$target" &
        pids+=("$!:$target")
    done
    for entry in "${pids[@]}"; do
        if ! wait "${entry%%:*}"; then
            failed+=("${entry#*:}")
        fi
    done
done

for target in "${targets[@]}"; do
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/logs/$target.log" | tail -n 1)
    printf '%-20s %12s executions\n' "$target" "${runs:-?}"
done

if [ ${#failed[@]} -gt 0 ]; then
    for target in "${failed[@]}"; do
        echo "FINDING in $target: see $build/logs/$target.log and $build/artifacts/$target/" >&2
    done
    exit 1
fi
