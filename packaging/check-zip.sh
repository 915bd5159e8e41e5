#!/usr/bin/env bash
# The portable ZIP as a Windows user gets it: the DLLs Wirelet.exe and its plug-ins import and
# nothing else, its icon, version record and manifest, and, on a fresh Wine prefix with no Qt
# anywhere, a main window whose about dialog shows the pictures compiled into it.
#   check-zip.sh CPACK BUILD_DIR SCRATCH_DIR
set -euo pipefail
cpack=$1 build=$2 out=$3
fail() {
    echo "FAIL - $*" >&2
    exit 1
}
rm -rf -- "$out" && mkdir -p "$out"
"$cpack" -G ZIP -B "$out" --config "$build/CPackConfig.cmake" >"$out/cpack.log" ||
    fail "cpack: $(cat "$out/cpack.log")"
unzip -q "$out"/Wirelet-*-windows-x64.zip -d "$out/unpacked"
cd "$out"/unpacked/Wirelet-*-windows-x64

# A fresh Wine prefix with no Qt anywhere, on a display of its own from the start: Wine's
# desktop, made with the prefix, can show no window without one.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$out/display" 2>/dev/null &
xvfb=$!
export WINEPREFIX="$out/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPATH WINEQT_PLUGIN_PATH
wine=/usr/lib/wine/wine64
trap 'kill $xvfb; /usr/lib/wine/wineserver -k' EXIT
until [ -s "$out/display" ]; do sleep 0.1; done
export DISPLAY=":$(cat "$out/display")"
"$wine" wineboot -i >/dev/null 2>&1 # its services must not hold CTest's pipe
system="$WINEPREFIX/drive_c/windows/system32"

# Every import is shipped or part of Windows; every DLL shipped is loaded by something.
plugins=$(find . -mindepth 2 -name '*.dll' | cut -c3- | sort | xargs)
[ "$plugins" = "imageformats/qjpeg.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll" ] ||
    fail "plug-ins: $plugins"
declare -A loaded
todo=(Wirelet.exe $plugins)
while ((${#todo[@]})); do
    for dll in $(x86_64-w64-mingw32-objdump -p "${todo[0]}" | sed -n 's/^\tDLL Name: //p'); do
        if [ -f "$dll" ]; then
            [ -n "${loaded[$dll]:-}" ] || todo+=("$dll")
            loaded[$dll]=1
        elif [ -z "$(find "$system" -maxdepth 1 -iname "$dll")" ]; then
            fail "${todo[0]} imports $dll, which neither the ZIP nor Windows has"
        fi
    done
    todo=("${todo[@]:1}")
done
for dll in *.dll; do [ -n "${loaded[$dll]:-}" ] || fail "$dll is shipped but nothing loads it"; done
[ "$(ls -- *.txt | xargs)" = "LICENSE.Qt.txt LICENSE.txt" ] || fail "licences: $(ls -- *.txt)"
grep -q "^The Qt libraries .* are Qt 5" LICENSE.Qt.txt || fail "LICENSE.Qt.txt names no Qt"

# What Explorer shows, read back from the executable itself.
wrestool -x --type=14 --name=IDI_ICON1 Wirelet.exe >"$out/icon.ico"
icotool -l "$out/icon.ico" | grep -q -- '--width=48 --height=48 --bit-depth=32' ||
    fail "icon: $(icotool -l "$out/icon.ico")"
version=$(wrestool -x --raw --type=16 Wirelet.exe | iconv -f UTF-16LE -t UTF-8 -c | tr -d '\0')
for field in 080404b0 FileVersion1.01 ProductVersion1.01 OriginalFilenameWirelet.exe \
    FileDescription软件名称; do
    grep -qF "$field" <<<"$version" || fail "version record lacks $field"
done
wrestool -x --raw --type=24 Wirelet.exe | grep -q 'level="asInvoker"' || fail "manifest: no asInvoker"

# Started as a user would.

"$wine" Wirelet.exe >/dev/null 2>&1 &
window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true; }
for _ in $(seq 300); do
    tip=$(window Tip) main=$(window 'Qt串口通信')
    [ -z "$tip" ] || xdotool windowfocus "$tip" key Return # no idle port here
    [ -z "$main" ] || break
    sleep 0.1
done
[ -n "$main" ] || fail "the main window never showed"
xdotool mousemove --window "$main" 627 501 click 1 # the about button
for _ in $(seq 100); do about=$(window 关于); [ -z "$about" ] || break; sleep 0.1; done
[ -n "${about:-}" ] || fail "the about dialog never showed"
sleep 1
import -window "$about" "$out/about.png"
# The pictures bring teal and orange: without them the dialog is all grey.
saturation=$(convert "$out/about.png" -colorspace HSL -channel G -separate -format '%[fx:mean]' info:)
awk "BEGIN { exit !($saturation > 0.02) }" || fail "the about dialog shows no pictures"
echo "ok - $(basename "$out"/Wirelet-*.zip): imports, resources, window and pictures"
