#!/usr/bin/env bash
# Pictures of the editor (PNG) from real windows under Xvfb: the window with a library and
# a device list, an upload in progress, and the firmware dialog, plus the single forms.
# Usage: tools/screenshots.sh [FOLDER]   (default: screenshots/)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)

scripts/install-deps.sh xvfb x11-utils
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQRD_SANITIZE=ON >/dev/null
targets=(TestEditorScreenshots TestLocalFixtureDefinitionEditForm TestLibraryForm TestDeviceForm TestAboutDialog
         TestFirmwareUpdateDlg)
cmake --build build-asan --parallel "$(nproc)" --target "${targets[@]}"

# The X libraries keep a few bytes to the end of the process; that is theirs, not ours.
export ASAN_OPTIONS=detect_leaks=0
for test in "${targets[@]}"; do
    function=screenshot
    [ "$test" = TestEditorScreenshots ] && function="editorWithLibraryAndDeviceList demoWindow"
    xvfb-run -a -s "-screen 0 1280x800x24" \
        env QT_QPA_PLATFORM=xcb QRD_SCREENSHOT_DIR="$out" "build-asan/tests/$test" $function \
        >/dev/null 2>&1 || echo "$test: no picture" >&2
done
ls "$out"
