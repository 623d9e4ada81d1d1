#!/usr/bin/env bash
# Starts the saver many times, several at once, on a busy machine, and counts the starts that
# drew a frame. The X server is started without -noreset, as a kiosk or a host's display may
# be: it resets whenever its last client goes, which is when a start is most likely to meet
# a refused connection.
#
#   bash scripts/stress.sh [ROUNDS] [AT_ONCE] [BUSY_LOOPS]    (defaults 8, 4, number of cores)
#   STRESS_LIMIT=SECONDS: the time a start may take before it counts as failed (default 180)
#
# Prints one line per round and a summary; exits 1 when any start failed to draw.
set -uo pipefail
cd "$(dirname "$0")/.."
exe=${BRASSMOOR:-build/app/brassmoor}
rounds=${1:-8}
at_once=${2:-4}
busy=${3:-$(nproc)}
[ -x "$exe" ] || { echo "stress: build the saver first ($exe)"; exit 2; }

out=$(mktemp -d /tmp/brassmoor-stress.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$out"
}
trap cleanup EXIT

# A private server; it reports its own display number.
Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp +extension GLX 3>"$out/display" >"$out/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do [ -s "$out/display" ] && break; sleep 0.1; done
display=":$(head -1 "$out/display")"
[ "$display" != ":" ] || { echo "stress: Xvfb did not start"; exit 2; }

# Keep every core busy for the whole test.
for _ in $(seq 1 "$busy"); do
  ( while :; do :; done ) &
  pids+=($!)
done

started=0 drew=0
declare -A codes
begin=$(date +%s.%N)
for round in $(seq 1 "$rounds"); do
  run=()
  for slot in $(seq 1 "$at_once"); do
    n=$((round * 100 + slot))
    # A start that never draws must not hold the test up: after the time limit it counts
    # as failed (exit 124).
    DISPLAY=$display LIBGL_ALWAYS_SOFTWARE=1 XDG_CONFIG_HOME="$out/config" \
      timeout "${STRESS_LIMIT:-180}" "$exe" --window 480x360 --seed "$n" --frames 1 --no-sound --no-music --no-time \
      --screenshot "$out/shot-$n.png" >/dev/null 2>"$out/err-$n.txt" &
    run+=("$!:$n")
  done
  round_drew=0
  for entry in "${run[@]}"; do
    pid=${entry%%:*} n=${entry##*:}
    wait "$pid"; code=$?
    started=$((started + 1))
    codes[$code]=$(( ${codes[$code]:-0} + 1 ))
    if [ "$code" = 1 ] && [ -s "$out/shot-$n.png" ]; then
      drew=$((drew + 1)); round_drew=$((round_drew + 1))
    else
      echo "  start $n: exit $code, $(grep -m1 'brassmoor:' "$out/err-$n.txt" || echo 'no message')"
    fi
  done
  echo "round $round: $round_drew of $at_once drew"
  # Between rounds the server has no client left and resets.
  sleep 0.2
done
end=$(date +%s.%N)
summary=""
for c in "${!codes[@]}"; do summary+=" exit $c: ${codes[$c]};"; done
printf 'stress: %d starts (%d at once, %d busy loops on %d cores) in %.1f s: %d drew;%s\n' \
  "$started" "$at_once" "$busy" "$(nproc)" "$(awk -v a="$begin" -v b="$end" 'BEGIN { print b - a }')" "$drew" "$summary"
[ "$drew" = "$started" ]
