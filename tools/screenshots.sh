#!/usr/bin/env bash
# Pictures of the editor (PNG) from real windows under Xvfb: the window with a library and
# a device list, an upload in progress, and the firmware dialog, plus the single forms; the
# same again in German in FOLDER/de.
# Usage: tools/screenshots.sh [FOLDER]   (default: screenshots/)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-screenshots}
mkdir -p "$out/de"
out=$(cd "$out" && pwd)

scripts/install-deps.sh xvfb x11-utils
[ -f build-asan/CMakeCache.txt ] || cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQRD_SANITIZE=ON >/dev/null
cmake --build build-asan --target qrd-screenshots

# The X libraries keep a few bytes to the end of the process; that is theirs, not ours.
# The worker's diagnostic lines would bury the list of pictures.
ASAN_OPTIONS=detect_leaks=0 QT_LOGGING_RULES="*.debug=false" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
    build-asan/bin/qrd-screenshots "$out"
ASAN_OPTIONS=detect_leaks=0 QT_LOGGING_RULES="*.debug=false" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
    build-asan/bin/qrd-screenshots "$out/de" de
ls "$out" "$out/de"
