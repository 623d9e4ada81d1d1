#!/usr/bin/env bash
# Regenerates the fonts, sounds and pictures that tools/fontbake, tools/soundgen and
# tools/picturegen make, and writes them into media/ and resources/pictures/. The outputs are
# committed, so a normal build never runs this; run it after changing one of those tools.
#
#   tools/make-media-assets.sh [sounds] [fonts] [pictures]    (default: all three)
#
# Needs: a configured build directory ($BUILD_DIR, default build/), fluidsynth with
# /usr/share/sounds/sf2/FluidR3_GM.sf2 (fluid-soundfont-gm), sox, oggenc (vorbis-tools),
# DejaVu and URW fonts (fonts-dejavu, fonts-urw-base35), Blender (blender) and
# ImageMagick's convert (imagemagick). The pictures take a few minutes of CPU rendering.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=${BUILD_DIR:-build}
MEDIA=$ROOT/media
PICTURES=$ROOT/resources/pictures
SOUNDFONT=${SOUNDFONT:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

parts=("$@")
[ ${#parts[@]} -eq 0 ] && parts=(sounds fonts pictures)
want() { local p; for p in "${parts[@]}"; do [ "$p" = "$1" ] && return 0; done; return 1; }

targets=()
want sounds && targets+=(soundgen)
want fonts && targets+=(fontbake)
[ ${#targets[@]} -gt 0 ] && cmake --build "$BUILD_DIR" --target "${targets[@]}" >/dev/null
SOUNDGEN=$BUILD_DIR/tools/soundgen/soundgen
FONTBAKE=$BUILD_DIR/tools/fontbake/fontbake
mkdir -p "$MEDIA" "$PICTURES"

# 16-bit with a fixed stream serial, so the same input always gives the same file.
encode() {  # encode <in.wav> <quality> <out.ogg>
  sox "$1" -b 16 "$WORK/enc.wav"
  oggenc -Q -s 1871 -q "$2" -o "$3" "$WORK/enc.wav"
}

if want sounds; then
  # Music: three identical passes rendered by the soundfont synthesiser; the middle pass,
  # lifted out with the tails the first one leaves in it, is the loop.
  PASS=$("$SOUNDGEN" music "$WORK/nocturne.mid" 3)
  fluidsynth -ni -q -R 0 -C 0 -g 1.0 -o audio.file.format=float -r 44100 \
    -F "$WORK/nocturne.wav" "$SOUNDFONT" "$WORK/nocturne.mid"
  # A small room around the piano, and the top softened a little for hours of listening.
  sox -V1 "$WORK/nocturne.wav" -e floating-point -b 32 "$WORK/room.wav" \
    highpass 30 reverb 38 55 80 100 12 -3 treble -1.5 7000
  "$SOUNDGEN" loop "$WORK/room.wav" "$WORK/music.wav" "$PASS" "$PASS" 0.5
  # Level: the music's RMS at -23.5 dBFS (its peaks land near -3 dBFS).
  GAIN=$(sox "$WORK/music.wav" -n stats 2>&1 | awk '/^RMS lev dB/ {print -23.5 - $4}')
  sox "$WORK/music.wav" -e floating-point -b 32 "$WORK/music-level.wav" gain "$GAIN"
  encode "$WORK/music-level.wav" 2 "$MEDIA/ClockMusic.ogg"

  "$SOUNDGEN" rain "$WORK/rain.wav"
  encode "$WORK/rain.wav" 2 "$MEDIA/ClockRain.ogg"
  for n in 1 2 3; do
    "$SOUNDGEN" thunder "$n" "$WORK/thunder$n.wav"
    encode "$WORK/thunder$n.wav" 3 "$MEDIA/ClockGrom$n.ogg"
  done
  "$SOUNDGEN" ticks "$WORK/ticks.wav"
  encode "$WORK/ticks.wav" 4 "$MEDIA/ClockTicks.ogg"
  # The bells, in the small room of the clock's hood and the study.
  for bell in hour quarter; do
    "$SOUNDGEN" bell "$bell" "$WORK/$bell.wav"
    sox -V1 "$WORK/$bell.wav" -e floating-point -b 32 "$WORK/$bell-room.wav" reverb 30 60 40 100 8 -2 gain -n -3
  done
  encode "$WORK/hour-room.wav" 3 "$MEDIA/ClockBell.ogg"
  encode "$WORK/quarter-room.wav" 3 "$MEDIA/ClockChime.ogg"
fi

if want fonts; then
  "$FONTBAKE" small /usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf "$MEDIA" sylfaen
  "$FONTBAKE" digits /usr/share/fonts/opentype/urw-base35/P052-Roman.otf "$MEDIA" 64font
fi

if want pictures; then
  # Stills of the scene's own room, built by tools/authoring: the loading still, the dial
  # and a small view of the clock.
  nice -n 15 blender -b --factory-startup -P tools/picturegen/room_still.py -- "$WORK" 48 100 room >/dev/null
  nice -n 15 blender -b --factory-startup -P tools/picturegen/room_still.py -- "$WORK" 64 100 dial >/dev/null
  nice -n 15 blender -b --factory-startup -P tools/picturegen/room_still.py -- "$WORK" 64 100 preview >/dev/null
  tools/picturegen/finish_pictures.sh "$WORK" "$PICTURES"
  # The menu icon, from the dial of the dialog's decoration.
  tools/picturegen/make_icons.sh "$PICTURES/dialog_155.bmp" "$ROOT/packaging/icons"
fi

ls -l "$MEDIA"/Clock*.ogg "$MEDIA"/*font* "$MEDIA"/sylfaen* 2>/dev/null || true
