#!/usr/bin/env bash
# Installs what Wirelet needs on Debian or Ubuntu, then configures and builds it:
#   scripts/bootstrap.sh [build-folder [cmake-option...]]     (default: build/)
# Re-runs install nothing and rebuild only what changed.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

packages=(
    cmake g++ make
    qtbase5-dev libqt5serialport5-dev
    fonts-wqy-microhei          # the Chinese texts render with it
    binutils-mingw-w64-x86-64   # checks the Windows resource script
    dpkg-dev                    # dpkg-shlibdeps: the .deb's Depends line
    desktop-file-utils          # checks the desktop entry
)

"$root/scripts/install-packages.sh" "${packages[@]}"

build="$root/${1:-build}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${@:2}"
cmake --build "$build" --parallel "$(nproc)"
