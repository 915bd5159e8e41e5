#!/usr/bin/env bash
# The .deb a user gets: its files, the architecture of the binary it carries, a menu entry that
# validates, Depends on its Qt and a font.
#   check-package.sh CPACK BUILD_DIR QT_MAJOR SCRATCH_DIR
set -euo pipefail
cpack=$1 build=$2 qt=$3 out=$4
fail() { echo "FAIL - $*" >&2 && exit 1; }
rm -rf -- "$out" && mkdir -p "$out"
"$cpack" -G DEB -B "$out" --config "$build/CPackConfig.cmake" >"$out/cpack.log" ||
    fail "cpack: $(cat "$out/cpack.log")"
deb=$(echo "$out"/*.deb) && dpkg-deb -x "$deb" "$out/root"
files=$(cd "$out/root/usr" && find . ! -type d | LC_ALL=C sort | xargs)
[ "$files" = "./bin/wirelet ./share/applications/wirelet.desktop ./share/doc/wirelet/copyright \
./share/icons/hicolor/48x48/apps/wirelet.png" ] || fail "packaged files: $files"

# Read off the binary (ELF e_machine), not the machine that built it.
case $(od -An -tu2 -j18 -N2 "$out/root/usr/bin/wirelet" | xargs) in
62) machine=amd64 ;; 183) machine=arm64 ;; 3) machine=i386 ;; 40) machine=armhf ;; *) machine=? ;;
esac
arch=$(dpkg-deb -f "$deb" Architecture)
[ "$arch" = "$machine" ] || fail "Architecture: $arch, but bin/wirelet is for $machine"

# A hint (two main categories) is wanted; an error or a warning is not.
report=$(desktop-file-validate "$out/root/usr/share/applications/wirelet.desktop" 2>&1) &&
    ! grep -E 'error|warning' <<<"$report" || fail "desktop-file-validate: $report"
# Only dpkg-shlibdeps, reading the binary, names the Qt libraries.
depends=$(dpkg-deb -f "$deb" Depends)
for want in "libqt${qt}serialport" "libqt${qt}widgets" 'fonts-wqy-microhei | fonts-noto-cjk'; do
    grep -qF "$want" <<<"$depends" || fail "Depends lacks $want: $depends"
done
echo "ok - $(basename "$deb"), Depends: $depends"
