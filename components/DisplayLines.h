// Text as the windows show it. A window that lays out one line of many megabytes (a statement
// holding a huge name or value) can spend minutes and gigabytes on it, so each line a window shows
// is cut after a few thousand characters and marked with "…"; the text itself is never changed.
#pragma once

#include <string>
#include <string_view>

namespace displaylines {

// The most characters of one line a window shows.
constexpr size_t kLineLimit = 4000;
// The mark that ends a cut line.
inline constexpr std::string_view kCutMark = "\xE2\x80\xA6";  // "…"

// aText with every line (between "\n" or "\r") longer than kLineLimit characters cut to its first
// kLineLimit characters followed by kCutMark; shorter lines and the line ends as they are.
std::string CutLongLines(std::string_view aText);

}  // namespace displaylines
