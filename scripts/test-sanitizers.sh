#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and
# runs the whole suite there (under Xvfb when there is no display). Any memory error, leak in
# our own code or undefined behaviour fails the test it happens in.
#
#   bash scripts/test-sanitizers.sh [ctest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${SANITIZER_BUILD_DIR:-build-asan}
SAN="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
# Instrumented objects differ from the plain build's; a compiler cache keeps rebuilds short.
LAUNCHER=()
if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null; then
  LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
BUILD_DIR=$BUILD_DIR bash scripts/build.sh -DBRASSMOOR_BENCH=OFF "${LAUNCHER[@]}" \
  -DCMAKE_C_FLAGS="$SAN" -DCMAKE_CXX_FLAGS="$SAN" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined"
# The graphics, windowing and dialog libraries keep some allocations for the life of the
# process; only leaks that pass through our own code are reported.
export LSAN_OPTIONS="suppressions=$PWD/scripts/sanitizer-leaks.supp:print_suppressions=0"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LIBGL_ALWAYS_SOFTWARE=1
bash scripts/with-display.sh ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)" --timeout 600 "$@"
