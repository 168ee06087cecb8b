#!/usr/bin/env bash
# Runs every fuzz target once over each input of its committed corpus (no new inputs),
# so the regression inputs of past findings keep passing. Called by test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz/build.sh
# shellcheck source=fuzz/env.sh
source fuzz/env.sh

for target in "${targets[@]}"; do
    # -runs=0: read the corpus, run each input once, stop.
    if ! build-fuzz/bin/"$target" -runs=0 -rss_limit_mb=2048 -timeout=60 "fuzz/corpus/$target" \
        >"build-fuzz/$target.check.log" 2>&1; then
        cat "build-fuzz/$target.check.log" >&2
        echo "fuzz corpus check failed: $target" >&2
        exit 1
    fi
    echo "fuzz corpus: $target: $(find "fuzz/corpus/$target" -type f | wc -l) inputs pass"
done
