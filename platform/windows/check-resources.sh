#!/usr/bin/env bash
# Builds the Windows resources with MinGW's windres on Linux and checks what
# ends up in them: the version strings Explorer shows, the icon, and the
# manifest. Run by CTest on every build, so a broken .rc is caught without a
# Windows machine.
#
#   check-resources.sh PLATFORM_WINDOWS_DIR SCRATCH_DIR
#
# Needs binutils-mingw-w64-x86-64 (windres), cpp (windres' preprocessor) and
# perl. A missing tool is a failure, not a skip: a skipped check proves nothing.
# shellcheck disable=SC2016  # the single-quoted strings are perl programs
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 PLATFORM_WINDOWS_DIR SCRATCH_DIR" >&2
    exit 2
fi

pass() { echo "ok   - $*"; }
# To stderr: also reaches the user from inside $(...).
fail() {
    echo "FAIL - $*" >&2
    exit 1
}

src="$(cd "$1" && pwd)" || fail "no such folder: $1"
mkdir -p "$2"
out="$(cd "$2" && pwd)"

windres=x86_64-w64-mingw32-windres
command -v "$windres" >/dev/null 2>&1 ||
    fail "$windres not found: install the Debian package binutils-mingw-w64-x86-64"
command -v cpp >/dev/null 2>&1 ||
    fail "cpp not found (windres preprocesses with it): install the Debian package cpp"
command -v perl >/dev/null 2>&1 || fail "perl not found: install the Debian package perl"
pass "tools: $(command -v "$windres"), $(command -v cpp), $(command -v perl)"

maker='线桥工作室'

for f in wirelet.rc wirelet-manifest.rc wirelet.ico wirelet.exe.manifest; do
    [ -s "$src/$f" ] || fail "$src/$f is missing or empty"
done
pass "source files present"

# rc.exe reads a file without the pragma in the ANSI code page, which would
# garble every Chinese string on a machine not set to GBK.
for f in wirelet.rc wirelet-manifest.rc; do
    first="$(head -n 1 "$src/$f" | tr -d '\r')"
    [ "$first" = '#pragma code_page(65001)' ] ||
        fail "$f must start with '#pragma code_page(65001)', starts with '$first'"
done
pass "both .rc files start with #pragma code_page(65001)"

# --preprocessor=cpp: without it windres calls x86_64-w64-mingw32-gcc, which
# the binutils package does not bring.
compile() { # compile NAME: NAME.rc -> NAME.res (checked) and NAME.o (linked by MinGW)
    local log="$out/$1.log"
    "$windres" --preprocessor=cpp -i "$src/$1.rc" -O res -o "$out/$1.res" >"$log" 2>&1 ||
        fail "windres could not compile $1.rc to .res: $(cat "$log")"
    "$windres" --preprocessor=cpp -i "$src/$1.rc" -O coff -o "$out/$1.o" >"$log" 2>&1 ||
        fail "windres could not compile $1.rc to COFF: $(cat "$log")"
    "$windres" -i "$out/$1.res" -O rc -o "$out/$1.decompiled.rc" >"$log" 2>&1 ||
        fail "windres could not decompile $1.res: $(cat "$log")"
    [ -s "$out/$1.o" ] || fail "windres wrote an empty $1.o"
    pass "$1.rc compiles (res and COFF) and decompiles"
}
compile wirelet
compile wirelet-manifest

# Lists a .res file (TYPE NAME LANG SIZE per line, string names in quotes)
# or writes one resource's bytes to a file. Reading the binary directly checks
# what the linker gets, independent of how windres prints it back.
res_tool='
use strict; use warnings;
my ($mode, $file, $want_type, $want_name, $dest) = @ARGV;
open my $fh, "<:raw", $file or die "$file: $!\n";
my $d = do { local $/; <$fh> };
sub id_at {   # a resource type or name: 0xFFFF + number, or a UTF-16LE string
    my ($at) = @_;
    my $w = unpack "v", substr($d, $at, 2);
    return (unpack("v", substr($d, $at + 2, 2)), $at + 4) if $w == 0xFFFF;
    my $s = "";
    while ((my $c = unpack "v", substr($d, $at, 2)) != 0) { $s .= chr $c; $at += 2 }
    return ("\"$s\"", $at + 2);
}
my ($at, $found) = (0, 0);
while ($at + 8 <= length $d) {
    my ($size, $hsize) = unpack "VV", substr($d, $at, 8);
    my ($type, $p) = id_at($at + 8);
    my ($name, $q) = id_at($p);
    $q = ($q + 3) & ~3;
    my $lang = unpack "v", substr($d, $q + 6, 2);
    my $data = substr($d, $at + $hsize, $size);
    if ($size > 0) {   # the first entry of a .res is an empty marker
        if ($mode eq "list") {
            printf "%s %s %d %d\n", $type, $name, $lang, $size;
        } elsif ("$type" eq $want_type && "$name" eq $want_name) {
            open my $o, ">:raw", $dest or die "$dest: $!\n";
            print $o $data; close $o; $found = 1;
        }
    }
    $at = ($at + $hsize + $size + 3) & ~3;
}
exit($mode eq "list" || $found ? 0 : 3);
'
res_list() { perl -e "$res_tool" list "$1"; }
res_dump() { perl -e "$res_tool" dump "$@"; }

res_list "$out/wirelet.res" >"$out/wirelet.res.txt" || fail "could not read wirelet.res"
res_list "$out/wirelet-manifest.res" >"$out/wirelet-manifest.res.txt" ||
    fail "could not read wirelet-manifest.res"

# --- version information ---------------------------------------------------
# windres prints non-ASCII as escapes (\x7ebf for U+7EBF, \251 for U+00A9)
# in L"..." strings; other versions may print plain UTF-8. Decoding both to
# UTF-8 lets the checks compare against plain text.
decode='
use strict; use warnings;
binmode STDIN, ":encoding(UTF-8)"; binmode STDOUT, ":encoding(UTF-8)";
my %esc = (n => "\n", t => "\t", r => "\r", a => "\a", b => "\b", f => "\f", v => "\x0b");
sub one {   # one escape sequence, without its backslash
    my ($e) = @_;
    return chr hex substr($e, 1) if $e =~ /^x/;
    return chr oct $e if $e =~ /^[0-7]/;
    return $esc{$e} // $e;
}
sub unescape {
    my ($s) = @_;
    $s =~ s{\\(x[0-9a-fA-F]{1,4}|[0-7]{1,3}|.)|""}{defined $1 ? one($1) : "\""}ge;
    return $s;
}
my $table = "";
while (my $line = <STDIN>) {
    $table = $1 if $line =~ /^\s*BLOCK\s+"([0-9A-Fa-f]{8})"/;
    next unless $line =~ /^\s*VALUE\s+"([^"]+)"\s*,\s*(L?".*)$/;
    my ($key, $rest, $value) = ($1, $2, "");
    $value .= unescape($1) while $rest =~ /\G\s*L?"((?:[^"\\]|\\.|"")*)"/gc;
    print "$table\t$key\t$value\n";
}
'
perl -e "$decode" <"$out/wirelet.decompiled.rc" >"$out/strings.tsv" ||
    fail "could not decode the version strings"

rc="$out/wirelet.decompiled.rc"

n_versions="$(grep -c '^16 ' "$out/wirelet.res.txt" || true)"
[ "$n_versions" = 1 ] || fail "expected one VERSIONINFO resource, found $n_versions"
pass "one VERSIONINFO resource"

grep -Eq '^[[:space:]]*FILEVERSION[[:space:]]+1,[[:space:]]*0,[[:space:]]*0,[[:space:]]*1[[:space:]]*$' "$rc" ||
    fail "FILEVERSION is not 1,0,0,1: $(grep -E 'FILEVERSION' "$rc" || echo missing)"
pass "FILEVERSION 1,0,0,1"
grep -Eq '^[[:space:]]*PRODUCTVERSION[[:space:]]+1,[[:space:]]*0,[[:space:]]*0,[[:space:]]*1[[:space:]]*$' "$rc" ||
    fail "PRODUCTVERSION is not 1,0,0,1: $(grep -E 'PRODUCTVERSION' "$rc" || echo missing)"
pass "PRODUCTVERSION 1,0,0,1"

tables="$(grep -E '^[[:space:]]*BLOCK[[:space:]]+"[0-9A-Fa-f]{8}"' "$rc" | tr -d ' \t' | sort -u | tr '\n' ' ')"
[ "$tables" = 'BLOCK"080404b0" ' ] ||
    fail "expected exactly the string table \"080404b0\", found: ${tables:-none}"
pass "string table 080404b0 (Chinese, PRC; UTF-16)"

value_of() { # value_of KEY: the string in table 080404b0, fails when absent
    local v
    v="$(awk -F'\t' -v k="$1" '$1 == "080404b0" && $2 == k { print $3; n++ } END { exit n == 1 ? 0 : 1 }' \
        "$out/strings.tsv")" || fail "no single \"$1\" in string table 080404b0"
    printf '%s' "$v"
}
expect() { # expect KEY VALUE
    local v
    v="$(value_of "$1")"
    [ "$v" = "$2" ] || fail "$1 is \"$v\", expected \"$2\""
    pass "$1 = \"$v\""
}
names_maker() { # names_maker KEY
    local v
    v="$(value_of "$1")"
    [ -n "$v" ] || fail "$1 is empty"
    case "$v" in *"$maker"*) ;; *) fail "$1 (\"$v\") does not name $maker" ;; esac
    pass "$1 = \"$v\""
}

expect FileVersion '1.01'
expect ProductVersion '1.01'
expect ProductName 'Wirelet'
expect InternalName 'Wirelet'
expect OriginalFilename 'Wirelet.exe'
expect FileDescription '软件名称'
expect CompanyName "$maker"
expect LegalCopyright "Copyright © 2026 $maker"
names_maker LegalTrademarks

# The decompiled text could in principle hide a lossy round trip; look for
# the maker's name as UTF-16LE in the compiled bytes themselves.
res_dump "$out/wirelet.res" 16 1 "$out/version.bin" || fail "could not extract the VERSIONINFO resource"
perl -e '
    use Encode; open my $f, "<:raw", $ARGV[0] or die; local $/; my $d = <$f>;
    exit(index($d, encode("UTF-16LE", decode("UTF-8", $ARGV[1]))) >= 0 ? 0 : 1);
' "$out/version.bin" "$maker" || fail "the compiled VERSIONINFO does not hold $maker as UTF-16LE"
pass "$maker stored as UTF-16LE in the compiled version resource"

grep -Eq '^[[:space:]]*VALUE[[:space:]]+"Translation",[[:space:]]*(0x0*804|2052),[[:space:]]*(1200|0x0*4[bB]0)[[:space:]]*$' "$rc" ||
    fail "Translation is not 0x0804, 1200: $(grep -E '"Translation"' "$rc" || echo missing)"
pass "Translation 0x0804, 1200"

# --- icon --------------------------------------------------------------------
ico="$src/wirelet.ico"
ico_check='
use strict; use warnings;
open my $fh, "<:raw", $ARGV[0] or die "$ARGV[0]: $!\n";
my $d = do { local $/; <$fh> };
my ($reserved, $type, $count) = unpack "vvv", $d;
die "not an icon file (reserved $reserved, type $type)\n" unless $reserved == 0 && $type == 1;
die "holds $count images, expected exactly 1\n" unless $count == 1;
my ($w, $h, $colors, $r, $planes, $bits, $bytes, $offset) = unpack "CCCCvvVV", substr($d, 6, 16);
$w ||= 256; $h ||= 256;
die "directory entry is ${w}x$h, expected 48x48\n" unless $w == 48 && $h == 48;
die "directory entry has $planes planes, expected 1\n" unless $planes == 1;
die "directory entry has $bits bits per pixel, expected 32\n" unless $bits == 32;
die "image data ($offset + $bytes) does not end the file (" . length($d) . ")\n"
    unless $offset + $bytes == length $d;
my $img = substr $d, $offset, $bytes;
if (substr($img, 0, 8) eq "\x89PNG\r\n\x1a\n") {
    my ($pw, $ph, $depth, $ctype) = unpack "NNCC", substr($img, 16, 10);
    die "PNG entry is ${pw}x$ph depth $depth type $ctype, expected 48x48 RGBA 8-bit\n"
        unless $pw == 48 && $ph == 48 && $depth == 8 && $ctype == 6;
    print "PNG entry, 48x48, 8-bit RGBA\n";
} else {
    my ($hs, $bw, $bh, $bp, $bb) = unpack "VllvV", $img;
    $bb &= 0xFFFF;
    die "DIB header: size $hs, ${bw}x$bh, planes $bp, $bb bpp; expected 40, 48x96, 1, 32\n"
        unless $hs == 40 && $bw == 48 && $bh == 96 && $bp == 1 && $bb == 32;
    print "32 bpp DIB entry, 48x48 (+AND mask)\n";
}
'
kind="$(perl -e "$ico_check" "$ico" 2>&1)" || fail "wirelet.ico: $kind"
pass "wirelet.ico: one image, 48x48, 1 plane, 32 bpp, $kind"

group="$(grep -E '^14 "IDI_ICON1" ' "$out/wirelet.res.txt" || true)"
[ -n "$group" ] || fail "no icon group named IDI_ICON1 in wirelet.res (found: $(tr '\n' ';' <"$out/wirelet.res.txt"))"
n_groups="$(grep -c '^14 ' "$out/wirelet.res.txt" || true)"
[ "$n_groups" = 1 ] || fail "expected one icon group, found $n_groups"
pass "ICON resource IDI_ICON1 (the only icon group)"

res_dump "$out/wirelet.res" 14 '"IDI_ICON1"' "$out/group.bin" || fail "could not extract the IDI_ICON1 group"
grp_check='
use strict; use warnings;
open my $fh, "<:raw", $ARGV[0] or die; my $d = do { local $/; <$fh> };
my ($r, $t, $n) = unpack "vvv", $d;
die "group holds $n images, expected 1\n" unless $t == 1 && $n == 1;
my ($w, $h, $c, $z, $planes, $bits, $bytes, $id) = unpack "CCCCvvVv", substr($d, 6, 14);
die "group entry ${w}x$h planes $planes $bits bpp, expected 48x48 1 32\n"
    unless $w == 48 && $h == 48 && $planes == 1 && $bits == 32;
print "$id\n";
'
icon_id="$(perl -e "$grp_check" "$out/group.bin" 2>&1)" || fail "compiled IDI_ICON1: $icon_id"
res_dump "$out/wirelet.res" 3 "$icon_id" "$out/icon.bin" ||
    fail "the icon image $icon_id named by IDI_ICON1 is not in wirelet.res"
# The compiled image must be the file's image, byte for byte.
offset="$(perl -e 'open my $f, "<:raw", $ARGV[0] or die; read $f, my $h, 22; print unpack "V", substr $h, 18, 4' "$ico")"
tail -c +"$((offset + 1))" "$ico" | cmp -s - "$out/icon.bin" ||
    fail "the compiled icon image differs from the one in wirelet.ico"
pass "compiled IDI_ICON1: one 48x48 32 bpp image, identical to wirelet.ico's"

# --- manifest ----------------------------------------------------------------
# wirelet.rc must not carry one: MSVC embeds wirelet.exe.manifest itself, and
# two RT_MANIFEST id 1 resources make the link fail.
if grep -q '^24 ' "$out/wirelet.res.txt"; then
    fail "wirelet.rc contains a manifest resource; it belongs in wirelet-manifest.rc only"
fi
pass "no manifest in wirelet.rc"

grep -Eq '^24 1 ' "$out/wirelet-manifest.res.txt" ||
    fail "no RT_MANIFEST (type 24) id 1 in wirelet-manifest.res (found: $(tr '\n' ';' <"$out/wirelet-manifest.res.txt"))"
res_dump "$out/wirelet-manifest.res" 24 1 "$out/manifest.xml" || fail "could not extract the manifest"
cmp -s "$out/manifest.xml" "$src/wirelet.exe.manifest" ||
    fail "the compiled manifest differs from wirelet.exe.manifest"
pass "RT_MANIFEST (24) id 1 present, identical to wirelet.exe.manifest"

# A malformed manifest stops the program from starting at all (side-by-side
# error), so at least check that the tags nest.
xml_check='
use strict; use warnings;
local $/; my $x = <STDIN>;
$x =~ s/<!--.*?-->//gs; $x =~ s/<\?.*?\?>//gs;
my @open;
while ($x =~ /<(\/?)([A-Za-z][\w.:-]*)((?:[^>"]|"[^"]*")*?)(\/?)>/g) {
    my ($close, $name, $self) = ($1, $2, $4);
    if ($close) { my $top = pop @open // "nothing"; die "</$name> closes <$top>\n" if $top ne $name }
    elsif (!$self) { push @open, $name }
}
die "unclosed: <@open>\n" if @open;
my $flat = $x =~ s/\s+/ /gr;
my @want = (
    [qr/<requestedExecutionLevel\s[^>]*\blevel="asInvoker"/, "requestedExecutionLevel level=\"asInvoker\""],
    [qr/<requestedExecutionLevel\s[^>]*\buiAccess="false"/, "requestedExecutionLevel uiAccess=\"false\""],
);
for (@want) { die "missing $_->[1]\n" unless $flat =~ $_->[0] }
my ($cc) = $flat =~ m{<dependency>\s*<dependentAssembly>\s*(<assemblyIdentity\s[^>]*\bname="Microsoft\.Windows\.Common-Controls"[^>]*>)}
    or die "missing the Microsoft.Windows.Common-Controls dependency\n";
for my $a (q{version="6.0.0.0"}, q{publicKeyToken="6595b64144ccf1df"},
           q{processorArchitecture="*"}, q{language="*"}, q{type="win32"}) {
    die "Common-Controls dependency lacks $a\n" unless index($cc, $a) >= 0;
}
'
why="$(perl -e "$xml_check" <"$out/manifest.xml" 2>&1)" || fail "manifest: $why"
pass "manifest: well nested; asInvoker, uiAccess false, Common-Controls 6.0.0.0"

echo "all Windows resource checks passed"
