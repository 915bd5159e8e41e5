#!/usr/bin/env bash
# The portable ZIP. Its files: just the DLLs it imports, all built for the variant's processor,
# stripped and none of them beyond Windows 7 SP1; the exe's icon, version record and manifest;
# the licences and the changelog, as CRLF text. Under Wine, on a fresh prefix without Qt: a main
# window whose about dialog shows its pictures.
#   check-zip.sh files|wine CPACK BUILD_DIR SCRATCH_DIR
. "$(dirname "$0")/wine-check.sh" "$@"
[ "$mode" = wine ] || { package ZIP && unzip -q "$out"/Wirelet-*-windows-$arch.zip -d "$out"; }
cd "$out"/Wirelet-*-windows-$arch

if [ "$mode" = wine ]; then
    "$wine" Wirelet.exe >/dev/null 2>&1 &
    main_window
    xdotool mousemove --window "$main" 627 501 click 1
    for _ in $(seq 100); do about=$(window 关于) && [ -n "$about" ] && break || sleep 0.1; done
    [ -n "$about" ] && sleep 1 && import -window "$about" "$out/about.png" || fail "no about dialog"
    # The pictures bring teal and orange: without them the dialog is all grey.
    [ "$(convert "$out/about.png" -colorspace HSL -channel G -separate -format '%[fx:mean>0.02]' \
        info:)" = 1 ] || fail "the about dialog shows no pictures"
    echo "ok - $(basename "$out"/Wirelet-*.zip) under Wine"
    exit
fi

# Every import is shipped or part of Windows (MinGW-w64 links it); every DLL shipped is
# imported, or a plug-in. The C run-time is msvcrt.dll's, never the UCRT's nor an API set's,
# which Windows 7 lacks.
plugins=$(find . -mindepth 2 -name '*.dll' | sort | xargs)
[ "$plugins" = "./imageformats/qjpeg.dll ./platforms/qwindows.dll \
./styles/qwindowsvistastyle.dll" ] || fail "plug-ins: $plugins"
imports=
for binary in Wirelet.exe ./*.dll $plugins; do
    dump=$($triplet-objdump -fhp "$binary" 2>&1) && grep -q "file format $format\$" <<<"$dump" ||
        fail "$binary is not $format"
    ! grep -q ' \.debug' <<<"$dump" || fail "$binary is not stripped"
    dlls=$(sed -n 's/^\tDLL Name: //p' <<<"$dump")
    grep -qix msvcrt.dll <<<"$dlls" && ! grep -Eiq '^(ucrtbase|api-ms-win-)' <<<"$dlls" ||
        fail "$binary imports" $dlls
    imports+=" $dlls"
done
imports=$(xargs -n1 <<<"$imports" | sort -u)
for dll in $imports; do
    [ -f "$dll" ] || [ -f "/usr/$triplet/lib/lib$(basename "${dll,,}" .dll).a" ] ||
        fail "$dll is imported, but neither shipped nor part of Windows"
done
for dll in *.dll; do grep -qxF "$dll" <<<"$imports" || fail "$dll is shipped for nothing"; done

# The texts as they stand in the source, every line ending in CRLF: Notepad before Windows
# 10 1809 shows a text without CRs as one line.
[ "$(echo *.txt)" = "CHANGELOG.txt LICENSE.GPL-3.txt LICENSE.Qt-third-party.txt \
LICENSE.Qt.txt LICENSE.txt" ] || fail "texts: $(echo *.txt)"
! grep -qv $'\r$' *.txt || fail "LF-only lines in $(grep -lv $'\r$' *.txt | xargs)"
source=$(dirname "$0")/..
for text in CHANGELOG.txt="$source/CHANGELOG.md" LICENSE.txt="$source/LICENSE" \
    LICENSE.GPL-3.txt=/usr/share/common-licenses/GPL-3; do
    tr -d '\r' <"${text%%=*}" | cmp -s - "${text#*=}" || fail "${text%%=*} is not ${text#*=}"
done
grep -q "Qt 5" LICENSE.Qt.txt && grep -q WinTab LICENSE.Qt.txt || fail "LICENSE.Qt.txt"

wrestool -x --type=14 --name=IDI_ICON1 Wirelet.exe | icotool -l - |
    grep -q -- '--width=48 --height=48 --bit-depth=32' || fail "icon"
version=$(wrestool -x --raw --type=16 Wirelet.exe | iconv -f UTF-16LE -t UTF-8 -c | tr -d '\0')
for field in 080404b0 {File,Product}Version1.01 OriginalFilenameWirelet.exe FileDescription软件名称
do grep -qF "$field" <<<"$version" || fail "the version record lacks $field"; done
# Asks for no elevation; made for Windows 7, 8, 8.1 and 10/11.
manifest=$(wrestool -x --raw --type=24 Wirelet.exe)
for want in 'level="asInvoker"' 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
    4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 \
    8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a
do grep -qF "$want" <<<"$manifest" || fail "the manifest lacks $want"; done
echo "ok - $(basename "$out"/Wirelet-*.zip): its files"
