// The settings files of the producer and the updater: an XML document under "Root", written so
// that an existing file is replaced only by a complete new one, and read through the hardened
// XML reader.
#pragma once

#include <pugixml.hpp>
#include <string>

namespace settingsfile {

// Writes `doc` to the file `aFileName` (a "\"-composed name is taken with "/" separators). An
// existing file raises EComponentError "File <name> already exists!" without aOverwrite; with it
// the new document goes to a temporary file beside it that replaces it only once whole, and any
// failure raises "Unable to overwrite file <name>", leaving the old file as it was. A new file
// that cannot be written raises "Unable to write file <name>".
void Save(const pugi::xml_document& doc, const std::string& aFileName, bool aOverwrite);

// Loads the file into `doc` and answers its document element. A missing file raises
// EComponentError "Unable to load Settings: file <name> does not exists"; a malformed one raises
// the XML reader's xmldoc::EXmlError.
pugi::xml_node Load(pugi::xml_document& doc, const std::string& aFileName);

}  // namespace settingsfile
