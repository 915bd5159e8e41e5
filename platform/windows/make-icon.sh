#!/usr/bin/env bash
# Regenerates the icon: wirelet.ico (the executable's) beside this script and the Linux menu
# icons, platform/linux/icons/<N>x<N>.png at the hicolor sizes. Run by hand; the build only
# uses the committed files.
#
# Needs: imagemagick (convert).
# The artwork: a D-sub serial plug with its cable, on a rounded teal tile, laid out on a 48x48
# grid and drawn afresh at each size rather than scaled from one picture.
# The .ico holds exactly one 48x48 32-bit BGRA DIB entry: windres and every
# Windows version take that form, PNG-in-ICO needs Vista or later.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
icons="$(dirname "$here")/linux/icons"

if ! command -v convert >/dev/null 2>&1 \
    || ! convert -version 2>/dev/null | grep -q ImageMagick; then
    echo "make-icon.sh: ImageMagick's 'convert' not found; install the Debian package 'imagemagick'" >&2
    echo "  e.g. sudo apt-get install imagemagick" >&2
    exit 1
fi

teal='#1f6f8b'
amber='#f2a541'

# Pins: five on the top row, four below, as on a DE-9 plug.
pins=()
for x in 14 19 24 29 34; do pins+=(-draw "circle $x,18 $x,19.6"); done
for x in 16.5 21.5 26.5 31.5; do pins+=(-draw "circle $x,25 $x,26.6"); done

# Draws the 48-grid artwork at $1 pixels square into $2. Coordinates are pixel centres, so
# the grid scales about the half-pixel; at 48 the transform is the identity.
draw() {
    local size=$1 scale offset
    scale=$(bc <<<"scale=8; $size / 48")
    offset=$(bc <<<"scale=8; ($scale - 1) / 2")
    # -strip keeps tIME and date text chunks out, so reruns give the same bytes.
    convert -size "${size}x$size" xc:none -affine "$scale,0,0,$scale,$offset,$offset" \
        -fill "$teal" -draw 'roundrectangle 1,1 46,46 9,9' \
        -fill white -draw 'polygon 8,13 40,13 35,31 13,31' \
        -fill "$teal" "${pins[@]}" \
        -stroke "$amber" -strokewidth 3 -fill none \
        -draw 'stroke-linecap round path "M 24,32 C 24,38 30,38 30,45"' \
        -strip "PNG32:$2"
}

mkdir -p "$icons"
for size in 16 32 48 64 128 256; do
    draw "$size" "$icons/${size}x$size.png"
done

# A single 48x48 input gives a single entry; ImageMagick writes it as a
# 32 bpp BITMAPINFOHEADER DIB with an AND mask because the picture has alpha.
convert "$icons/48x48.png" "ICO:$here/wirelet.ico"

ls -l "$icons"/*.png "$here/wirelet.ico"
