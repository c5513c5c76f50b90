// Pieces of the data set shared by its source files: the parsed form of a filter text, value
// conversion to a field's type, and the comparisons that filters, sorts and Locate use.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/data/FieldDef.h"
#include "platform/data/Variant.h"

namespace ado {

struct FilterNode {
  enum Kind { kAnd, kOr, kCompare };
  enum Op { kEq, kNe, kLt, kGt, kLe, kGe };
  Kind kind = kCompare;
  std::unique_ptr<FilterNode> left;
  std::unique_ptr<FilterNode> right;
  std::string fieldName;  // as written in the filter
  int field = -1;         // bound field index
  Op op = kEq;
  Variant literal;        // Null for the NULL keyword
};

// Parses filter text; raises EDatabaseError on a syntax error.
std::unique_ptr<FilterNode> ParseFilter(const std::string& text);
// Resolves field names to indexes; `fieldIndex` returns -1 for a missing field, which raises
// EDatabaseError "Field 'X' not found".
void BindFilter(FilterNode& node, const std::function<int(const std::string&)>& fieldIndex);
bool MatchesFilter(const FilterNode& node, const Row& row, const FieldDefs& defs);

// The value converted to the field's storage type (null and empty give null); raises
// EVariantError when it does not convert.
Variant CoerceToField(const FieldDef& def, const Variant& value);
// The same in place, copying nothing when the value is of the field's storage type already.
void CoerceInPlace(const FieldDef& def, Variant& value);
bool IsTextField(FieldType type);

// The significant digits of a decimal text (leading zeros and the exponent left out); a value
// with more than 15 does not pass through a double unchanged.
int SignificantDigits(std::string_view s);
// Appends the shortest text that reads back as exactly `d`.
void AppendNumber(std::string& out, double d);

// Parses "[name]" or "name" lists separated by any of `separators`, trimming blanks.
std::vector<std::string> SplitNameList(const std::string& text, const char* separators);

}  // namespace ado
