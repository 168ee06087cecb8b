#!/usr/bin/env bash
# Installs the Debian packages the build needs, and only those that are missing,
# so a second run costs nothing and never touches the network.
set -euo pipefail

packages=(
    cmake
    g++
    make
    pkg-config
    qt6-base-dev
    qt6-base-dev-tools
    # lupdate and lrelease (qt6-l10n-tools) and Qt6LinguistTools for CMake: the editor's
    # translations are built in, and TestTranslations runs lupdate over the sources.
    qt6-tools-dev
    qt6-l10n-tools
    # Qt's own German texts (buttons, file dialogs), loaded at start when installed.
    qt6-translations-l10n
    libarchive-dev
    # zlib: library files deflate on a thread of their own behind the tar writer.
    zlib1g-dev
    libftdi1-dev
    libusb-1.0-0-dev
    # dpkg-shlibdeps: the Debian package's dependencies (scripts/make-deb.sh, TestDebianPackage).
    dpkg-dev
    # QLC+'s fixture files: the fixture browser's catalogue, read whole by the tests and
    # the catalogue benchmark.
    qlcplus-data
    # pdftotext and pdfinfo: the tests read the channel sheets' PDFs back as a reader would.
    # Qt's print support, for the print dialogs, comes with qt6-base-dev.
    poppler-utils
)

missing=()
for p in "${packages[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
