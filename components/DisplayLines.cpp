#include "components/DisplayLines.h"

#include <algorithm>

#include "common/Text.h"

namespace displaylines {

std::string CutLongLines(std::string_view aText) {
  // A line of more than kLineLimit characters is longer than that in bytes too: short texts are
  // taken whole without looking at their characters.
  if (aText.size() <= kLineLimit) return std::string(aText);
  std::string out;
  size_t start = 0;
  while (start <= aText.size()) {
    const size_t end = std::min(aText.find_first_of("\r\n", start), aText.size());
    const std::string_view line = aText.substr(start, end - start);
    const std::string_view shown = line.size() > kLineLimit ? text::Utf8Start(line, kLineLimit) : line;
    out += shown;
    if (shown.size() < line.size()) out += kCutMark;
    if (end == aText.size()) break;
    out += aText[end];
    start = end + 1;
  }
  return out;
}

}  // namespace displaylines
