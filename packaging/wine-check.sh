# What the checks of the Windows packages share, sourced with their arguments: the variant's
# processor, and package(), which makes a package in the scratch folder. Checking the files
# ("files") starts with an empty one; running them under Wine ("wine") takes the package the
# files were checked in, with a fresh Wine prefix beside it, and finds Wirelet's main window on
# the display they run on (xvfb-run's: Wine's desktop, made with the prefix, shows nothing
# without one).
#   . wine-check.sh files|wine CPACK BUILD_DIR SCRATCH_DIR
set -euo pipefail
mode=$1 cpack=$2 build=$3 out=$4
fail() { echo "FAIL - $*" >&2 && exit 1; }
package() {
    "$cpack" -G "$@" -B "$out" --config "$build/CPackConfig.cmake" >"$out/cpack.log" 2>&1 ||
        fail "cpack: $(cat "$out/cpack.log")"
}
arch=$(sed -n 's/^set(CPACK_WIRELET_ARCH "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
if [ "$arch" = x64 ]; then
    triplet=x86_64-w64-mingw32 format=pei-x86-64 wine=/usr/lib/wine/wine64
else
    triplet=i686-w64-mingw32 format=pei-i386 wine=/usr/lib/wine/wine
fi
[ "$mode" = wine ] || { rm -rf -- "$out" && mkdir -p "$out" && return; }

wineserver=/usr/lib/wine/wineserver
trap '"$wineserver" -k' EXIT
# No Mono, no Gecko, and no menu entries written into the host's home.
export WINEPREFIX="$out/wine" WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WINEPATH WINEQT_PLUGIN_PATH
rm -rf "$WINEPREFIX"
if [ -n "${WIRELET_WINE_FRESH:-}" ]; then
    # the fresh one scripts/windows.sh made
    "$(dirname "$0")/copy-wine-prefix.sh" "$WIRELET_WINE_FRESH" "$WINEPREFIX"
else
    "$wine" wineboot -i >/dev/null 2>&1 # its services must not hold CTest's pipe
fi
# Its server lingers a few seconds: a program started as it goes takes ten to appear.
"$wineserver" -w

window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true; }
# Sets main to the window of the Wirelet just started, answering the Tip that no idle port raises.
main_window() {
    for _ in $(seq 300); do
        [ -z "$(window Tip)" ] || xdotool windowfocus "$(window Tip)" key Return
        main=$(window 'Qt串口通信') && [ -n "$main" ] && return || sleep 0.1
    done
    fail "no main window"
}
