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
# A package named NAME:ARCH needs ARCH added to dpkg first (multiarch). Debian serves every
# architecture from one archive; Ubuntu serves arm64 from another (ports.ubuntu.com), which
# its sources would have to name first.
for arch in $(printf '%s\n' "${missing[@]}" | sed -n 's/^[^:]*://p' | sort -u); do
    dpkg --print-foreign-architectures | grep -qxF "$arch" && continue
    [[ "$arch" == "$(dpkg --print-architecture)" ]] && continue
    if ! grep -qx 'ID=debian' /etc/os-release; then
        echo "Adding the $arch architecture is done on Debian only; install these yourself:" >&2
        echo "  ${missing[*]}" >&2
        exit 1
    fi
    echo "Adding the $arch architecture to dpkg"
    "${as_root[@]}" dpkg --add-architecture "$arch"
done
echo "Installing: ${missing[*]}"
# Another install may hold dpkg's lock: wait for it rather than fail.
wait=(-o DPkg::Lock::Timeout=900)
"${as_root[@]}" apt-get "${wait[@]}" update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${wait[@]}" install -y "${missing[@]}"
