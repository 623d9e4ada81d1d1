#!/usr/bin/env bash
# Installs what is needed, builds the saver and runs it. With a working display it runs
# full-screen (any key or mouse button ends it). Without one it starts a private X server,
# records a short demo into demo/<date-time>/ and prints that folder. Extra arguments are
# passed to the saver.
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

out="demo/$(date +%Y%m%d-%H%M%S)"
mkdir -p "$out"
export LIBGL_ALWAYS_SOFTWARE=1
status=0
bash scripts/with-display.sh "$exe" /s --frames "${DEMO_FRAMES:-90}" --record "$out/frames" \
  --screenshot "$out/last-frame.png" "$@" || status=$?
# A completed run ends with exit code 1.
if [ "$status" -ne 1 ]; then
  echo "brassmoor: the demo run failed (exit code $status)" >&2
  exit 1
fi
echo "$(pwd)/$out"
