// Writing and reading the settings documents of the components.
#include "components/SettingsFile.h"

#include <unistd.h>

#include <filesystem>
#include <string>

#include "common/Paths.h"
#include "components/ComponentError.h"
#include "platform/xml/XmlDocument.h"

namespace fs = std::filesystem;

namespace settingsfile {

namespace {

// A temporary name beside `nativeName` that no other writer of this process or another uses.
std::string TemporaryName(const std::string& nativeName) {
  return nativeName + ".~" + std::to_string(::getpid()) + ".tmp";
}

}  // namespace

void Save(const pugi::xml_document& doc, const std::string& aFileName, bool aOverwrite) {
  const std::string nativeName = paths::ToNativePath(aFileName);
  std::error_code ec;
  const bool exists = fs::exists(fs::symlink_status(nativeName, ec));
  if (exists && !aOverwrite) throw EComponentError("File " + aFileName + " already exists!");
  const std::string failure =
      exists ? "Unable to overwrite file " + aFileName : "Unable to write file " + aFileName;
  // A directory (or anything else that is no file) is not replaced by a settings file.
  if (exists && fs::is_directory(nativeName, ec)) throw EComponentError(failure);
  const std::string temporary = TemporaryName(nativeName);
  if (!doc.save_file(temporary.c_str(), "  ")) {
    fs::remove(temporary, ec);
    throw EComponentError(failure);
  }
  fs::rename(temporary, nativeName, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw EComponentError(failure);
  }
}

pugi::xml_node Load(pugi::xml_document& doc, const std::string& aFileName) {
  const std::string nativeName = paths::ToNativePath(aFileName);
  std::error_code ec;
  if (!fs::is_regular_file(nativeName, ec)) {
    throw EComponentError("Unable to load Settings: file " + aFileName + " does not exists");
  }
  xmldoc::LoadFile(doc, nativeName);
  return doc.document_element();
}

}  // namespace settingsfile
