// ADO's XML persistence format for recordsets, read and written for exchange: the
// XML-Data rowset schema (s:Schema, s:AttributeType, s:datatype) and the rs:data section of
// z:row elements, in which a null is an absent attribute.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/data/FieldDef.h"

namespace ado {

constexpr size_t kNoValueLimit = static_cast<size_t>(-1);

// What a reader of files from elsewhere asks of a persisted recordset beyond its form.
struct PersistedLoad {
  // The longest value taken, in bytes; a longer one is refused before it is copied.
  size_t maxValueBytes = kNoValueLimit;
  // The fields kept (case ignored; the first of a name when the file has two); the file's other
  // fields are skipped while it is read and cost no memory. Empty keeps every field.
  std::vector<std::string> fields;
  // A document type declaration is refused: no file of the kind read holds one.
  bool refuseDocumentType = false;
};

// Reads a persisted recordset. Pending changes in the file are applied (inserted and updated
// rows as they now stand, deleted rows left out); child rowsets of a hierarchical recordset are
// not read. Raises EDatabaseError naming the file and the fault when the file is missing,
// truncated, malformed, holds a value its column's type does not accept, or breaks `rules`.
RowSet LoadPersistedXml(const std::string& fileName, const PersistedLoad& rules = {});
// The same for a document held in memory; `source` names it in messages.
RowSet ParsePersistedXml(const std::string& document, const std::string& source);

// The document for the fields and rows. Field names that are not XML names are written under
// generated attribute names (c0, c1, ...) with the real name in rs:name.
std::string WritePersistedXml(const FieldDefs& fields, const std::vector<const Row*>& rows);
// Writes the document to a temporary file beside `fileName` and then moves it over the file, so
// a failed save leaves an existing file as it was. Raises EDatabaseError naming the file.
void SavePersistedXml(const std::string& fileName, const FieldDefs& fields,
                      const std::vector<const Row*>& rows);

}  // namespace ado
