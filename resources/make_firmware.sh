#!/bin/sh
# Makes the two default update files from deterministic pseudo-random sector images, so
# that the same script always yields the same bytes. The images are no device firmware:
# they only give the simulated devices and the update dialog a valid file of realistic size.
#
# Usage: resources/make_firmware.sh [KVFL]   (default: build/bin/kvfl, run from the top folder)
set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
kvfl=${1:-$top/build/bin/kvfl}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# image NAME BYTES START: xorshift32 from START, low byte of each step.
image() {
    python3 - "$work/$1" "$2" "$3" <<'PY'
import sys
path, size, state = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
out = bytearray(size)
for i in range(size):
    state ^= (state << 13) & 0xFFFFFFFF
    state ^= state >> 17
    state ^= (state << 5) & 0xFFFFFFFF
    out[i] = state & 0xFF
open(path, "wb").write(out)
PY
}

# make MODEL BYTES START OPAQUE: one sector of BYTES (a multiple of 256) into resources/firmware.
make() {
    image "$1.img" "$2" "$3"
    "$kvfl" firmware-make "$top/resources/firmware/$1/$1.kv2" --model "$1" --opaque "$4" \
        --note "2026-12-06 $1 default update from $1.img, made by the project's generator" "$work/$1.img"
}

make QRD-540B 102400 540 0102030540
make QRD-780 256000 780 0102030780
