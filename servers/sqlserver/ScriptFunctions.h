// Server functions that users' scripts call: LIKE with the server's bracket patterns,
// SERVERPROPERTY, and CONVERT of a datetime to text in a style.
#pragma once

#include <sqlite3.h>

#include <string>

namespace servers::sqlserver {

// Registers tsql_like(value, pattern[, escape]), tsql_serverproperty(name) and
// tsql_datestyle(value, style) on the connection.
void RegisterScriptFunctions(sqlite3* db);

// True when `value` matches the LIKE pattern: % any run, _ one character, [abc], [a-f] and
// [^...] one character of (or not of) the set; `escape` (0 for none) makes the next character
// literal. Letters compare without case, as the default collation does.
bool LikeMatch(const std::string& value, const std::string& pattern, char32_t escape);

// A stored datetime ("yyyy-mm-dd hh:mm:ss.mmm") written in a CONVERT style (0 to 14, 20, 21, 100
// to 114, 120, 121, 126); `text` unchanged when it is no stored datetime or the style is unknown.
std::string DateInStyle(const std::string& text, int style);

}  // namespace servers::sqlserver
