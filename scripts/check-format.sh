#!/usr/bin/env bash
# Checks that every C and C++ file of the tree is laid out as .clang-format says. Prints each
# file that is not, and exits non-zero when there is any; scripts/format.sh mends them.
#
#   bash scripts/check-format.sh [FILE...]     (no FILE: the whole tree)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/clang-format-command.sh
if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -d '' files < <(bash scripts/source-files.sh)
fi
# One formatter run over every file; it names each line it would change as
# "FILE:LINE:COLUMN: error: code should be clang-formatted".
report=$(printf '%s\0' "${files[@]}" |
  xargs -0 "$CLANG_FORMAT" --style=file --dry-run --Werror 2>&1 >/dev/null || true)
offending=$(printf '%s\n' "$report" | sed -nE 's/^(.+):[0-9]+:[0-9]+: error: code should be clang-formatted.*/\1/p' | sort -u)
# Anything else it says at the start of a line (an unreadable .clang-format, a missing file)
# is a failure of the check itself, not of the layout.
others=$(printf '%s\n' "$report" | grep -E '^([^ ]+:[0-9]+:[0-9]+: error: |[Ee]rror |error: |Invalid |No such file)' |
  grep -v 'code should be clang-formatted' || true)
if [ -n "$others" ]; then
  printf '%s\n' "$others" >&2
  echo "check-format: the formatter failed" >&2
  exit 2
fi
if [ -n "$offending" ]; then
  printf '%s\n' "$offending"
  echo "check-format: $(printf '%s\n' "$offending" | wc -l) file(s) differ from .clang-format; run: bash scripts/format.sh" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files laid out as .clang-format says"
