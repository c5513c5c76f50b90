#!/usr/bin/env bash
# Builds the archive readers' libFuzzer targets (ZIP reader, legacy decoders, type detection, the
# lister's header readers and the lister component) with clang (ASan + UBSan) and runs each for a
# bounded time, seeded from the archives under tests/data. Usage: run.sh [seconds per target, default
# 60].
# Exits non-zero when a target finds a crash, a sanitizer report or a file written out of place.
set -euo pipefail
cd "$(dirname "$0")"
REPO="$(cd ../../.. && pwd)"
CORPUS="$REPO/tests/data/archives"
SECONDS_PER_TARGET="${1:-60}"
WORK="${FUZZ_WORK:-$REPO/build-fuzz}"
mkdir -p "$WORK"

SOURCES=(
  "$REPO"/archive/pakvoErrors.cpp "$REPO"/archive/pakvoGbls.cpp "$REPO"/archive/pakvoCrypt.cpp
  "$REPO"/archive/pakvoFileScan.cpp "$REPO"/archive/pakvoFileIo.cpp "$REPO"/archive/pakvoRegister.cpp
  "$REPO"/archive/pakvoBase.cpp "$REPO"/archive/pakvoLegacy.cpp "$REPO"/archive/pakvoSpan.cpp
  "$REPO"/archive/pakvoUnBase.cpp "$REPO"/archive/pakvoUnZip.cpp "$REPO"/archive/pakvoHeaders.cpp
  "$REPO"/archive/pakvoPakvo.cpp
)
for f in "$REPO"/archive/pakvoStreams.cpp "$REPO"/archive/pakvoInflate.cpp; do
  [[ -f "$f" ]] && SOURCES+=("$f")
done
SOURCES+=("$REPO"/common/*.cpp "$REPO"/platform/files/*.cpp)
FLAGS=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I"$REPO")
export UBSAN_OPTIONS="print_stacktrace=1"

echo "building fuzz targets in $WORK"
clang++ "${FLAGS[@]}" fuzz_zip_reader.cpp "${SOURCES[@]}" -lz -o "$WORK/fuzz_zip_reader"
clang++ "${FLAGS[@]}" fuzz_legacy_decoders.cpp "$REPO"/archive/pakvoLegacy.cpp -o "$WORK/fuzz_legacy_decoders"
clang++ "${FLAGS[@]}" fuzz_type_detection.cpp "${SOURCES[@]}" -lz -o "$WORK/fuzz_type_detection"
clang++ "${FLAGS[@]}" ../lister_header_fuzz.cpp "${SOURCES[@]}" -lz -o "$WORK/fuzz_lister_headers"
clang++ "${FLAGS[@]}" fuzz_lister_component.cpp "${SOURCES[@]}" -lz -o "$WORK/fuzz_lister_component"

# Seeds: every small ZIP sample under tests/data, and raw legacy streams.
SEEDS_ZIP="$WORK/seeds-zip"
SEEDS_LEGACY="$WORK/seeds-legacy"
SEEDS_ANY="$WORK/seeds-any"
SEEDS_LISTER="$WORK/seeds-lister"
rm -rf "$SEEDS_ZIP" "$SEEDS_LEGACY" "$SEEDS_ANY" "$SEEDS_LISTER"
mkdir -p "$SEEDS_ZIP" "$SEEDS_LEGACY" "$SEEDS_ANY" "$SEEDS_LISTER" "$WORK/corpus-zip" "$WORK/corpus-legacy" \
  "$WORK/corpus-detect" "$WORK/corpus-lister" "$WORK/corpus-lister-component"
find "$CORPUS" \( -iname '*.zip' -o -iname '*.jar' \) -size -200k -exec cp {} "$SEEDS_ZIP"/ \;
cp regressions/* "$SEEDS_ZIP"/
for f in "$CORPUS"/legacy/zip2-*.bin; do
  { printf '\x04\x08\x00'; cat "$f"; } > "$SEEDS_LEGACY/reduce-$(basename "$f")"
  { printf '\x05\x08\x00'; cat "$f"; } > "$SEEDS_LEGACY/explode-$(basename "$f")"
done

# Every small sample of any format; for the lister, each prefixed with a byte that picks each
# header family (or file extension) in turn.
find "$CORPUS" -type f -size -200k -exec cp {} "$SEEDS_ANY"/ \;
n=0
for f in "$SEEDS_ANY"/*; do
  for family in 0 1 2 3 4 5 6 7 8 9 10 11; do
    { printf "\\$(printf %03o "$family")"; cat "$f"; } > "$SEEDS_LISTER/$n-$family"
  done
  n=$((n + 1))
done

status=0
"$WORK/fuzz_zip_reader" -artifact_prefix="$WORK/" -max_total_time="$SECONDS_PER_TARGET" -max_len=262144 -rss_limit_mb=2048 \
  -timeout=20 "$WORK/corpus-zip" "$SEEDS_ZIP" || status=1
"$WORK/fuzz_legacy_decoders" -artifact_prefix="$WORK/" -max_total_time="$SECONDS_PER_TARGET" -max_len=65536 -timeout=20 \
  "$WORK/corpus-legacy" "$SEEDS_LEGACY" || status=1
"$WORK/fuzz_type_detection" -artifact_prefix="$WORK/" -max_total_time="$SECONDS_PER_TARGET" -max_len=262144 \
  -rss_limit_mb=2048 -timeout=20 "$WORK/corpus-detect" "$SEEDS_ANY" || status=1
"$WORK/fuzz_lister_headers" -artifact_prefix="$WORK/" -max_total_time="$SECONDS_PER_TARGET" -max_len=262144 \
  -rss_limit_mb=2048 -timeout=20 "$WORK/corpus-lister" "$SEEDS_LISTER" || status=1
"$WORK/fuzz_lister_component" -artifact_prefix="$WORK/" -max_total_time="$SECONDS_PER_TARGET" -max_len=262144 \
  -rss_limit_mb=2048 -timeout=20 "$WORK/corpus-lister-component" "$SEEDS_LISTER" || status=1
exit $status
