#!/usr/bin/env bash
# Draws the four 36x36 kind icons of NORVACONNECT's message dialog
# (Warning1, Error1, Information1, Confirmation1) with ImageMagick and writes
# them as single-image 32-bit (alpha) .ico files next to this script. The
# .ico files are committed; run this only to redraw them.
# Each picture is drawn at 4x on a transparent canvas and scaled down, which
# gives clean anti-aliased edges at 36x36.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
command -v convert >/dev/null || { echo "ImageMagick 'convert' is required" >&2; exit 1; }

font=DejaVu-Sans-Bold
big=144   # drawing size; 4 x 36

draw() {  # name, then the drawing arguments
  local name=$1; shift
  convert -size ${big}x${big} xc:none "$@" -resize 36x36 -depth 8 \
    -type TrueColorAlpha "PNG32:$name.png"
  # Uncompressed (BMP) icon entry, so every icon loader reads it.
  convert "$name.png" -define icon:format=bmp "$name.ico"
  rm -f "$name.png"
}

# Warning: amber rounded triangle, dark outline, black exclamation mark.
draw Warning1 \
  -fill '#F5B800' -stroke '#8A6100' -strokewidth 6 -draw 'stroke-linejoin round polygon 72,10 136,128 8,128' \
  -stroke none -fill '#202020' -draw 'roundrectangle 64,42 80,96 6,6' -draw 'circle 72,112 72,102'

# Error: red disc, dark rim, white cross.
draw Error1 \
  -fill '#D83B3B' -stroke '#8E1A1A' -strokewidth 6 -draw 'circle 72,72 72,7' \
  -stroke white -strokewidth 16 -draw 'stroke-linecap round line 48,48 96,96' -draw 'stroke-linecap round line 96,48 48,96'

# Information: blue disc, dark rim, white "i".
draw Information1 \
  -fill '#2F7FD8' -stroke '#164C8C' -strokewidth 6 -draw 'circle 72,72 72,7' \
  -stroke none -fill white -draw 'circle 72,42 72,32' -draw 'roundrectangle 63,58 81,112 5,5'

# Confirmation: green disc, dark rim, white question mark.
draw Confirmation1 \
  -fill '#2E9E5B' -stroke '#17613A' -strokewidth 6 -draw 'circle 72,72 72,7' \
  -stroke none -fill white -font "$font" -pointsize 96 -gravity center -annotate +0+4 '?'
