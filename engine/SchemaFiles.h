// The master's schema files as the engine reads them: each kind's fields, and the one way a file
// is read, which keeps only those fields.
#pragma once

#include <string>
#include <vector>

#include "common/SchemionTypes.h"

namespace ado {
class TDataSet;
}

namespace schema_files {

// The fields a schema file of `kind` defines, whichever server wrote it: the dialects' own
// columns and those of the schema rowset of the same name.
const std::vector<std::string>& KindFields(TOrvSchemaInfo kind);

// The file of `kind` in the schema folder, resolved.
std::string PathOf(TOrvSchemaInfo kind, const std::string& folder);

// Opens `set` on the file of `kind` in the schema folder and returns the file's path. Only the
// kind's fields are read: a field of a newer producer costs nothing, and is allowed. A value
// longer than schema_validation::kMaxFieldBytes or a document type declaration is refused
// (EDatabaseError naming the file).
std::string Load(ado::TDataSet& set, TOrvSchemaInfo kind, const std::string& folder);

}  // namespace schema_files
