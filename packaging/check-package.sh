#!/usr/bin/env bash
# What a Linux user gets: the files `cmake --install` puts down, a menu entry that validates,
# and a .deb holding the same files whose Depends name the Qt the program links and a font.
#   check-package.sh CMAKE CPACK BUILD_DIR QT_MAJOR SCRATCH_DIR
set -euo pipefail
cmake=$1 cpack=$2 build=$3 qt=$4 out=$5
fail() {
    echo "FAIL - $*" >&2
    exit 1
}
rm -rf -- "$out" && mkdir -p "$out"
expected='bin/wirelet
share/applications/wirelet.desktop
share/doc/wirelet/copyright
share/icons/hicolor/48x48/apps/wirelet.png'

"$cmake" --install "$build" --prefix "$out/prefix" >"$out/install.log" ||
    fail "cmake --install: $(cat "$out/install.log")"
installed=$(cd "$out/prefix" && find . ! -type d | cut -c3- | LC_ALL=C sort)
[ "$installed" = "$expected" ] || fail "installed files:"$'\n'"$installed"

# A hint (two main categories) is wanted; an error or a warning is not.
report=$(desktop-file-validate "$out/prefix/share/applications/wirelet.desktop" 2>&1) ||
    fail "desktop-file-validate: $report"
if grep -E 'error|warning' <<<"$report"; then fail "desktop-file-validate has remarks"; fi

"$cpack" -G DEB -B "$out/deb" --config "$build/CPackConfig.cmake" >"$out/cpack.log" ||
    fail "cpack: $(cat "$out/cpack.log")"
deb=$(echo "$out"/deb/*.deb)
packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | cut -c7- | LC_ALL=C sort)
[ "$packaged" = "$expected" ] || fail "packaged files:"$'\n'"$packaged"
# Only dpkg-shlibdeps, reading the binary, names the Qt libraries.
depends=$(dpkg-deb -f "$deb" Depends)
for want in "libqt${qt}serialport" "libqt${qt}widgets" 'fonts-wqy-microhei | fonts-noto-cjk'; do
    grep -qF "$want" <<<"$depends" || fail "Depends lacks $want: $depends"
done
echo "ok - $(basename "$deb"), Depends: $depends"
