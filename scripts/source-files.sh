#!/usr/bin/env bash
# Prints the project's C and C++ files (sources and headers), NUL-separated, relative to the
# top of the tree: the ones git tracks, or every one outside build folders in an unpacked
# source tarball. The checks and the formatter read their file list from here.
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z -- '*.h' '*.hpp' '*.c' '*.cc' '*.cpp'
else
  find . -path './build*' -prune -o -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.c' \
    -o -name '*.cc' -o -name '*.cpp' \) -printf '%P\0'
fi
