// The version block every executable of ours carries (section ".schemion_version", written by the
// build from the project version) and the routine that reads it back from the file without
// running it. The block is a list of records "key NUL, 16-bit little-endian length, value bytes"
// after the magic kVersionBlockMagic; keys are the lookup paths ("\VarFileInfo\Translation",
// "\StringFileInfo\040904E4\FileVersion"). Translation values are 32-bit words: language in the
// low 16 bits, code page in the high 16 bits.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace version {

inline constexpr std::string_view kVersionBlockMagic{"SchemionVersionInfo\0", 20};
inline constexpr std::string_view kVersionSectionName = ".schemion_version";

// The version block of an executable file: the contents of its version section; empty when the
// file cannot be read, is not an executable of a form we read, or has no such section.
std::string ReadVersionBlock(const std::string& aFile);

// The value stored under aKey in a block; nullopt when the block is malformed or lacks the key.
std::optional<std::string> QueryValue(std::string_view aBlock, std::string_view aKey);

// "0.0.0.0" unless the block holds a translation and the FileVersion text of the first one.
std::string FileVersionOf(std::string_view aBlock);

}  // namespace version
