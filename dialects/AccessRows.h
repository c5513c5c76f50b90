// The Access dialect's vsiTables and vsiColumns rowsets: the provider's TABLES and COLUMNS rows
// with the columns the engine reads of every server added (TABLE_DBSPACE; COLUMN_TYPE_NAME,
// SIZE, SCALE, IS_IDENTITY, IDENTITY_SEED, IDENTITY_INCR) and IS_NULLABLE as 1 or 0.
#pragma once

#include <cstdint>
#include <string>

namespace ado {
class TDataSet;
}  // namespace ado

class TDatabaseSpecific;

// The native name, in the Access type table of `dialect`, of a column the provider describes by
// its type indicator and column flags (long text and long binary carry the "is long" flag);
// empty for a type the table lacks.
std::string AccessTypeName(const TDatabaseSpecific& dialect, int64_t dataType, int64_t flags);

// True for a counter column: a 4-byte integer the provider does not report as writable.
bool IsAccessCounter(int64_t dataType, int64_t flags);

// `result` is created with the fields of the open COLUMNS rowset `source` (IS_NULLABLE as an
// integer) plus the added columns, and gets one row per source row; left on its first row.
void FillAccessColumnRows(ado::TDataSet& source, ado::TDataSet& result,
                          const TDatabaseSpecific& dialect);

// The same for a TABLES rowset: its fields plus TABLE_DBSPACE, always empty text.
void FillAccessTableRows(ado::TDataSet& source, ado::TDataSet& result);
