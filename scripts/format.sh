#!/usr/bin/env bash
# Lays out C and C++ files as .clang-format says, in place.
#
#   bash scripts/format.sh [FILE...]     (no FILE: the whole tree)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/clang-format-command.sh
if [ $# -gt 0 ]; then
  printf '%s\0' "$@" | xargs -0 "$CLANG_FORMAT" --style=file -i
else
  bash scripts/source-files.sh | xargs -0 "$CLANG_FORMAT" --style=file -i
fi
