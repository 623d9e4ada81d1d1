#!/usr/bin/env bash
# The menu icon, with ImageMagick: the clock's dial as the settings dialog's decoration shows it
# (dialog_155.bmp, 258 x 185, which finish_pictures.sh makes from the dial render), cut round
# inside a thin brass ring, in the sizes desktops look for:
#   make_icons.sh <dialog decoration> <icon theme dir>
# writes <icon theme dir>/<n>x<n>/apps/brassmoor.png for n = 16, 22, 24, 32, 48, 64, 128.
set -euo pipefail
IN=$1
OUT=$2
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# The dial's chapter ring stands centred at (127, 105) with a radius of 50 pixels; the crop
# keeps 6 more, which the brass ring covers.
SIDE=512
convert "$IN" -crop 112x112+71+49 +repage -filter Lanczos -resize ${SIDE}x${SIDE}! "$TMP/dial.png"
convert -size ${SIDE}x${SIDE} xc:black -fill white -draw "circle 256,256 256,1" "$TMP/mask.png"
convert "$TMP/dial.png" "$TMP/mask.png" -alpha off -compose CopyOpacity -composite "$TMP/round.png"
# A brass ring over the dial's edge, lighter at the top like the lamp-lit case.
convert -size ${SIDE}x${SIDE} gradient:'#f3d48a'-'#7a4e16' "$TMP/brass.png"
convert -size ${SIDE}x${SIDE} xc:black -fill none -stroke white -strokewidth 28 \
  -draw "circle 256,256 256,14" "$TMP/ring-mask.png"
convert "$TMP/brass.png" "$TMP/ring-mask.png" -alpha off -compose CopyOpacity -composite "$TMP/ring.png"
convert "$TMP/round.png" "$TMP/ring.png" -compose Over -composite "$TMP/icon.png"

for n in 16 22 24 32 48 64 128; do
  mkdir -p "$OUT/${n}x${n}/apps"
  # Small sizes sharpen after shrinking so the hands stay readable.
  sharpen=0x0.5
  [ "$n" -le 32 ] && sharpen=0x0.8
  convert "$TMP/icon.png" -filter Lanczos -resize ${n}x${n} -unsharp "$sharpen" -strip \
    -define png:color-type=6 "$OUT/${n}x${n}/apps/brassmoor.png"
done
