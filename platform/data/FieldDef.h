// Field definitions shared by data sets, provider result sets and persisted recordsets.
#pragma once

#include <string>
#include <vector>

#include "platform/data/Variant.h"

namespace ado {

// The field types of data sets, provider result sets and persisted recordsets.
enum class FieldType {
  ftString,      // text of at most Size characters
  ftMemo,        // unbounded text
  ftSmallint,    // 16-bit integer
  ftInteger,     // 32-bit integer
  ftLargeint,    // 64-bit integer
  ftByte,        // unsigned 8-bit integer
  ftBoolean,
  ftFloat,       // double precision
  ftCurrency,
  ftBCD,         // decimal / numeric with Precision and Scale
  ftDateTime,
  ftBytes,       // binary of at most Size bytes
  ftBlob,        // unbounded binary
  ftGuid,
};

struct FieldDef {
  std::string Name;
  FieldType Type = FieldType::ftString;
  int Size = 0;        // characters or bytes for strings and binaries; 0 = unbounded
  int Precision = 0;   // decimals
  int Scale = 0;       // decimals
  bool Required = false;  // not nullable
};

using FieldDefs = std::vector<FieldDef>;
using Row = std::vector<Variant>;

// A rowset as a provider hands it back: field definitions and rows of values in field order.
struct RowSet {
  FieldDefs Fields;
  std::vector<Row> Rows;
};

}  // namespace ado
