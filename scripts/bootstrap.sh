#!/usr/bin/env bash
# Installs what Wirelet needs on Debian or Ubuntu, then configures and builds it in build/.
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

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]})); then
    if ! command -v apt-get >/dev/null; then
        echo "Wirelet needs these packages (or your system's equivalents): ${missing[*]}" >&2
        exit 1
    fi
    as_root=()
    if [[ $(id -u) -ne 0 ]]; then
        if ! command -v sudo >/dev/null; then
            echo "Installing ${missing[*]} needs root: run this as root or install sudo." >&2
            exit 1
        fi
        as_root=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    "${as_root[@]}" apt-get update
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
fi

cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build" --parallel "$(nproc)"
