#!/usr/bin/env bash
# The MSI on a fresh Wine prefix, silently as a deployment runs it: it installs the ZIP's files in
# Program Files\Wirelet, a Start-menu shortcut that starts them, with the icon, and one Apps &
# features entry; a rebuild or a higher version replaces it, a lower one is refused;
# uninstalling leaves nothing; Windows before 7 SP1 is refused.
#   check-msi.sh CPACK BUILD_DIR SCRATCH_DIR
. "$(dirname "$0")/wine-check.sh" External "$@"
cd "$out"
msi=$(echo Wirelet-*-windows-x64.msi) && version=${msi#Wirelet-} && version=${version%-*-*}

# msiexec returns before it is done: the server ends once it is.
msiexec() { "$wine" msiexec "$@" /qn && "$wineserver" -w; }
# The version of each Wirelet in Apps & features.
entries() {
    "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r' |
        awk '/^HKEY/ { if (name == "Wirelet") print version; name = version = "" }
             $1 == "DisplayName" { name = $3 } $1 == "DisplayVersion" { version = $3 }
             END { if (name == "Wirelet") print version }' | xargs
}
c=$WINEPREFIX/drive_c

msiexec /i "$msi"
[ "$(entries)" = "$version" ] || fail "Apps & features lists: $(entries)"
diff -r _CPack_Packages/*/External/"${msi%.msi}" "$c/Program Files/Wirelet" ||
    fail "the installed files are not the ZIP's"
# Wine puts a per-machine shortcut in the user's Start menu, Windows in ProgramData's.
lnk=$(find "$c" -path '*/Start Menu/Programs/Wirelet.lnk')
grep -aqF 'C:\Program Files\Wirelet\Wirelet.exe' "$lnk" || fail "no shortcut to Wirelet.exe: $lnk"
icon=$(x86_64-w64-mingw32-strings -a -e l "$lnk" | sed -n 's/.*C:\(.*\.ico\)$/\1/p' | tr '\\' /)
icotool -l "$c$icon" | grep -q -- '--width=48 --height=48' || fail "the shortcut has no icon"
"$wine" start /unix "$lnk" && main_window && "$wineserver" -k && "$wineserver" -w

# A rebuild of the same version (another product code) replaces it too, and so does a higher one.
package External && msiexec /i "$msi"
[ "$(entries)" = "$version" ] || fail "after a rebuild, Apps & features lists: $(entries)"
next=${version%.*}.$((${version##*.} + 1))
package External -R "$next" -D CPACK_PACKAGE_FILE_NAME="Wirelet-$next-windows-x64"
msiexec /i "Wirelet-$next-windows-x64.msi"
[ "$(entries)" = "$next" ] || fail "after the upgrade, Apps & features lists: $(entries)"
! msiexec /i "$msi" && [ "$(entries)" = "$next" ] || fail "a downgrade went through"

msiexec /x "Wirelet-$next-windows-x64.msi"
left=$(find "$c" -iname '*wirelet*'; ls -A "$c/windows/Installer"
       grep -il wirelet "$WINEPREFIX"/*.reg || :)
[ -z "$left$(entries)" ] || fail "uninstalling left $left $(entries)"

"$wine" winecfg -v vista
! msiexec /i "$msi" && [ ! -e "$c/Program Files/Wirelet" ] || fail "installed on Windows Vista"
echo "ok - $msi, upgraded to $next, uninstalled"
