#!/usr/bin/env bash
# Builds the persisted-recordset reader's libFuzzer target with clang (ASan + UBSan) and runs it
# for a bounded time, seeded from the recordset samples of tests/data and the regressions folder.
# Usage: run.sh [seconds, default 60]. Exits non-zero when the target finds a crash, a sanitizer
# report or a recordset that does not survive being saved and loaded again.
set -euo pipefail
cd "$(dirname "$0")"
REPO="$(cd ../../../.. && pwd)"
SECONDS_TOTAL="${1:-60}"
WORK="${FUZZ_WORK:-$REPO/build-fuzz}"
mkdir -p "$WORK"

SOURCES=("$REPO"/platform/data/*.cpp "$REPO"/platform/xml/*.cpp "$REPO"/common/*.cpp)
FLAGS=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I"$REPO")
export UBSAN_OPTIONS="print_stacktrace=1"

echo "building the persisted-recordset fuzz target in $WORK"
clang++ "${FLAGS[@]}" fuzz_persisted_recordset.cpp "${SOURCES[@]}" -lpugixml -o "$WORK/fuzz_persisted_recordset"

SEEDS="$WORK/seeds-recordset"
rm -rf "$SEEDS"
mkdir -p "$SEEDS" "$WORK/corpus-recordset"
cp "$REPO"/tests/data/ado-xml/*.xml "$SEEDS"/
find regressions -type f -exec cp {} "$SEEDS"/ \;

"$WORK/fuzz_persisted_recordset" -artifact_prefix="$WORK/" -max_total_time="$SECONDS_TOTAL" -max_len=65536 \
  -rss_limit_mb=2048 -timeout=20 -dict=recordset.dict "$WORK/corpus-recordset" "$SEEDS"
