#!/usr/bin/env bash
# Installs what is needed, builds the saver and runs it. With a working display it runs
# full-screen (any key or mouse button ends it). Without one it starts a private X server,
# runs the saver for 20 seconds with its sound written to a WAV file, and leaves a contact
# sheet of the frames, the last frame and the sound in demo/<date-time>/, whose path it
# prints. Extra arguments are passed to the saver.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${SKIP_DEPS:-0}" != 1 ]; then bash scripts/install-deps.sh; fi
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target brassmoor
exe="$BUILD_DIR/app/brassmoor"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$exe" /s "$@"
fi

seconds=${DEMO_SECONDS:-20}
out="demo/$(date +%Y%m%d-%H%M%S)"
frames="$out/.frames"
mkdir -p "$frames"
trap 'rm -rf "$frames"' EXIT
export LIBGL_ALWAYS_SOFTWARE=1
# The demo never touches the user's own settings.
export XDG_CONFIG_HOME="$out/.config"
status=0
bash scripts/with-display.sh "$exe" /s --seconds "$seconds" --record "$frames" --screenshot "$out/last-frame.png" \
  --audio-out "$out/sound.wav" "$@" || status=$?
# A completed run ends with exit code 1.
if [ "$status" -ne 1 ]; then
  echo "brassmoor: the demo run failed (exit code $status)" >&2
  exit 1
fi
rm -rf "$out/.config"

# Sixteen frames spread evenly over the run, in order, each labelled with its number.
mapfile -t all < <(find "$frames" -name 'frame-*.png' | sort)
if [ "${#all[@]}" -eq 0 ]; then
  echo "brassmoor: the demo run drew no frames" >&2
  exit 1
fi
picks=()
count=16
[ "${#all[@]}" -lt "$count" ] && count=${#all[@]}
for i in $(seq 0 $((count - 1))); do
  picks+=("${all[$((i * (${#all[@]} - 1) / (count > 1 ? count - 1 : 1)))]}")
done
montage -label '%t' -font DejaVu-Sans -pointsize 14 -fill '#dddddd' -background '#181818' \
  "${picks[@]}" -tile 4x -geometry '480x270+6+6' -depth 8 "$out/contact-sheet.png"
echo "${#all[@]} frames in ${seconds} s" >"$out/frames.txt"
[ -s "$out/sound.wav" ] || echo "brassmoor: note: the run wrote no sound file" >&2
echo "$(pwd)/$out"
