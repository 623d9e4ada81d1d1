#!/usr/bin/env bash
# The tree checks on small made-up trees: the layering check names every include that points
# up the stack and only those; the format check names the files the formatter would change,
# and the formatter mends them. Exit code 77: skipped (no clang-format), with the reason.
set -uo pipefail
source_dir=$(cd "$(dirname "$0")/../../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# A tree of its own: the checks' scripts, the layout, and the given files committed to git.
make_tree() {
  rm -rf "$work/tree" && mkdir -p "$work/tree/scripts"
  cp "$source_dir"/scripts/{check-layers.sh,check-format.sh,format.sh,source-files.sh,clang-format-command.sh} \
    "$work/tree/scripts/"
  cp "$source_dir/.clang-format" "$work/tree/"
  mkdir -p "$work/tree/platform/d3dx" "$work/tree/engine/fs" "$work/tree/engine/scene" "$work/tree/clock" \
    "$work/tree/app" "$work/tree/tools/mediac" "$work/tree/tests/engine/fs" "$work/tree/tests/support" \
    "$work/tree/fuzz/d3dx" "$work/tree/bench/speed" "$work/tree/tests/clock"
}
commit_tree() {
  git -C "$work/tree" init -q && git -C "$work/tree" add -A &&
    git -C "$work/tree" -c user.name=t -c user.email=t@t commit -qm tree
}
include() { printf '#include "%s"\n' "$2" >> "$work/tree/$1"; }

# --- layering -------------------------------------------------------------------------------
make_tree
# Downward and sideways includes that are fine.
include engine/fs/a.cpp platform/d3dx/d3dx.h
include clock/b.cpp engine/scene/scene.h
include app/c.cpp clock/storm.h
include tools/mediac/d.cpp engine/fs/stream.h
include tests/engine/fs/e.cpp tests/support/temp_dir.h
include tests/engine/fs/e.cpp engine/fs/stream.h
include fuzz/d3dx/f.cpp platform/d3dx/d3dx.h
include bench/speed/g.cpp app/frame_loop.h
include tests/clock/h.cpp app/saver_application.h
include engine/fs/a.cpp vector
# Upward ones, each of which must be named.
include engine/fs/up.cpp clock/storm.h
include platform/d3dx/up.cpp engine/fs/stream.h
include clock/up.cpp app/frame_loop.h
include tools/mediac/up.cpp clock/storm.h
include tests/engine/fs/up.cpp clock/storm.h
include fuzz/d3dx/up.cpp engine/fs/stream.h
include app/up.cpp tests/support/temp_dir.h
commit_tree
out=$(cd "$work/tree" && bash scripts/check-layers.sh 2>&1)
status=$?
[ $status -eq 1 ] || fail "layering: exit $status with upward includes"
for bad in engine/fs/up.cpp platform/d3dx/up.cpp clock/up.cpp tools/mediac/up.cpp tests/engine/fs/up.cpp \
  fuzz/d3dx/up.cpp app/up.cpp; do
  grep -q "^$bad:1: " <<<"$out" || fail "layering: $bad not named"
done
[ "$(grep -c ': includes ' <<<"$out")" -eq 7 ] || fail "layering: named more than the seven upward includes: $out"

# --- format ---------------------------------------------------------------------------------
source "$source_dir/scripts/clang-format-command.sh" 2>/dev/null || { echo "no clang-format: skipped"; exit 77; }
make_tree
printf 'int tidy() { return 1; }\n' > "$work/tree/engine/fs/tidy.cpp"
printf 'int   untidy( ){return 2 ;}\n' > "$work/tree/engine/fs/untidy.cpp"
commit_tree
out=$(cd "$work/tree" && bash scripts/check-format.sh 2>/dev/null)
status=$?
[ $status -eq 1 ] || fail "format: exit $status with an untidy file"
[ "$out" = engine/fs/untidy.cpp ] || fail "format: named '$out' instead of the untidy file alone"
(cd "$work/tree" && bash scripts/format.sh) || fail "format: the formatter failed"
[ "$(cat "$work/tree/engine/fs/untidy.cpp")" = 'int untidy() { return 2; }' ] || fail "format: not mended"
(cd "$work/tree" && bash scripts/check-format.sh >/dev/null 2>&1) || fail "format: still untidy after formatting"
# A layout the formatter cannot read is the check failing, not every file being untidy.
echo 'ColumnLimit: wide' > "$work/tree/.clang-format"
(cd "$work/tree" && bash scripts/check-format.sh >/dev/null 2>&1)
[ $? -eq 2 ] || fail "format: an unreadable layout was not reported as the check failing"

[ $failures -eq 0 ] && echo "all checks behaved"
exit $((failures > 0))
