// Data statements of SQLite kept by their shape: a statement that differs from an earlier one only in
// its text and whole-number literals runs on that one's prepared form, with its values bound.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/data/Variant.h"

namespace servers {

// Runs one INSERT, UPDATE or DELETE as ExecSql does, through the kept statement of its shape; as
// written where it has no shape or its shape cannot be prepared.
void ExecShaped(sqlite3* db, const std::string& sql);

// The first column of the first row of a one-row query as an integer (0 without a row), run on the
// kept statement of its form with its compared texts and whole numbers bound (ParameterizedQuery).
int64_t QueryIntShared(sqlite3* db, const std::string& sql);

}  // namespace servers
