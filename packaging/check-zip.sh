#!/usr/bin/env bash
# The portable ZIP: just the DLLs it imports; the exe's icon, version record and manifest; and on
# a fresh Wine prefix without Qt, a main window whose about dialog shows its pictures.
#   check-zip.sh CPACK BUILD_DIR SCRATCH_DIR
set -euo pipefail
cpack=$1 build=$2 out=$3
fail() { echo "FAIL - $*" >&2 && exit 1; }
rm -rf -- "$out" && mkdir -p "$out"
"$cpack" -G ZIP -B "$out" --config "$build/CPackConfig.cmake" >"$out/cpack.log" ||
    fail "cpack: $(cat "$out/cpack.log")"
unzip -q "$out"/Wirelet-*-windows-x64.zip -d "$out" && cd "$out"/Wirelet-*-windows-x64

trap "/usr/lib/wine/wineserver -k" EXIT
# Made under xvfb-run: Wine's desktop, made with the prefix, shows nothing without a display.
export WINEPREFIX="$out/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono, Gecko
unset WINEPATH WINEQT_PLUGIN_PATH
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 # its services must not hold CTest's pipe

# Every import is shipped or part of Windows; every DLL shipped is imported, or a plug-in.
plugins=$(find . -mindepth 2 -name '*.dll' | sort | xargs)
[ "$plugins" = "./imageformats/qjpeg.dll ./platforms/qwindows.dll \
./styles/qwindowsvistastyle.dll" ] || fail "plug-ins: $plugins"
imports=$(x86_64-w64-mingw32-objdump -p Wirelet.exe ./*.dll $plugins |
    sed -n 's/^\tDLL Name: //p' | sort -u)
for dll in $imports; do
    [ -f "$dll" ] || [ -n "$(find "$WINEPREFIX/drive_c/windows/system32" -iname "$dll")" ] ||
        fail "$dll is imported, but neither shipped nor part of Windows"
done
for dll in *.dll; do grep -qxF "$dll" <<<"$imports" || fail "$dll is shipped for nothing"; done
[ "$(echo *.txt)" = "LICENSE.Qt.txt LICENSE.txt" ] && grep -q "Qt 5" LICENSE.Qt.txt || fail licences

wrestool -x --type=14 --name=IDI_ICON1 Wirelet.exe | icotool -l - |
    grep -q -- '--width=48 --height=48 --bit-depth=32' || fail "icon"
version=$(wrestool -x --raw --type=16 Wirelet.exe | iconv -f UTF-16LE -t UTF-8 -c | tr -d '\0')
for field in 080404b0 {File,Product}Version1.01 OriginalFilenameWirelet.exe FileDescription软件名称
do grep -qF "$field" <<<"$version" || fail "the version record lacks $field"; done
wrestool -x --raw --type=24 Wirelet.exe | grep -q 'level="asInvoker"' || fail "manifest"

/usr/lib/wine/wine64 Wirelet.exe >/dev/null 2>&1 &
window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true; }
for _ in $(seq 300); do
    [ -z "$(window Tip)" ] || xdotool windowfocus "$(window Tip)" key Return # no idle port
    main=$(window 'Qt串口通信') && [ -n "$main" ] && break || sleep 0.1
done
[ -n "$main" ] && xdotool mousemove --window "$main" 627 501 click 1 || fail "no main window"
for _ in $(seq 100); do about=$(window 关于) && [ -n "$about" ] && break || sleep 0.1; done
[ -n "$about" ] && sleep 1 && import -window "$about" "$out/about.png" || fail "no about dialog"
# The pictures bring teal and orange: without them the dialog is all grey.
[ "$(convert "$out/about.png" -colorspace HSL -channel G -separate -format '%[fx:mean>0.02]' \
    info:)" = 1 ] || fail "the about dialog shows no pictures"
echo "ok - $(basename "$out"/Wirelet-*.zip)"
