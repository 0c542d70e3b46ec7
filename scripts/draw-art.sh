#!/usr/bin/env bash
# Draws the updater's pictures with ImageMagick and writes them into app/art/:
#   splash.bmp   494 x 305, 256 colours (bitmap 130 of the main dialog)
#   updater.ico  32 x 32 and 16 x 16, 16 colours each (icon 128)
# The outputs are committed; run this again only to change the pictures.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$top/app/art
im=/usr/bin/convert
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
bold=DejaVu-Sans-Bold; plain=DejaVu-Sans

# A page with a folded corner, its text lines, at x,y with size w x h.
page() {  # x y w h fill
  local x=$1 y=$2 w=$3 h=$4 f=$5 c=14
  echo "fill $f stroke #203040 stroke-width 2 polygon $x,$y $((x+w-c)),$y $((x+w)),$((y+c)) $((x+w)),$((y+h)) $x,$((y+h))"
  echo "fill #c8d0d8 polygon $((x+w-c)),$y $((x+w-c)),$((y+c)) $((x+w)),$((y+c))"
  echo "stroke #8090a0 stroke-width 3"
  for i in 1 2 3 4 5 6; do
    echo "line $((x+10)),$((y+14+i*12)) $((x+w-12-(i%3)*8)),$((y+14+i*12))"
  done
}

# The splash: the old document, an arrow, the new one; the right half stays
# calm because the dialog's message lies over it.
{
  page 34 120 80 104 '#e4e4e4'
  page 166 108 90 116 '#ffffff'
  echo "stroke none fill #f29e4c polygon 122,160 140,160 140,148 160,170 140,192 140,180 122,180"
  echo "fill #2a6f97 rectangle 176,128 240,140"
} >"$work/splash.mvg"
"$im" -size 494x305 gradient:'#14324f-#3a7ca5' \
  -draw "$(cat "$work/splash.mvg")" \
  -font "$bold" -pointsize 30 -fill white -annotate +24+56 'Dovetra 5' \
  -font "$plain" -pointsize 14 -fill '#d8e6f0' -annotate +26+82 'Updating Kestrin 5.0 to Dovetra 5.0.3' \
  -font "$plain" -pointsize 12 -fill '#d8e6f0' -annotate +44+246 'Kestrin 5.0' \
  -annotate +180+246 'Dovetra 5' \
  -fill '#ffffff' -draw 'fill-opacity 0.10 rectangle 262,82 478,264' \
  -dither None -colors 250 -type Palette -compress None BMP3:"$work/splash.bmp"
cp "$work/splash.bmp" "$out/splash.bmp"

# The icon at both sizes: a page and an arrow, drawn at 32 and scaled down.
"$im" -size 32x32 xc:none \
  -fill white -stroke '#203040' -strokewidth 1.5 -draw 'polygon 5,2 19,2 25,8 25,29 5,29' \
  -stroke '#8090a0' -strokewidth 1 -draw 'line 8,10 20,10' -draw 'line 8,14 21,14' -draw 'line 8,18 16,18' \
  -stroke none -fill '#e07a1f' -draw 'polygon 13,19 21,19 21,14 30,23 21,31 21,27 13,27' \
  "$work/icon32.png"
for s in 32 16; do
  "$im" "$work/icon32.png" -resize ${s}x${s} -background '#ff00ff' -alpha background \
    -channel A -threshold 50% +channel "$work/i$s.png"
  "$im" "$work/i$s.png" -background black -alpha remove -dither None -colors 15 \
    -type Palette -compress None BMP3:"$work/i$s.bmp"
  "$im" "$work/i$s.png" -alpha extract -negate -depth 1 GRAY:"$work/m$s.gray"
done
python3 "$top/scripts/make_ico.py" "$out/updater.ico" \
  "$work/i32.bmp" "$work/m32.gray" "$work/i16.bmp" "$work/m16.gray"
