#!/usr/bin/env bash
# The .deb a user gets: its files, the architecture of the binary it carries, hardened, a menu
# entry and software-centre metadata that validate, its icons at their sizes, Depends on its Qt
# and a font, one version throughout, and lintian's approval.
#   check-package.sh CPACK BUILD_DIR QT_MAJOR SCRATCH_DIR
set -euo pipefail
cpack=$1 build=$2 qt=$3 out=$4
fail() { echo "FAIL - $*" >&2 && exit 1; }
rm -rf -- "$out" && mkdir -p "$out" && out=$(cd "$out" && pwd)
"$cpack" -G DEB -B "$out" --config "$build/CPackConfig.cmake" >"$out/cpack.log" ||
    fail "cpack: $(cat "$out/cpack.log")"
deb=$(echo "$out"/*.deb) && dpkg-deb -x "$deb" "$out/root" && cd "$out/root/usr"
id=example.wirelet.Wirelet sizes="16 32 48 64 128 256"
expected=(bin/wirelet share/applications/$id.desktop share/doc/wirelet/{copyright,changelog.gz}
    share/lintian/overrides/wirelet share/man/man1/wirelet.1.gz share/metainfo/$id.metainfo.xml)
for size in $sizes; do expected+=("share/icons/hicolor/${size}x$size/apps/$id.png"); done
files=$(find . ! -type d | LC_ALL=C sort | xargs)
[ "$files" = "$(printf './%s\n' "${expected[@]}" | LC_ALL=C sort | xargs)" ] ||
    fail "packaged files: $files"

# Read off the binary (ELF e_machine), not the machine that built it.
case $(od -An -tu2 --endian=little -j18 -N2 bin/wirelet | xargs) in
62) machine=amd64 ;; 183) machine=arm64 ;; 3) machine=i386 ;; 40) machine=armhf ;; *) machine=? ;;
esac
arch=$(dpkg-deb -f "$deb" Architecture)
[ "$arch" = "$machine" ] || fail "Architecture: $arch, but bin/wirelet is for $machine"

# Hardened as Debian's packages are: PIE, relro with bind-now, the stack protector.
elf=$(readelf -dlW --dyn-syms bin/wirelet)
for want in 'FLAGS_1.* NOW PIE' GNU_RELRO ' __stack_chk_fail'; do
    grep -q "$want" <<<"$elf" || fail "bin/wirelet lacks $want"
done

for size in $sizes; do # a PNG's width and height: big-endian words at bytes 16 and 20
    png=share/icons/hicolor/${size}x$size/apps/$id.png
    [ "$(od -An -tu4 --endian=big -j16 -N8 "$png" | xargs)" = "$size $size" ] || fail "$png size"
done

# A hint (two main categories) is wanted; an error or a warning is not.
report=$(desktop-file-validate share/applications/$id.desktop 2>&1) &&
    ! grep -E 'error|warning' <<<"$report" || fail "desktop-file-validate: $report"
# The metadata validates, and the menu entry it launches is there. Infos (the id's "example" is no
# known top-level domain) pass; warnings and errors do not.
report=$(appstreamcli validate-tree --no-net "$out/root" 2>&1) ||
    fail "appstreamcli: $report"
# Only dpkg-shlibdeps, reading the binary, names the Qt libraries.
depends=$(dpkg-deb -f "$deb" Depends)
for want in "libqt${qt}serialport" "libqt${qt}widgets" 'fonts-wqy-microhei | fonts-noto-cjk'; do
    grep -qF "$want" <<<"$depends" || fail "Depends lacks $want: $depends"
done
# One version throughout: the package's is the newest in the changelog and in the metainfo.
version=$(dpkg-deb -f "$deb" Version)
zcat share/doc/wirelet/changelog.gz | sed -n 1p | grep -qF "wirelet ($version)" &&
    grep -m1 '<release ' share/metainfo/$id.metainfo.xml | grep -qF "\"$version\"" ||
    fail "Version $version is not the newest in the changelog and the metainfo"
# Infos as well: each one kept has an override saying why.
report=$(lintian --display-info --fail-on error,warning,info "$deb" 2>&1) ||
    fail "lintian: $report"
echo "ok - $(basename "$deb"), Depends: $depends"
