#!/usr/bin/env bash
# The MSI. Its tables: the ZIP's files, for the variant's processor (x86 into Program Files
# (x86) on 64-bit Windows), upgrading only installs of its own variant. Under Wine, on a fresh
# prefix, silently as a deployment runs it: it installs those files, a Start-menu shortcut that
# starts them, with the icon, and one Apps & features entry; a rebuild or a higher version
# replaces it, a lower one is refused; uninstalling leaves nothing; Windows before 7 SP1 is
# refused.
#   check-msi.sh files|wine CPACK BUILD_DIR SCRATCH_DIR
. "$(dirname "$0")/wine-check.sh" "$@"
[ "$mode" = wine ] || package External
cd "$out"
msi=$(echo Wirelet-*-windows-$arch.msi) && version=${msi#Wirelet-} && version=${version%-*-*}
staged=$(echo _CPack_Packages/*/External/"${msi%.msi}")

if [ "$mode" = files ]; then
    # 64-bit Windows takes a component without the 64-bit flag (256) as 32-bit.
    [ "$arch" = x64 ] && want="x64 ProgramFiles64Folder 256" || want="Intel ProgramFilesFolder 0"
    table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
    got="$(msiinfo suminfo "$msi" | sed -n 's/^Template: \(.*\);1033$/\1/p')"
    got+=" $(table Directory | awk -F '\t' '$1 == "INSTALLDIR" { print $2 }')"
    got+=" $(table Component | awk -F '\t' '{ print $4 % 512 - $4 % 256 }' | sort -u)"
    [ "$got" = "$want" ] || fail "for $arch, $msi is for: $got"
    other=$(sed -n 's/^set(CPACK_WIRELET_OTHER_UPGRADE_CODE "\(.*\)")$/\1/p' \
        "$build/CPackConfig.cmake")
    codes=$(table Upgrade | cut -f1 | sort -u)
    own=$(table Property | awk -F '\t' '$1 == "UpgradeCode" { print $2 }')
    [ "$codes" = "$own" ] && [ "$own" != "{$other}" ] || fail "upgrade codes: $own $codes"
    msiextract -C extract "$msi" >/dev/null
    diff -r "$staged" "$(dirname "$(find extract -name Wirelet.exe)")" ||
        fail "the MSI's files are not the ZIP's"
    echo "ok - $msi: its tables"
    exit
fi

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
diff -r "$staged" "$c"/Program\ Files*/Wirelet || fail "the installed files are not the ZIP's"
# Wine puts a per-machine shortcut in the user's Start menu, Windows in ProgramData's.
lnk=$(find "$c" -path '*/Start Menu/Programs/Wirelet*.lnk')
grep -aqF '\Wirelet\Wirelet.exe' "$lnk" || fail "no shortcut to Wirelet.exe: $lnk"
icon=$($triplet-strings -a -e l "$lnk" | sed -n 's/.*C:\(.*\.ico\)$/\1/p' | tr '\\' /)
icotool -l "$c$icon" | grep -q -- '--width=48 --height=48' || fail "the shortcut has no icon"

# A rebuild of the same version (another product code) replaces it too, and so does a higher
# one; WIRELET_MSI_ONCE leaves that out, and starting it from the shortcut.
next=$version
if [ -z "${WIRELET_MSI_ONCE:-}" ]; then
    "$wine" start /unix "$lnk" && main_window && "$wineserver" -k && "$wineserver" -w
    package External && msiexec /i "$msi"
    [ "$(entries)" = "$version" ] || fail "after a rebuild, Apps & features lists: $(entries)"
    next=${version%.*}.$((${version##*.} + 1))
    package External -R "$next" -D CPACK_PACKAGE_FILE_NAME="Wirelet-$next-windows-$arch"
    msiexec /i "Wirelet-$next-windows-$arch.msi"
    [ "$(entries)" = "$next" ] || fail "after the upgrade, Apps & features lists: $(entries)"
    ! msiexec /i "$msi" && [ "$(entries)" = "$next" ] || fail "a downgrade went through"
fi

msiexec /x "Wirelet-$next-windows-$arch.msi"
left=$(find "$c" -iname '*wirelet*'; ls -A "$c/windows/Installer"
       grep -il wirelet "$WINEPREFIX"/*.reg || :)
[ -z "$left$(entries)" ] || fail "uninstalling left $left $(entries)"
[ -z "${WIRELET_MSI_ONCE:-}" ] || { echo "ok - $msi under Wine, uninstalled" && exit; }

"$wine" winecfg -v vista
! msiexec /i "$msi" && [ ! -e "$c"/Program\ Files*/Wirelet ] || fail "installed on Windows Vista"
echo "ok - $msi under Wine, upgraded to $next, uninstalled"
