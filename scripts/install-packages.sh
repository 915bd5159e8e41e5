#!/usr/bin/env bash
# Installs whichever of the given Debian packages are missing: apt-get, through sudo when not
# root. Installs nothing, and needs no root, when all are there.
set -euo pipefail

missing=()
for package in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
((${#missing[@]})) || exit 0

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
