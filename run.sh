#!/usr/bin/env bash
# Builds the editor (incrementally, into build/) and starts it.
# Usage: ./run.sh [LIBRARY]
#        ./run.sh --demo    the demo library with two simulated devices
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQRD_BUILD_TESTS=OFF >/dev/null
fi
cmake --build build --parallel "$(nproc)" --target qrd-fixture-editor kvfl kvp-device-sim

if [ "${1:-}" = "--demo" ]; then
    shift
    # A copy, so the demo's edits never touch the library in the repository, and settings
    # of its own, so the demo does not become the user's last library.
    demo=$(mktemp -d "${TMPDIR:-/tmp}/qrd-demo.XXXXXX")
    cp examples/demo.kvfl "$demo/demo.kvfl"
    export XDG_CONFIG_HOME="$demo/config"
    export KVP_FTDI_BACKEND=sim
    # A QRD-780 that holds a dozen definitions and a patch list (an upload asks to erase it)
    # and a QRD-540B with old firmware (choose it and the editor offers the update).
    export KVP_SIM_DEVICES='model=QRD-780,records=12,patch=1;model=QRD-540B,fw=0x0101,records=3'
    echo "Demo library: $demo/demo.kvfl" >&2
    exec build/bin/qrd-fixture-editor "$demo/demo.kvfl" "$@"
fi
exec build/bin/qrd-fixture-editor "$@"
