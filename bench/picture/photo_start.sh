#!/usr/bin/env bash
# What a photo in the frame costs at start: wall time, processor time (user + system, the fairer
# figure on a busy machine) and peak memory of a run that draws one frame, without a picture
# and with an 8000x6000 (48 MP) photo, each run a few times under /usr/bin/time -v. Needs a
# built tree (build/) and a display (run it through scripts/with-display.sh when there is none).
#
#   bash bench/picture/photo_start.sh [RUNS] [WIDTH HEIGHT]
set -euo pipefail
cd "$(dirname "$0")/../.."
RUNS=${1:-3}
W=${2:-8000}
H=${3:-6000}
BUILD=${BUILD_DIR:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
"$BUILD/bench/picture/photo_maker" "$work/photo.jpg" "$W" "$H"
echo "photo: ${W}x${H}, $(stat -c %s "$work/photo.jpg") bytes"

run() {  # label, extra options...
  local label=$1
  shift
  for i in $(seq 1 "$RUNS"); do
    /usr/bin/time -v "$BUILD/app/brassmoor" --window 800x600 --time 10:10:30 --seed 1 --tour c6.cam \
      --tour-time 50 --frames 1 --no-music --no-sound "$@" >/dev/null 2>"$work/time.txt" || true
    local wall rss
    wall=$(grep 'Elapsed (wall clock)' "$work/time.txt" | awk '{print $NF}')
    rss=$(grep 'Maximum resident set size' "$work/time.txt" | awk '{print $NF}')
    local cpu
    cpu=$(awk -F': ' '/User time|System time/ {s += $2} END {print s}' "$work/time.txt")
    echo "$label run $i: wall ${wall} s, cpu ${cpu} s, peak ${rss} KB"
  done
}

run "plain" 
run "photo" --photo "$work/photo.jpg"
