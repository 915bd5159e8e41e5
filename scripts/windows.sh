#!/usr/bin/env bash
# Cross-builds Wirelet.exe for 64-bit Windows with MinGW-w64 against the Qt SDK for Windows
# (../shared/toolchains/qt-5.15.8-mingw64.tar.xz, or the archive $WIRELET_QT_SDK names), in
# build-windows/, then runs its tests under Wine: the Qt tests built for Windows, with COM7 a
# pseudo-terminal the tests play the device of, and the checks of the portable ZIP and of the
# MSI, each on a fresh Wine prefix.
#   scripts/windows.sh [ctest-option...]
# Without the SDK it stops with a note, or with an error when CI is set.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

archive="${WIRELET_QT_SDK:-$root/../shared/toolchains/qt-5.15.8-mingw64.tar.xz}"
if [[ ! -f "$archive" ]]; then
    echo "windows: no Qt SDK for Windows at $archive" >&2
    [[ -z "${CI:-}" ]] || exit 1
    echo "windows: skipped (set WIRELET_QT_SDK to the archive)" >&2
    exit 0
fi
"$root/scripts/install-packages.sh" cmake make g++-mingw-w64-x86-64-posix \
    wine wine64 socat xvfb xauth xdotool imagemagick icoutils unzip wixl

build="$root/build-windows"
sdk="$build/sdk/$(basename "$archive" .tar.xz)"
# Unpacked again when the archive is another one of the same name, or rebuilt since.
from="$(stat -L -c '%s %Y' "$archive") $(realpath "$archive")"
if [[ ! -d "$sdk" || "$(cat "$sdk.from" 2>/dev/null)" != "$from" ]]; then
    echo "windows: unpacking $archive" >&2
    rm -rf "$sdk"
    mkdir -p "$build/sdk"
    tar -xJf "$archive" -C "$build/sdk"
    echo "$from" >"$sdk.from"
fi
cmake -S "$root" -B "$build" --toolchain "$root/platform/windows/mingw-w64.cmake" \
    -DCMAKE_PREFIX_PATH="$sdk" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_COMPILE_WARNING_AS_ERROR="${WIRELET_WERROR:-0}" \
    -DWIRELET_QT_SOURCE="qtbase: Debian 12's source package qtbase-opensource-src 5.15.8+dfsg (https://sources.debian.org/src/qtbase-opensource-src/); Qt Serial Port: https://code.qt.io/qt/qtserialport.git, tag v5.15.8-lts-lgpl"
cmake --build "$build" --parallel "$(nproc)"

# A prefix of its own, made afresh, whose COM7 is the pseudo-terminal that socat makes for each
# connection to WIRELET_DEVICE_PORT: the tests' device side.
export WINEPREFIX="$build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver
rm -rf "$WINEPREFIX"
"$wine" wineboot -i >/dev/null 2>&1
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM7 /t REG_SZ /d "$build/com7" /f >/dev/null
"$wineserver" -k && "$wineserver" -w # gone, before another takes its place
# In the foreground the server starts no session of its own, so no pseudo-terminal becomes its
# controlling terminal, whose hang-up would make it dump its state.
"$wineserver" -f -p 2>"$build/wineserver.log" &
# Wine's services, started by the first program, would hold on to its output, and so keep
# CTest waiting for the end of the first test's: started here, they hold nothing.
"$wine" cmd /c exit >/dev/null 2>&1
# On a port the system picks, so that runs side by side do not collide; socat says which.
socat -d -d tcp-listen:0,bind=127.0.0.1,reuseaddr,fork pty,raw,echo=0,link="$build/com7" \
    2>"$build/socat.log" &
socat=$!
trap '"$wineserver" -k; kill $socat' EXIT
for _ in $(seq 50); do
    port=$(sed -n '/ listening on /{s/.*:\([0-9]*\)$/\1/p;q}' "$build/socat.log")
    [[ -z "$port" ]] || break
    sleep 0.1
done
[[ -n "$port" ]] || { echo "windows: socat is not listening" >&2; exit 1; }
export WIRELET_DEVICE_PORT=$port
if [[ ! -L "$WINEPREFIX/dosdevices/com7" ]]; then
    echo "windows: Wine's services made no COM7 in $WINEPREFIX" >&2
    exit 1
fi

# The Qt DLLs and plug-ins for the test programs; Wine passes QT_ variables on only with WINE
# in front.
runtime="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")"
export WINEPATH="Z:$runtime;Z:/usr/x86_64-w64-mingw32/lib;Z:$sdk/bin"
export WINEQT_PLUGIN_PATH="Z:$sdk/plugins"
cd "$build" && ctest --output-on-failure "$@"
