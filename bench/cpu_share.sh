#!/usr/bin/env bash
# The saver's share of a CPU core at 1280x720 with its frame cap, next to a classic OpenGL
# hack of the host drawing on the same screen at its default delay. Both run on a private
# X server with the same OpenGL (Mesa's software renderer unless the machine has better), so
# the figures compare what each costs to keep on screen, not absolute speed.
#
#   bash bench/cpu_share.sh [SECONDS] [HACK]     (defaults 20, gears)
#
# Needs Xvfb and the host's GL hacks (/usr/libexec/xscreensaver, Debian's xscreensaver-gl).
set -uo pipefail
cd "$(dirname "$0")/.."
exe=${BRASSMOOR:-build/app/brassmoor}
seconds=${1:-20}
hack=${2:-gears}
hack_exe=/usr/libexec/xscreensaver/$hack
warmup=5
[ -x "$exe" ] || { echo "cpu_share: build the saver first ($exe)"; exit 2; }
[ -x "$hack_exe" ] || { echo "cpu_share: $hack_exe is missing (package xscreensaver-gl)"; exit 2; }

out=$(mktemp -d /tmp/brassmoor-cpu.XXXXXX)
xpid=
cleanup() {
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$out"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp +extension GLX -noreset 3>"$out/display" >/dev/null 2>&1 &
xpid=$!
for _ in $(seq 1 100); do [ -s "$out/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$out/display")"
export LIBGL_ALWAYS_SOFTWARE=${LIBGL_ALWAYS_SOFTWARE:-1}
ticks=$(getconf CLK_TCK)

# CPU time (user + system, all threads) of a process in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }

# Frames the saver has presented so far: its --verbose trace says "present ok" once a frame.
presented() {
  local n
  n=$(grep -c '^present ok' "$1" 2>/dev/null)
  echo "${n:-0}"
}

# Starts a command, lets it settle, and prints its CPU share over the measured seconds, and
# for the saver the frames a second it drew meanwhile (a cap it cannot reach costs less than
# the cap would).
measure() {
  local trace="$out/trace-$RANDOM"
  "$@" >/dev/null 2>"$trace" &
  local pid=$!
  sleep "$warmup"
  local before start after end first last
  before=$(cpu_ticks "$pid"); first=$(presented "$trace"); start=$(date +%s.%N)
  sleep "$seconds"
  after=$(cpu_ticks "$pid"); last=$(presented "$trace"); end=$(date +%s.%N)
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  awk -v c=$((after - before)) -v t="$ticks" -v a="$start" -v b="$end" -v f=$((last - first)) \
    'BEGIN { printf "%.1f %%", 100 * c / t / (b - a); if (f > 0) printf " at %.1f frames a second, %.0f ms of CPU a frame", f / (b - a), 1000 * c / t / f }'
}

# The machine's load is part of the figures: a busy machine shares its cores with the runs.
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
limit=$((warmup + seconds + 30))
hosted=$(measure "$exe" --verbose -root --no-sound --no-music --seconds "$limit")
alone=$(measure "$exe" --verbose --window 1280x720 --no-sound --no-music --seconds "$limit")
other=$(measure "$hack_exe" -root)
echo "CPU share of one core at 1280x720 over ${seconds} s (renderer: ${LIBGL_ALWAYS_SOFTWARE:+software}; load average $load_before before, $(cut -d' ' -f1-3 /proc/loadavg) after, $(nproc) cores):"
host_cap=$(sed -n 's/.*kHostFrameCap = \([0-9]*\);.*/\1/p' app/run_options.h)
echo "  brassmoor -root (hosted, capped at ${host_cap:-?} fps):               ${hosted}"
echo "  brassmoor --window 1280x720 (capped at the refresh rate): ${alone}"
echo "  ${hack} -root (its default delay):                         ${other}"
