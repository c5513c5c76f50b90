// Prints a result set as a plain text table: a header row, a rule, one line per row, nulls as
// "NULL", then the row count unless the server sent none.
#pragma once

#include <iosfwd>

#include "platform/data/FieldDef.h"

namespace sqlclient {

void PrintRowSet(const ado::RowSet& rows, std::ostream& out, bool counted = true);

}  // namespace sqlclient
