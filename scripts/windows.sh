#!/usr/bin/env bash
# Cross-builds Wirelet.exe for Windows with MinGW-w64 against the Qt SDKs for Windows, both
# variants from the same tree, each in a build folder of its own, tests it, and writes its ZIP
# and MSI there (signed when WIRELET_SIGN_PKCS12 and WIRELET_SIGN_PASSWORD give a code-signing
# certificate: packaging/sign.cmake):
#   x64       build-windows/: under Wine the Qt tests built for Windows, with COM7 a
#             pseudo-terminal the tests play the device of, and the checks of the ZIP and the
#             MSI, each on a fresh Wine prefix; and the checks that need no Windows
#   x86       build-windows-x86/: the checks that need no Windows, as this kernel runs no 32-bit
#             programs and so no 32-bit Wine
#   x86-wine  build-windows-x86/: x86, then under 32-bit Wine the tests that the ctest-options
#             pick (by default -R '^(app|terminal|zip|msi)$'), in the QEMU guest of the
#             real-driver stage (scripts/guest.sh), whose kernel runs 32-bit programs; the
#             checks of the packages start from what the static ones left
#   scripts/windows.sh [x64|x86|x86-wine] [ctest-option...]    # neither: x64, then x86
# The SDKs: ../shared/toolchains/qt-5.15.8-mingw64.tar.xz and qt-5.15.8-mingw32.tar.xz, or the
# archives WIRELET_QT_SDK and WIRELET_QT_SDK_X86 name. Without one it stops with a note, or with
# an error when CI is set.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
toolchains="$root/../shared/toolchains"

variant() ( # x64|x86|x86-wine|x86-guest (x86-wine's part in the guest), ctest-option...
    local variant=$1
    shift
    if [[ $variant == x64 ]]; then
        local archive="${WIRELET_QT_SDK:-$toolchains/qt-5.15.8-mingw64.tar.xz}" triplet=x86_64
        local build="$root/build-windows" toolchain=mingw-w64.cmake wine=/usr/lib/wine/wine64
        local packages=(wine wine64)
    else
        local archive="${WIRELET_QT_SDK_X86:-$toolchains/qt-5.15.8-mingw32.tar.xz}" triplet=i686
        local build="$root/build-windows-x86" toolchain=mingw-w64-i686.cmake
        local wine=/usr/lib/wine/wine packages=()
        [[ $variant == x86 ]] || packages=(wine wine32:i386)
        export WINEARCH=win32 # as the old PCs it is for; and one set of DLLs makes it faster
    fi
    if [[ ! -f "$archive" ]]; then
        echo "windows: no Qt SDK for Windows $variant at $archive" >&2
        [[ -z "${CI:-}" ]] || exit 1
        echo "windows: $variant skipped (set WIRELET_QT_SDK or WIRELET_QT_SDK_X86)" >&2
        exit 0
    fi
    "$root/scripts/install-packages.sh" cmake make "g++-mingw-w64-${triplet//_/-}-posix" \
        "${packages[@]}" socat xvfb xauth xdotool imagemagick icoutils unzip wixl msitools \
        osslsigncode openssl

    local sdk="$build/sdk/$(basename "$archive" .tar.xz)"
    # Unpacked again when the archive is another one of the same name, or rebuilt since.
    local from="$(stat -L -c '%s %Y' "$archive") $(realpath "$archive")"
    if [[ ! -d "$sdk" || "$(cat "$sdk.from" 2>/dev/null)" != "$from" ]]; then
        echo "windows: unpacking $archive" >&2
        rm -rf "$sdk"
        mkdir -p "$build/sdk"
        tar -xJf "$archive" -C "$build/sdk"
        echo "$from" >"$sdk.from"
    fi
    local source="qtbase: Debian 12's source package qtbase-opensource-src 5.15.8+dfsg"
    source+=" (https://sources.debian.org/src/qtbase-opensource-src/); Qt Serial Port:"
    source+=" https://code.qt.io/qt/qtserialport.git, tag v5.15.8-lts-lgpl. Debian's source"
    source+=" leaves out the WinTab headers, so the Windows platform plug-in"
    source+=" (platforms/qwindows.dll) was built without WinTab tablet input."
    # In the guest, the host's build stands: CMake would take a minute there to find it so.
    if [[ $variant != x86-guest ]]; then
        cmake -S "$root" -B "$build" --toolchain "$root/platform/windows/$toolchain" \
            -DCMAKE_PREFIX_PATH="$sdk" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_COMPILE_WARNING_AS_ERROR="${WIRELET_WERROR:-0}" -DWIRELET_QT_SOURCE="$source"
        cmake --build "$build" --parallel "$(nproc)"
    fi
    cd "$build"
    if [[ $variant == x86 ]]; then
        ctest --output-on-failure -L static "$@"
        cpack
        return
    elif [[ $variant == x86-wine ]]; then
        ctest --output-on-failure -L static
        cpack
        (($#)) || set -- -R '^(app|terminal|zip|msi)$'
        # A processor of the old PCs' time (Nehalem, 2008), without two features this QEMU
        # emulates wrongly: SMAP, which it applies to an iret made in user mode (Wine makes them),
        # and AVX2, whose masked loads fault on the lanes left out (Qt draws with them). The MSI
        # is only installed and uninstalled: its upgrades, as x64's, would take minutes more.
        "$root/scripts/guest.sh" --share-cached "$build" --timeout 600 -cpu Nehalem -- \
            env WIRELET_MSI_ONCE=1 "$root/scripts/windows.sh" x86-guest -FS 'zip|msi' "$@"
        return
    fi

    # A prefix of its own, made afresh, whose COM7 is the pseudo-terminal that socat makes for
    # each connection to WIRELET_DEVICE_PORT: the tests' device side.
    export WINEPREFIX="$build/wine" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    local wineserver=/usr/lib/wine/wineserver
    # Made once, as under emulation that takes minutes; the tests and each check of a package
    # start from a copy of it (packaging/wine-check.sh).
    export WIRELET_WINE_FRESH="$build/wine-fresh"
    rm -rf "$WINEPREFIX" "$WIRELET_WINE_FRESH"
    WINEPREFIX="$WIRELET_WINE_FRESH" "$wine" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$WIRELET_WINE_FRESH" "$wineserver" -w
    "$root/packaging/copy-wine-prefix.sh" "$WIRELET_WINE_FRESH" "$WINEPREFIX"
    "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM7 /t REG_SZ /d "$build/com7" /f >/dev/null
    "$wineserver" -k && "$wineserver" -w # gone, before another takes its place
    # In the foreground the server starts no session of its own, so no pseudo-terminal becomes
    # its controlling terminal, whose hang-up would make it dump its state.
    "$wineserver" -f -p 2>"$build/wineserver.log" &
    # Wine's services, started by the first program, would hold on to its output, and so keep
    # CTest waiting for the end of the first test's: started here, they hold nothing.
    "$wine" cmd /c exit >/dev/null 2>&1
    # On a port the system picks, so that runs side by side do not collide; socat says which.
    # The link stays when a connection ends: the last device's socat, going late, would take
    # away the next one's. Small buffers (the tests' end has its own) hold writes back as an
    # unread pty does.
    socat -d -d tcp-listen:0,bind=127.0.0.1,reuseaddr,fork,sndbuf=4096 \
        pty,raw,echo=0,link="$build/com7",unlink-close=0 2>"$build/socat.log" &
    local socat=$!
    trap "$wineserver -k; kill $socat" EXIT
    local port=
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

    # The Qt DLLs and plug-ins for the test programs; Wine passes QT_ variables on only with
    # WINE in front.
    local runtime="$(dirname "$("$triplet-w64-mingw32-g++-posix" -print-libgcc-file-name)")"
    export WINEPATH="Z:$runtime;Z:/usr/$triplet-w64-mingw32/lib;Z:$sdk/bin"
    export WINEQT_PLUGIN_PATH="Z:$sdk/plugins"
    ctest --output-on-failure "$@"
    [[ $variant == x86-guest ]] || cpack
)

case "${1:-}" in
    x64 | x86 | x86-wine | x86-guest) variant "$@" ;;
    *) variant x64 "$@"; variant x86 "$@" ;; # not &&, which would let x64 fail unseen
esac
