#!/usr/bin/env bash
# Builds the .deb with CPack into a scratch folder and checks what apt will
# see: the three installed files and nothing else, and a Depends line that
# dpkg-shlibdeps filled in with the Qt libraries, plus a Chinese font.
#
#   check-package.sh CPACK BUILD_DIR SOURCE_DIR VERSION SCRATCH_DIR
#
# Needs dpkg-dev (dpkg-shlibdeps) and dpkg (dpkg-deb). A missing tool is a
# failure, not a skip.
set -euo pipefail

if [ $# -ne 5 ]; then
    echo "usage: $0 CPACK BUILD_DIR SOURCE_DIR VERSION SCRATCH_DIR" >&2
    exit 2
fi
cpack="$1" build="$2" src="$3" version="$4"

pass() { echo "ok   - $*"; }
fail() {
    echo "FAIL - $*" >&2
    exit 1
}

# CPack computes Depends with dpkg-shlibdeps.
command -v dpkg-shlibdeps >/dev/null 2>&1 ||
    fail "dpkg-shlibdeps not found: install the Debian package dpkg-dev"
command -v dpkg-deb >/dev/null 2>&1 || fail "dpkg-deb not found: install the Debian package dpkg"
[ -x "$cpack" ] || fail "no cpack at $cpack"
[ -f "$build/CPackConfig.cmake" ] || fail "no CPackConfig.cmake in $build"

mkdir -p "$5"
out="$(cd "$5" && pwd)"
# A package left by an earlier run would be checked instead of a new one.
rm -rf -- "$out/deb" "$out/root"

"$cpack" -G DEB -B "$out/deb" --config "$build/CPackConfig.cmake" >"$out/cpack.log" 2>&1 ||
    fail "cpack failed (is wirelet built?): $(cat "$out/cpack.log")"
debs=("$out"/deb/*.deb)
if [ ${#debs[@]} != 1 ] || [ ! -f "${debs[0]}" ]; then
    fail "expected one .deb in $out/deb, found: ${debs[*]}"
fi
deb="${debs[0]}"
arch="$(dpkg --print-architecture)"
[ "$(basename "$deb")" = "wirelet_${version}_$arch.deb" ] ||
    fail "the package is called $(basename "$deb"), expected wirelet_${version}_$arch.deb"
pass "cpack built $(basename "$deb")"

# --- contents ----------------------------------------------------------------
dpkg-deb -c "$deb" >"$out/contents.txt" || fail "dpkg-deb cannot list $deb"
files="$(awk '$1 !~ /^d/ { print $6 }' "$out/contents.txt" | LC_ALL=C sort)"
expected='./usr/bin/wirelet
./usr/share/applications/wirelet.desktop
./usr/share/icons/hicolor/48x48/apps/wirelet.png'
strays="$(grep -E 'libwirelet|tst_|bench' <<<"$files" | tr '\n' ' ' || true)"
[ -z "$strays" ] || fail "build artifacts in the package: $strays"
if [ "$files" != "$expected" ]; then
    fail "packaged files differ from the expected three (< expected, > packaged):
$(diff <(echo "$expected") <(echo "$files") | sed 's/^/  /')"
fi
pass "exactly these files packaged:"
grep -v '/$' "$out/contents.txt" | sed 's/^/       /'

grep -Eq '^-rwxr-xr-x root/root .* \./usr/bin/wirelet$' "$out/contents.txt" ||
    fail "usr/bin/wirelet is not -rwxr-xr-x root/root: $(grep usr/bin/ "$out/contents.txt")"
pass "usr/bin/wirelet is -rwxr-xr-x root/root"

dpkg-deb -x "$deb" "$out/root" || fail "dpkg-deb cannot unpack $deb"
cmp -s "$out/root/usr/share/applications/wirelet.desktop" "$src/packaging/wirelet.desktop" ||
    fail "the packaged desktop entry differs from packaging/wirelet.desktop"
cmp -s "$out/root/usr/share/icons/hicolor/48x48/apps/wirelet.png" \
    "$src/platform/windows/wirelet.png" ||
    fail "the packaged icon differs from platform/windows/wirelet.png"
pass "packaged desktop entry and icon are the source files"

# --- control fields ----------------------------------------------------------
dpkg-deb -I "$deb" >"$out/info.txt" || fail "dpkg-deb cannot read the control file of $deb"
sed 's/^/       /' "$out/info.txt"
field() { dpkg-deb -f "$deb" "$1"; }
expect() { # expect FIELD VALUE
    local v
    v="$(field "$1")"
    [ "$v" = "$2" ] || fail "$1 is '$v', expected '$2'"
    pass "$1: $v"
}
expect Package wirelet
expect Version "$version"
expect Architecture "$arch"
expect Maintainer '线桥工作室 <hi@wirelet.example>'
expect Section comm

depends="$(field Depends)"
# A comma-separated list of alternatives, each maybe with a version bound.
has() { grep -Eq "(^|, )$1( \([^)]*\))?(,|$)" <<<"$depends"; }
# Nobody lists these by hand: only dpkg-shlibdeps, reading the binary, puts them here.
# Ubuntu renamed some of them with a t64 suffix.
for lib in 'libqt5serialport5(t64)?' 'libqt5widgets5(t64)?' 'libqt5core5(a|t64)' libc6; do
    has "$lib" || fail "Depends lacks $lib (is CPACK_DEBIAN_PACKAGE_SHLIBDEPS on?): $depends"
done
has 'fonts-wqy-microhei \| fonts-noto-cjk' ||
    fail "Depends lacks the Chinese font 'fonts-wqy-microhei | fonts-noto-cjk': $depends"
pass "Depends: $depends"

echo "all package checks passed"
