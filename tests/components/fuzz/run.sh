#!/usr/bin/env bash
# Builds the instruction classifier's libFuzzer target with clang (ASan + UBSan) and runs it for a
# bounded time, seeded with the engine's statement forms. Usage: run.sh [seconds, default 60].
# Exits non-zero when the target finds a crash or a sanitizer report.
set -euo pipefail
cd "$(dirname "$0")"
REPO="$(cd ../../.. && pwd)"
SECONDS_TO_RUN="${1:-60}"
WORK="${FUZZ_WORK:-$REPO/build-fuzz}"
rm -rf "$WORK/seeds-instruction"
mkdir -p "$WORK/corpus-instruction" "$WORK/seeds-instruction"

FLAGS=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I"$REPO")
SOURCES=("$REPO"/components/Schemion.cpp "$REPO"/dialects/*.cpp "$REPO"/platform/data/*.cpp "$REPO"/platform/xml/*.cpp
  "$REPO"/common/*.cpp)
echo "building fuzz_instruction in $WORK"
clang++ "${FLAGS[@]}" fuzz_instruction.cpp "${SOURCES[@]}" -lpugixml -o "$WORK/fuzz_instruction"

n=0
while IFS= read -r line; do
  [[ -z "$line" ]] && continue
  for dialect in 1 2 3; do
    printf "\\$(printf %03o "$dialect")%s" "$line" > "$WORK/seeds-instruction/$dialect-$n"
  done
  n=$((n + 1))
done <<'SEEDS'
CREATE TABLE dbo.T (id int IDENTITY (1, 1)  NOT NULL) ON ds2
ALTER TABLE dbo.T ADD CONSTRAINT [PK T] PRIMARY KEY  NONCLUSTERED  (id)
ALTER TABLE dbo.C ADD CONSTRAINT FK FOREIGN KEY (pid) REFERENCES dbo.P (id) ON DELETE CASCADE
ALTER TABLE dbo.T ADD CONSTRAINT DF DEFAULT (0) FOR [a b]
ALTER TABLE dbo.T DROP COLUMN c
CREATE  UNIQUE  CLUSTERED  INDEX "ix" ON dba.T (a, b DESC)
DROP INDEX dbo.T.ix
DROP INDEX ix ON T
UPDATE dbo.T SET c = 1 WHERE c IS NULL
DELETE FROM dbo.C WHERE pid NOT IN (SELECT id FROM dbo.P WHERE id = id)
sp_addLogin 'u', 'p'; sp_grantDbAccess 'u', 'u'
ALTER DATABASE ADD FILEGROUP ds2
CREATE DBSPACE ds2 AS ds2.DB
grant connect to u identified by 'p'
SEEDS

export UBSAN_OPTIONS="print_stacktrace=1"
"$WORK/fuzz_instruction" -max_total_time="$SECONDS_TO_RUN" -max_len=4096 "$WORK/corpus-instruction" "$WORK/seeds-instruction"
