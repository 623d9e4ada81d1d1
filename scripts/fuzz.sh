#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (the distribution's own; AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs each for the given number of seconds
# (default 60), one after the other, at low priority. Working corpora live in
# build-fuzz/corpus/<target>, seeded from the target's corpus folder under fuzz/; findings
# are written to build-fuzz/findings/.
#
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]
#
# Prints the executions of each target. Exits non-zero when a target crashes, leaks, runs
# out of time or memory on one input, or trips a sanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-60}
shift || true
BUILD=${FUZZ_BUILD_DIR:-build-fuzz}

# Target, seed folder and the largest input it is given (a little above its largest real
# file of that kind, so the fuzzer spends its time on plausible sizes).
declare -A SEEDS=(
  [fuzz_udf_text]=fuzz/udf/corpus/text
  [fuzz_udf_binary]=fuzz/udf/corpus/binary
  [fuzz_archive]=fuzz/fs/corpus/archive
  [fuzz_registry_store]=fuzz/registry/corpus
  [fuzz_scene_load]=fuzz/scene/corpus
  [fuzz_tour]=fuzz/clock/corpus/tours
  [fuzz_scene_props]=fuzz/clock/corpus/props
  [fuzz_texture_descriptor]=fuzz/device/corpus
  [charset_fuzz]=fuzz/text/corpus/charset
  [font_fuzz]=fuzz/text/corpus/font
  [image_decode_fuzz]=fuzz/d3dx/corpus
  [vorbis_decoder_fuzz]=fuzz/sound/corpus
)
declare -A MAX_LEN=(
  [fuzz_udf_text]=65536
  [fuzz_udf_binary]=65536
  [fuzz_archive]=65536
  [fuzz_registry_store]=65536
  [fuzz_scene_load]=65536
  [fuzz_tour]=16384
  [fuzz_scene_props]=16384
  [fuzz_texture_descriptor]=16384
  [charset_fuzz]=16384
  [font_fuzz]=4096
  [image_decode_fuzz]=65536
  [vorbis_decoder_fuzz]=65536
)
ALL_TARGETS=(fuzz_udf_text fuzz_udf_binary fuzz_archive fuzz_registry_store fuzz_scene_load fuzz_tour
             fuzz_scene_props fuzz_texture_descriptor charset_fuzz font_fuzz image_decode_fuzz
             vorbis_decoder_fuzz)
TARGETS=("${@:-${ALL_TARGETS[@]}}")

SAN="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBRASSMOOR_FUZZ=ON -DBRASSMOOR_TESTS=OFF -DBRASSMOOR_BENCH=OFF \
  -DCMAKE_C_FLAGS="$SAN -fsanitize=fuzzer-no-link" -DCMAKE_CXX_FLAGS="$SAN -fsanitize=fuzzer-no-link" >/dev/null
nice -n 15 cmake --build "$BUILD" -j "$(nproc)" --target "${TARGETS[@]}"

mkdir -p "$BUILD/findings"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/sanitizer-leaks.supp:print_suppressions=0"
status=0
for target in "${TARGETS[@]}"; do
  corpus="$BUILD/corpus/$target"
  mkdir -p "$corpus"
  cp -n "${SEEDS[$target]}"/* "$corpus"/ 2>/dev/null || true
  exe=$(find "$BUILD/fuzz" -type f -name "$target" -perm -u+x | head -n 1)
  log="$BUILD/findings/$target.log"
  echo "== $target for ${SECONDS_EACH}s (log: $log)"
  # Seeds first, as given, then the fuzzing proper; one input may take 10 s at most.
  if nice -n 15 "$exe" "$corpus" "${SEEDS[$target]}" -max_total_time="$SECONDS_EACH" -max_len="${MAX_LEN[$target]}" \
      -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -artifact_prefix="$BUILD/findings/$target-" \
      >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
    echo "$target: ${runs:-?} executions, peak ${rss:-?} MB, corpus $(ls "$corpus" | wc -l) inputs — no finding"
  else
    status=1
    echo "FAILED: $target (see $log)"
    tail -n 30 "$log"
  fi
done
exit $status
