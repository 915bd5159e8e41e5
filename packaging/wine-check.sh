# What the checks of the Windows packages share, sourced with their arguments and CPack's
# generator: the package made afresh in the scratch folder, a fresh Wine prefix beside it, and
# Wirelet's main window found on the display they run on (xvfb-run's: Wine's desktop, made
# with the prefix, shows nothing without one).
#   . wine-check.sh GENERATOR CPACK BUILD_DIR SCRATCH_DIR
set -euo pipefail
cpack=$2 build=$3 out=$4
fail() { echo "FAIL - $*" >&2 && exit 1; }
package() {
    "$cpack" -G "$@" -B "$out" --config "$build/CPackConfig.cmake" >"$out/cpack.log" ||
        fail "cpack: $(cat "$out/cpack.log")"
}
rm -rf -- "$out" && mkdir -p "$out" && package "$1"

wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver
trap '"$wineserver" -k' EXIT
# No Mono, no Gecko, and no menu entries written into the host's home.
export WINEPREFIX="$out/wine" WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WINEPATH WINEQT_PLUGIN_PATH
"$wine" wineboot -i >/dev/null 2>&1 # its services must not hold CTest's pipe
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
