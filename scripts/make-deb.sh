#!/usr/bin/env bash
# Builds the Debian package qrd-fixture-editor_VERSION_ARCH.deb: a release build without
# tests in build-deb/, then `cpack -G DEB` (dist/deb/). Prints the path of the package.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

build=build-deb
# Built as Debian builds its own packages: fortified libc calls, stack protector, full
# RELRO with immediate binding. CMake reads no CPPFLAGS, so they join the compiler flags.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQRD_BUILD_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
# An earlier version's package would be listed too.
rm -f "$build"/qrd-fixture-editor_*.deb
cpack --config "$build/CPackConfig.cmake" -B "$build" -G DEB >/dev/null
realpath "$build"/qrd-fixture-editor_*.deb
