# Sourced by the format scripts: sets CLANG_FORMAT to the formatter the tree is kept with.
# Debian 12's clang-format (version 14) is the reference: other versions lay out some
# constructs differently, so the check could fail on a tree that version 14 accepts.
# CLANG_FORMAT=... picks another binary.
if [ -z "${CLANG_FORMAT:-}" ]; then
  if command -v clang-format-14 >/dev/null 2>&1; then CLANG_FORMAT=clang-format-14; else CLANG_FORMAT=clang-format; fi
fi
if ! command -v "$CLANG_FORMAT" >/dev/null 2>&1; then
  echo "$0: $CLANG_FORMAT not found (scripts/install-deps.sh installs clang-format)" >&2
  exit 2
fi
if ! "$CLANG_FORMAT" --version | grep -q 'version 14\.'; then
  echo "$0: note: $("$CLANG_FORMAT" --version) is not version 14, which the tree is kept with" >&2
fi
