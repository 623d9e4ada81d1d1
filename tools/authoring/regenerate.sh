#!/usr/bin/env bash
# Regenerates the room's media in media/ from code: base textures, baked light maps,
# clock.udf and the ten tours c1.cam .. c10.cam. Nothing else in media/ is touched.
#
#   tools/authoring/regenerate.sh [--quick] [--preview] [--no-bake] [--textures A,B]
#
# --quick    small light maps, few samples (a minute or two; for trying things out)
# --preview  also renders PNG previews of the room into the work folder
# --no-bake  keeps the light maps already in the output folder
# --textures paints only the base textures named and keeps the others in the output folder
#
# The output folder is media/, or $BRASSMOOR_ROOM_MEDIA for trying a change out first: that
# folder starts as a copy of media/ (sounds, fonts and properties included), so the saver and
# the room views test can draw it as it is.
#
# The work folder (glTF export, previews, bake and tour statistics) is $WORK, or a fresh
# temporary folder that is printed at the end. Needs Debian's blender, python3-numpy,
# python3-pil and fonts-dejavu-core (installed when missing), and a build folder
# ($BUILD_DIR, default build/) for the media compiler.
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
BUILD_DIR=${BUILD_DIR:-build}
WORK=${WORK:-$(mktemp -d)}
mkdir -p "$WORK"
OUT=${BRASSMOOR_ROOM_MEDIA:-$ROOT/media}
if [ "$OUT" != "$ROOT/media" ]; then
  mkdir -p "$OUT"
  OUT=$(cd "$OUT" && pwd)
  [ -f "$OUT/Scene.props" ] || cp -a "$ROOT/media/." "$OUT/"
fi

if ! command -v blender >/dev/null || ! /usr/bin/python3 -c "import numpy, PIL" 2>/dev/null; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get install -y -q --no-install-recommends blender python3-numpy python3-pil fonts-dejavu-core
fi

start=$(date +%s)
nice -n 15 blender -b --factory-startup --python-exit-code 1 \
  -P tools/authoring/build.py -- --media "$OUT" --work "$WORK" "$@" > "$WORK/blender.log" 2>&1 || {
  grep -E "authoring|Error|Traceback" "$WORK/blender.log" | tail -20
  echo "blender failed; full log in $WORK/blender.log" >&2
  exit 1
}
grep "\[authoring\]" "$WORK/blender.log"

if [ ! -f "$BUILD_DIR/build.ninja" ] && [ ! -f "$BUILD_DIR/Makefile" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null
fi
cmake --build "$BUILD_DIR" --target mediac >/dev/null
"$BUILD_DIR/tools/mediac/mediac" "$WORK/room.gltf" "$OUT"
echo "room media regenerated into $OUT in $(( $(date +%s) - start )) s; work folder: $WORK"
