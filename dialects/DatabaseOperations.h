// Helpers shared by the dialects' database creation, backup and restore: paths and the optional
// keys of the connection strings they build.
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

}  // namespace dialect_databases
