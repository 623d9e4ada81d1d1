#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test (under Xvfb when there is
# no display). Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${SKIP_DEPS:-0}" != 1 ]; then bash scripts/install-deps.sh; fi
bash scripts/build.sh
export LIBGL_ALWAYS_SOFTWARE=1
bash scripts/with-display.sh ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
