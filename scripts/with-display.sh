#!/usr/bin/env bash
# Runs a command with an X display: the current one when $DISPLAY works, else a private Xvfb
# that is stopped when the command ends.
set -euo pipefail
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$@"
fi
xvfb_pid=
trap '[ -z "$xvfb_pid" ] || { kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; }' EXIT

# Starts Xvfb on display $1; true once it takes connections. The server takes the number
# itself (its lock and socket), so two runs that chose the same free-looking number at once
# do not share one server: the second finds it taken and ends, and the next number is tried.
start_server() {
  local ready
  ready=$(mktemp)
  Xvfb ":$1" -displayfd 3 -screen 0 1280x720x24 -nolisten tcp +extension GLX +render -noreset \
    3>"$ready" >"/tmp/brassmoor-xvfb-$1.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 200); do
    if [ -s "$ready" ]; then
      rm -f "$ready"
      return 0
    fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.05
  done
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
  rm -f "$ready"
  return 1
}

started=
for n in $(seq 90 140); do
  if [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; then continue; fi
  if start_server "$n"; then
    started=$n
    break
  fi
done
[ -n "$started" ] || { echo "with-display: no Xvfb could be started" >&2; exit 1; }
export DISPLAY=":${started}"
"$@"
