#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a Linux desktop
# needs from it: the program, a valid menu entry that starts it, and its
# 48x48 icon, and that nothing else (static libraries, tests) comes along.
#
#   check-install.sh CMAKE BUILD_DIR SOURCE_DIR SCRATCH_DIR
#
# Needs desktop-file-utils. A missing tool is a failure, not a skip.
set -euo pipefail

if [ $# -ne 4 ]; then
    echo "usage: $0 CMAKE BUILD_DIR SOURCE_DIR SCRATCH_DIR" >&2
    exit 2
fi
cmake="$1" build="$2" src="$3"

pass() { echo "ok   - $*"; }
fail() {
    echo "FAIL - $*" >&2
    exit 1
}

command -v desktop-file-validate >/dev/null 2>&1 ||
    fail "desktop-file-validate not found: install the Debian package desktop-file-utils"
[ -x "$cmake" ] || fail "no cmake at $cmake"

mkdir -p "$4"
out="$(cd "$4" && pwd)"
prefix="$out/prefix"
# A file left by an earlier run would hide one that is no longer installed.
rm -rf -- "$prefix"

"$cmake" --install "$build" --prefix "$prefix" >"$out/install.log" 2>&1 ||
    fail "cmake --install failed (is wirelet built?): $(cat "$out/install.log")"
pass "cmake --install $build --prefix $prefix"

expected='./bin/wirelet
./share/applications/wirelet.desktop
./share/icons/hicolor/48x48/apps/wirelet.png'
found="$(cd "$prefix" && find . ! -type d | LC_ALL=C sort)"
if [ "$found" != "$expected" ]; then
    fail "installed files differ from the expected three (< expected, > installed):
$(diff <(echo "$expected") <(echo "$found") | sed 's/^/  /')"
fi
pass "exactly these files installed:"
while read -r f; do echo "       $f"; done <<<"$found"

[ -x "$prefix/bin/wirelet" ] || fail "bin/wirelet is not executable"
pass "bin/wirelet is executable"

# --- icon --------------------------------------------------------------------
icon="$prefix/share/icons/hicolor/48x48/apps/wirelet.png"
# The PNG signature, then the IHDR chunk: width and height, big-endian.
signature="$(od -An -tx1 -N8 "$icon" | tr -d ' \n')"
[ "$signature" = 89504e470d0a1a0a ] || fail "the icon is not a PNG (starts with $signature)"
chunk="$(od -An -c -j12 -N4 "$icon" | tr -d ' \n')"
[ "$chunk" = IHDR ] || fail "the icon's first PNG chunk is '$chunk', not IHDR"
read -r width height < <(od -An -tu4 --endian=big -j16 -N8 "$icon")
if [ "$width" != 48 ] || [ "$height" != 48 ]; then
    fail "the icon is ${width}x$height, the folder says 48x48"
fi
cmp -s "$icon" "$src/platform/windows/wirelet.png" ||
    fail "the installed icon differs from platform/windows/wirelet.png"
pass "the icon is a 48x48 PNG, the same artwork as the Windows one"

# --- desktop entry -------------------------------------------------------------
entry="$prefix/share/applications/wirelet.desktop"
# Hints count too: each one is a menu that may show the entry wrongly.
report="$(desktop-file-validate "$entry" 2>&1)" ||
    fail "desktop-file-validate rejects the entry: $report"
# Listing two main categories earns a hint (the menu may show it under both); that is wanted.
remarks="$(printf '%s\n' "$report" | grep -E 'error|warning' || true)"
[ -z "$remarks" ] || fail "desktop-file-validate has remarks: $remarks"
pass "desktop-file-validate: no errors or warnings"

value_of() { # value_of KEY: its value in [Desktop Entry], fails unless set exactly once
    awk -v k="$1" '
        /^\[/ { group = $0; next }
        group == "[Desktop Entry]" && index($0, k "=") == 1 {
            print substr($0, length(k) + 2); n++
        }
        END { exit n == 1 ? 0 : 1 }' "$entry" || fail "no single $1= in [Desktop Entry]"
}
expect() { # expect KEY VALUE
    local v
    v="$(value_of "$1")"
    [ "$v" = "$2" ] || fail "$1 is '$v', expected '$2'"
    pass "$1=$v"
}
expect Type Application
expect Name Wirelet
expect Terminal false
# The menu starts the program by this name and looks the icon up by this one.
expect Exec wirelet
expect Icon wirelet
expect Categories 'Utility;Development;'
for key in 'Comment' 'Comment[zh_CN]'; do
    v="$(value_of "$key")"
    [ -n "$v" ] || fail "$key is empty"
    pass "$key=$v"
done
# Anything but ASCII in the zh_CN comment, so an English copy would not pass.
LC_ALL=C grep -q '^Comment\[zh_CN\]=.*[^ -~]' "$entry" ||
    fail "Comment[zh_CN] holds no Chinese text"
pass "Comment[zh_CN] is not plain ASCII"

echo "all install checks passed"
