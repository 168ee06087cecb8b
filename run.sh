#!/usr/bin/env bash
# Builds the editor (incrementally, into build/) and starts it.
# Usage: ./run.sh [LIBRARY]
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQRD_BUILD_TESTS=OFF >/dev/null
fi
cmake --build build --parallel "$(nproc)" --target qrd-fixture-editor kvfl kvp-device-sim bench-library bench-kvp-link bench-list-model bench-library-panel
exec build/bin/qrd-fixture-editor "$@"
