#!/usr/bin/env bash
# The saver under the real host: a private X server, Debian's xscreensaver daemon with a
# private ~/.xscreensaver whose only program is this build's saver; -activate starts it in
# the daemon's window, -deactivate ends it. A screenshot of the root window is kept (in
# $BRASSMOOR_SHOTS_DIR when set).
# Usage: xscreensaver_host_test.sh <brassmoor executable>
# Exit codes: 0 passed, 1 failed, 77 skipped (xscreensaver or Xvfb is not installed).
set -uo pipefail
exe=$1
for tool in xscreensaver xscreensaver-command Xvfb xdpyinfo convert; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (scripts/install-deps.sh installs it)"
    exit 77
  fi
done

work=$(mktemp -d)
chmod 755 "$work"
xvfb_pid=""
daemon_pid=""
pid=""
cleanup() {
  [ -n "$daemon_pid" ] && kill "$daemon_pid" 2>/dev/null
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  echo "--- daemon log"; tail -n 40 "$work/home/daemon.log"; cat "$work/daemon.out" 2>/dev/null
  echo "--- saver's stderr"; tail -n 20 "$work/home/saver.err" 2>/dev/null
  exit 1
}

# The daemon refuses to start savers as root: it and everything it starts run as nobody,
# who must be able to read the saver and write its folders.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  command -v setpriv >/dev/null || { echo "SKIPPED: setpriv is needed to drop root"; exit 77; }
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
install -m 755 "$exe" "$work/brassmoor"
home="$work/home"
mkdir -p "$home" "$work/frames"
cat >"$home/.xscreensaver" <<CONFIG
mode:		one
selected:	0
timeout:	1:00:00
cycle:		0:00:00
lock:		False
fade:		False
unfade:		False
splash:		False
dpmsEnabled:	False
programs:	GL: $work/run-saver \n
CONFIG
# The daemon signals the program it started; this wrapper hands the signal on and keeps the
# saver's exit code and error output, which the daemon does not report.
cat >"$work/run-saver" <<SCRIPT
#!/bin/sh
"$work/brassmoor" --root --record "$work/frames" --seed 7 2>"$home/saver.err" &
child=\$!
trap 'kill -TERM \$child' TERM INT
wait \$child
wait \$child
echo \$? >"$home/saver.exit"
SCRIPT
chmod 755 "$work/run-saver"
[ "$(id -u)" -eq 0 ] && chown -R 65534:65534 "$home" "$work/frames"

# A private server that nobody may talk to as well (-ac); the display number comes back on
# a descriptor.
exec 5< <(Xvfb -displayfd 6 -screen 0 1024x600x24 -ac -nolisten tcp +extension GLX -noreset 6>&1 >/dev/null 2>"$work/xvfb.log" & echo "pid $!")
read -r _ xvfb_pid <&5
read -r -t 20 display_number <&5 || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$display_number"

env_for_user=(env -i HOME="$home" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin LIBGL_ALWAYS_SOFTWARE=1
              XDG_CONFIG_HOME="$home/.config")
"${as_user[@]}" "${env_for_user[@]}" xscreensaver --no-splash --verbose --log "$home/daemon.log" \
  >"$work/daemon.out" 2>&1 &
daemon_pid=$!

command_ok=""
for _ in $(seq 1 100); do
  if "${env_for_user[@]}" xscreensaver-command -time >/dev/null 2>&1; then command_ok=1; break; fi
  sleep 0.2
done
[ -n "$command_ok" ] || fail "the daemon did not answer"

saver_pid() { pgrep -f "^$work/brassmoor --root" | head -1; }
[ -z "$(saver_pid)" ] || fail "the saver ran before the host was told to activate"
"${env_for_user[@]}" xscreensaver-command -activate >/dev/null || fail "-activate was refused"

# Generous: on a loaded machine the first frames can take a long while; only a saver that
# never draws fails here.
for _ in $(seq 1 600); do
  pid=$(saver_pid)
  [ -n "$pid" ] && [ "$(ls "$work/frames" | wc -l)" -ge 5 ] && break
  sleep 0.2
done
[ -n "$pid" ] || fail "-activate did not start the saver"
[ "$(ls "$work/frames" | wc -l)" -ge 5 ] || fail "the saver started but drew no frames"
tr '\0' ' ' <"/proc/$pid/environ" | grep -q "XSCREENSAVER_WINDOW=" || fail "the saver was not given the host's window"

# The saver draws the whole of the host's window, which covers the screen.
sleep 1
frame=$(ls "$work/frames" | sort | tail -n 2 | head -n 1)
frame_size=$(identify -format '%wx%h' "$work/frames/$frame")
screen_size=$(xdpyinfo | awk '/dimensions:/ {print $2}')
[ "$frame_size" = "$screen_size" ] || fail "frames are $frame_size on a $screen_size screen"

shot_dir=${BRASSMOOR_SHOTS_DIR:-$work}
mkdir -p "$shot_dir"
shot="$shot_dir/xscreensaver-root.png"
# What the screen shows is what the saver draws: once the frames show the room, the screen
# must not stay black. A tour's fade through black is short, so a few tries get past one.
frame_mean=$(convert "$work/frames/$frame" -colorspace Gray -format '%[fx:mean]' info:)
for _ in $(seq 1 10); do
  import -window root "$shot" || fail "no screenshot of the root window"
  shot_mean=$(convert "$shot" -colorspace Gray -format '%[fx:mean]' info:)
  awk -v f="$frame_mean" -v s="$shot_mean" 'BEGIN { exit !(f <= 0.02 || s > 0.02) }' && break
  sleep 0.5
done
echo "screenshot of the root window: $shot"
echo "mean brightness: frame $frame_mean, screen $shot_mean"
awk -v f="$frame_mean" -v s="$shot_mean" 'BEGIN { exit !(f <= 0.02 || s > 0.02) }' ||
  fail "the frames show the room but the screen stays black"

"${env_for_user[@]}" xscreensaver-command -deactivate >/dev/null || fail "-deactivate was refused"
for _ in $(seq 1 300); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
! kill -0 "$pid" 2>/dev/null || fail "-deactivate did not stop the saver"
for _ in $(seq 1 50); do
  [ -s "$home/saver.exit" ] && break
  sleep 0.1
done
[ "$(cat "$home/saver.exit" 2>/dev/null)" = 1 ] ||
  fail "the saver did not end as a completed run (exit code $(cat "$home/saver.exit" 2>/dev/null)): $(cat "$home/saver.err")"
! grep -q "X Error" "$home/saver.err" || fail "the saver met an X error: $(cat "$home/saver.err")"
echo "PASSED: xscreensaver started the saver on -activate and stopped it on -deactivate"
