// Path rules shared by the whole system: folders written ".\x", "./x" or "..\x" are taken relative
// to the executable's folder, and doubled separators in composed paths fold to one.
#pragma once

#include <string>
#include <string_view>

namespace paths {

// Folder holding the running executable, without a trailing separator.
std::string ExecutableFolder();

// Collapses every run of doubled backslashes into one backslash (composed Windows-style paths).
std::string FoldBackslashes(std::string_view path);

// Turns a path composed with "\" separators into one of ours ("/"), folding doubled
// separators; a leading "//" or "\\" is folded too.
std::string ToNativePath(std::string_view path);

// True when the folder text begins with ".\", "./" or "..".
bool IsExecutableRelative(std::string_view folder);

// The folder as a path of ours: relative forms are resolved against `base` (by default the
// executable's folder); doubled separators fold.
std::string ResolveFolder(std::string_view folder);
std::string ResolveFolder(std::string_view folder, std::string_view base);

// Joins a folder and a name with exactly one "/" between them.
std::string Join(std::string_view folder, std::string_view name);

}  // namespace paths
