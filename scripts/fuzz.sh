#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer)
# into build-fuzz/ and runs each for the given number of seconds (default 60), one after the
# other, at low priority. Working corpora live in build-fuzz/corpus/<target>, seeded from
# fuzz/<module>/corpus/; findings are written to build-fuzz/findings/.
#
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]
#
# Exits non-zero when a target crashes, leaks or trips a sanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-60}
shift || true
BUILD=${FUZZ_BUILD_DIR:-build-fuzz}
ALL_TARGETS=(fuzz_udf_text fuzz_udf_binary fuzz_archive)
TARGETS=("${@:-${ALL_TARGETS[@]}}")

declare -A SEEDS=(
  [fuzz_udf_text]=fuzz/udf/corpus/text
  [fuzz_udf_binary]=fuzz/udf/corpus/binary
  [fuzz_archive]=fuzz/fs/corpus/archive
)
declare -A MAX_LEN=(
  [fuzz_udf_text]=65536
  [fuzz_udf_binary]=65536
  [fuzz_archive]=65536
)

SAN="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBRASSMOOR_FUZZ=ON -DBRASSMOOR_TESTS=OFF -DBRASSMOOR_BENCH=OFF \
  -DCMAKE_C_FLAGS="$SAN -fsanitize=fuzzer-no-link" -DCMAKE_CXX_FLAGS="$SAN -fsanitize=fuzzer-no-link" >/dev/null
nice -n 15 cmake --build "$BUILD" -j 2 --target "${TARGETS[@]}"

mkdir -p "$BUILD/findings"
status=0
for target in "${TARGETS[@]}"; do
  corpus="$BUILD/corpus/$target"
  mkdir -p "$corpus"
  cp -n "${SEEDS[$target]}"/* "$corpus"/ 2>/dev/null || true
  exe=$(find "$BUILD/fuzz" -type f -name "$target" -perm -u+x | head -n 1)
  log="$BUILD/findings/$target.log"
  echo "== $target for ${SECONDS_EACH}s (log: $log)"
  if nice -n 15 "$exe" "$corpus" -max_total_time="$SECONDS_EACH" -max_len="${MAX_LEN[$target]}" \
      -rss_limit_mb=2048 -timeout=30 -print_final_stats=1 -artifact_prefix="$BUILD/findings/$target-" \
      >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" | tr '\n' ' '
    echo "corpus: $(ls "$corpus" | wc -l) inputs — no crash, leak or sanitizer report"
  else
    status=1
    echo "FAILED: see $log"
    tail -n 30 "$log"
  fi
done
exit $status
