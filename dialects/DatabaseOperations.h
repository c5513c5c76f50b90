// Helpers shared by the dialects' database creation, backup and restore: paths, the optional
// keys of the connection strings they build, and names and texts written safely into SQL.
#pragma once

#include <string>

#include "common/Text.h"

namespace dialect_databases {

// Every doubled backslash folded to one (folder + "\" + name may double it).
inline std::string FoldPath(const std::string& path) {
  return text::ReplaceAll(path, "\\\\", "\\");
}

// ";key=value" with the value trimmed; nothing when the value is blank.
inline std::string OptionalKey(const char* key, const std::string& value) {
  const std::string trimmed = text::Trim(value);
  return trimmed.empty() ? std::string() : ";" + std::string(key) + "=" + trimmed;
}

// N'text' with every "'" doubled: a Unicode literal that no quote in the text can close.
inline std::string NLiteral(const std::string& text) {
  return "N'" + text::ReplaceAll(text, "'", "''") + "'";
}

// [name] with every "]" doubled: a bracketed name that no bracket in the name can close.
inline std::string BracketName(const std::string& name) {
  return "[" + text::ReplaceAll(name, "]", "]]") + "]";
}

}  // namespace dialect_databases
