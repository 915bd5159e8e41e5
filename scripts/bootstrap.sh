#!/usr/bin/env bash
# Installs what a build of Wirelet needs on Debian or Ubuntu, then configures and builds it,
# incrementally, in a folder of its own:
#   scripts/bootstrap.sh [--tests | --app] [VARIANT]
#     default  GCC and Qt 5, in build/ (what ./run.sh starts and ./test.sh tests)
#     clang    Clang and Qt 5, in build-clang/
#     qt6      GCC and Qt 6, in build-qt6/
#     asan     GCC and Qt 5 with AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan/
#     arm64    GCC and Qt 5 cross-built for 64-bit Arm Linux, in build-arm64/, its tests run
#              under qemu-aarch64 (Debian only: the arm64 Qt comes from Debian's multiarch)
# --tests also installs what the tests need besides the build; --app builds the program alone.
# With WIRELET_WERROR=1 in the environment (CI sets it) every warning is an error.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

tests=false targets=()
case "${1:-}" in
--tests) tests=true && shift ;;
--app) targets=(--target wirelet) && shift ;;
esac
variant="${1:-default}"

packages=(cmake g++ make fonts-wqy-microhei) # the Chinese texts render with the font
qt5=(qtbase5-dev libqt5serialport5-dev)
options=()
case "$variant" in
default) packages+=("${qt5[@]}") ;;
clang) packages+=("${qt5[@]}" clang) options=(-DCMAKE_CXX_COMPILER=clang++) ;;
qt6) packages+=(qt6-base-dev qt6-serialport-dev qt6-base-dev-tools) options=(-DWIRELET_QT=6) ;;
asan) packages+=("${qt5[@]}") options=(-DWIRELET_SANITIZE=ON) ;;
arm64)
    packages+=(g++-aarch64-linux-gnu qemu-user "${qt5[@]/%/:arm64}")
    options=(--toolchain "$root/platform/linux/aarch64.cmake")
    ;;
*)
    echo "unknown variant '$variant': default, clang, qt6, asan or arm64" >&2
    exit 2
    ;;
esac
if $tests; then
    packages+=(
        dpkg-dev desktop-file-utils appstream # the .deb's Depends; the menu entry; its metadata
        lintian # the .deb as Debian's own checker sees it
        xvfb xauth # a 1920x1080 display for the scaled window
        openbox wmctrl x11-utils xdotool # a window manager asked to maximise it, and what it did
    )
fi
"$root/scripts/install-packages.sh" "${packages[@]}"

build="$root/build"
[[ "$variant" == default ]] || build+="-$variant"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_COMPILE_WARNING_AS_ERROR="${WIRELET_WERROR:-0}" "${options[@]}"
cmake --build "$build" --parallel "$(nproc)" "${targets[@]}"
