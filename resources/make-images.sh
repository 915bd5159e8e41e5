#!/usr/bin/env bash
# Regenerates the pictures in image/. Run by hand after changing a picture;
# the build never runs it, it only packs the committed files.
#
# Needs: imagemagick (convert), qrencode, python3.
# No text is drawn: fonts differ between machines and would make the output
# differ too. Timestamps and other volatile chunks are left out so that a
# rerun on the same tool versions gives the same bytes.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$here/image"

need() { # need TOOL PACKAGE
    if ! command -v "$1" >/dev/null 2>&1; then
        echo "make-images.sh: '$1' not found; install the Debian package '$2'" >&2
        echo "  e.g. sudo apt-get install $2" >&2
        exit 1
    fi
}
need convert imagemagick
need qrencode qrencode
need python3 python3
# GraphicsMagick also ships a 'convert' on some systems and lacks what we use.
if ! convert -version 2>/dev/null | grep -q ImageMagick; then
    echo "make-images.sh: 'convert' is not ImageMagick; install the Debian package 'imagemagick'" >&2
    exit 1
fi

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"

teal='#1f6f8b'
amber='#f2a541'
red='#e4574b'

# Drops tIME and the date:create/modify text chunks (they change on every run)
# and bKGD, which nothing here needs.
volatile='png:exclude-chunks=date,time,tEXt,zTXt,iTXt,bKGD'

# --- public.jpg: follow-the-maker QR code, 258 x 258 -----------------------
# 29 modules * 6 px + a 4-module quiet zone = 222 px of white; the teal frame
# fills the rest. Level M so a worn print still scans.
qrencode -l M -s 6 -m 4 -o "$tmp/follow.png" "https://wirelet.example/follow"
convert -size 258x258 "xc:$teal" \
    "$tmp/follow.png" -gravity center -composite \
    -fill "$amber" -stroke none \
    -draw 'rectangle 0,0 17,17' -draw 'rectangle 240,240 257,257' \
    -strip -type TrueColor -colorspace sRGB \
    -interlace none -sampling-factor 2x2,1x1,1x1 -quality 92 \
    "JPEG:$out/public.jpg"

# --- pay.png: donation card, 308 x 436 -------------------------------------
# White rounded card on a transparent canvas, teal title band with a heart,
# the donation QR code below and a small "wire" ornament at the bottom.
qrencode -l M -s 7 -m 0 -o "$tmp/donate.png" "https://wirelet.example/donate"
convert -size 308x436 xc:none \
    -fill white -stroke '#d9d9d9' -strokewidth 1 \
    -draw 'roundrectangle 0.5,0.5 307.5,435.5 16,16' \
    -stroke none -fill "$teal" \
    -draw 'roundrectangle 0,0 307,40 16,16' \
    -draw 'rectangle 0,20 307,96' \
    -fill white \
    -draw 'circle 141,40 141,53' -draw 'circle 167,40 167,53' \
    -draw 'polygon 128.6,45 179.4,45 154,72' \
    "$tmp/donate.png" -gravity northwest -geometry +52+124 -composite \
    -stroke "$teal" -strokewidth 3 -fill none \
    -draw 'line 84,384 224,384' \
    -stroke none -fill "$amber" \
    -draw 'circle 78,384 78,391' -draw 'circle 230,384 230,391' \
    -fill "$red" -draw 'circle 154,384 154,389' \
    -units PixelsPerCentimeter -density 37.8 \
    -define "$volatile" -define png:compression-level=9 \
    "PNG32:$tmp/pay.png"
# 37.8 px/cm is written as 3780 px/m = 96 dpi; asking for 96 px/inch gives
# 3779 after ImageMagick's rounding.

# ImageMagick 6 writes gAMA/cHRM but never an sRGB chunk unless the input
# carried a profile it recognises, so add it here (right after IHDR, where
# the PNG format wants it: before PLTE and IDAT).
python3 - "$tmp/pay.png" "$out/pay.png" <<'PY'
import struct, sys, zlib

src, dst = sys.argv[1], sys.argv[2]
data = open(src, "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
chunks, at = [], 8
while at < len(data):
    (length,) = struct.unpack(">I", data[at:at + 4])
    chunks.append((data[at + 4:at + 8], data[at:at + 12 + length]))
    at += 12 + length
kinds = [k for k, _ in chunks]
assert kinds[0] == b"IHDR" and b"sRGB" not in kinds, kinds
body = b"sRGB\x00"                  # rendering intent 0: perceptual
srgb = struct.pack(">I", 1) + body + struct.pack(">I", zlib.crc32(body))
with open(dst, "wb") as f:
    f.write(data[:8] + chunks[0][1] + srgb + b"".join(c for _, c in chunks[1:]))
PY

# --- close.png / close_dark.png: "x" glyph, 32 x 32 ------------------------
glyph_close() { # glyph_close COLOUR FILE
    convert -size 32x32 xc:none \
        -stroke "$1" -strokewidth 3 -fill none \
        -draw 'stroke-linecap round line 10,10 22,22' \
        -draw 'stroke-linecap round line 22,10 10,22' \
        -strip -define "$volatile" "PNG32:$2"
}
glyph_close '#a6a6a6' "$out/close.png"
glyph_close '#3c3c3c' "$out/close_dark.png"

# --- add.png: "+" glyph, 64 x 64 -------------------------------------------
convert -size 64x64 xc:none \
    -stroke "$teal" -strokewidth 6 -fill none \
    -draw 'stroke-linecap round line 32,16 32,48' \
    -draw 'stroke-linecap round line 16,32 48,32' \
    -strip -define "$volatile" "PNG32:$out/add.png"

ls -l "$out"
