// Data statements of SQLite kept by their shape: a statement that differs from an earlier one only in
// its text and whole-number literals runs on that one's prepared form, with its values bound.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/data/Variant.h"

namespace servers {

// The text with its quoted texts and whole numbers (at most 15 digits, standing alone) replaced by
// numbered parameters, their values appended to `values`. Empty when the text holds what a value
// could change the meaning of (ORDER BY, GROUP BY, LIMIT, OFFSET, COLLATE), a blob literal, a
// parameter, a comment or a second statement.
std::string LiteralFreeShape(const std::string& sql, std::vector<ado::Variant>& values);

// Runs one INSERT, UPDATE or DELETE as ExecSql does, through the kept statement of its shape; as
// written where it has no shape or its shape cannot be prepared.
void ExecShaped(sqlite3* db, const std::string& sql);

// The first column of the first row of a one-row query as an integer (0 without a row), run on the
// kept statement of its form with its compared texts and whole numbers bound (ParameterizedQuery).
int64_t QueryIntShared(sqlite3* db, const std::string& sql);

}  // namespace servers
