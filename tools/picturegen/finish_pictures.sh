#!/usr/bin/env bash
# Turns the Blender stills (room.png, dial.png, preview.png from clock_room.py) into the program's
# pictures, with ImageMagick:
#   finish_pictures.sh <renders dir> <out dir>
# writes, under the names the resource table uses: loading_186.jpg (1024 x 768, the loading
# screen with the name), logo_187.png (256 x 128 with alpha, the corner logo),
# corner_188.bmp to corner_190.bmp (one-pixel placeholders that the loading screen skips),
# preview_173.bmp (152 x 112, the host's preview pane) and dialog_155.bmp (258 x 185, the
# settings dialog's decoration: 172 x 114 dialog units at 1.5 x 1.625 pixels a unit).
set -euo pipefail
IN=$1
OUT=$2
TITLE_FONT=/usr/share/fonts/opentype/urw-base35/P052-Italic.otf
mkdir -p "$OUT"
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# Gold lettering with a dark rim and a soft shadow: gold.png over a transparent canvas.
gold_text() {  # gold_text <width> <height> <pointsize> <offset> <text> <out.png>
  local w=$1 h=$2 size=$3 offset=$4 text=$5 out=$6
  convert -size "${w}x${h}" xc:black -font "$TITLE_FONT" -pointsize "$size" -fill white \
    -gravity center -annotate "$offset" "$text" "$TMP/mask.png"
  convert -size "${w}x${h}" gradient:'#fff4d2'-'#b07a2a' "$TMP/mask.png" -alpha off \
    -compose CopyOpacity -composite "$TMP/fill.png"
  convert "$TMP/mask.png" -morphology Dilate Disk:1.5 -blur 0x0.6 "$TMP/rim-mask.png"
  convert -size "${w}x${h}" xc:'#1c1006' "$TMP/rim-mask.png" -alpha off \
    -compose CopyOpacity -composite "$TMP/rim.png"
  convert "$TMP/rim-mask.png" -blur 0x3 -level 0,140% "$TMP/shadow-mask.png"
  convert -size "${w}x${h}" xc:black \( "$TMP/shadow-mask.png" -roll +2+3 \) -alpha off \
    -compose CopyOpacity -composite -channel A -evaluate multiply 0.7 +channel "$TMP/shadow.png"
  convert "$TMP/shadow.png" "$TMP/rim.png" -compose Over -composite \
    "$TMP/fill.png" -compose Over -composite "$out"
}

# The corner logo: the name, a thin rule and a small lozenge under it.
gold_text 256 128 50 +0-10 "Brassmoor" "$TMP/logo-text.png"
convert -size 256x128 xc:none -fill '#c99a48' -stroke none \
  -draw "rectangle 40,92 114,93" -draw "rectangle 142,92 216,93" \
  -draw "polygon 128,86 135,92.5 128,99 121,92.5" "$TMP/rule.png"
convert "$TMP/rule.png" \( +clone -background black -shadow 60x1.5+1+2 \) +swap -background none \
  -layers merge -crop 256x128+0+0 +repage "$TMP/rule-shadow.png"
convert "$TMP/rule-shadow.png" "$TMP/logo-text.png" -compose Over -composite \
  -define png:color-type=6 "$OUT/logo_187.png"

# The loading still: a painterly pass over the render (it also smooths the render's grain),
# a vignette, and the name across the upper left.
convert "$IN/room.png" -resize 1024x768! -kuwahara 1.5 -modulate 100,108 \
  \( -size 1024x768 radial-gradient:'#ffffff'-'#2a2a2a' -resize 1400x1000! -gravity center -crop 1024x768+0+0 +repage \) \
  -compose Multiply -composite "$TMP/room.png"
gold_text 620 150 92 +0+0 "Brassmoor" "$TMP/title.png"
convert "$TMP/room.png" "$TMP/title.png" -gravity NorthWest -geometry +10+120 -compose Over -composite \
  -quality 90 -sampling-factor 4:2:0 -strip "$OUT/loading_186.jpg"

# The preview pane: the clock and its corner of the room, small.
convert "$IN/preview.png" -resize 152x112! -modulate 125,105 -unsharp 0x0.6 -type TrueColor BMP3:"$OUT/preview_173.bmp"

# The dialog's decoration: the dial, square on.
convert "$IN/dial.png" -resize 258x185! -unsharp 0x0.5 -type TrueColor BMP3:"$OUT/dialog_155.bmp"

# Placeholders for the three corners that show nothing: one black pixel each.
for n in 188 189 190; do convert -size 1x1 xc:black -type TrueColor BMP3:"$OUT/corner_$n.bmp"; done
