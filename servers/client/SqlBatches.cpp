#include "servers/client/SqlBatches.h"

#include "common/Text.h"

namespace sqlclient {

namespace {

bool IsGoLine(const std::string& line) { return text::SameText(text::Trim(line), "GO"); }

// Line (1-based) of the first non-blank character of the batch, counted from its first line.
int FirstTextLine(const std::vector<std::string>& lines, int firstLine) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!text::Trim(lines[i]).empty()) return firstLine + static_cast<int>(i);
  }
  return firstLine;
}

}  // namespace

std::vector<SqlBatch> SplitBatches(const std::string& script) {
  std::vector<SqlBatch> batches;
  std::vector<std::string> pending;
  int pendingFirstLine = 1;
  int lineNo = 0;

  auto flush = [&]() {
    std::string body;
    for (size_t i = 0; i < pending.size(); ++i) {
      if (i) body += "\n";
      body += pending[i];
    }
    if (!text::Trim(body).empty()) {
      SqlBatch b;
      b.Text = body;
      b.Number = static_cast<int>(batches.size()) + 1;
      b.StartLine = FirstTextLine(pending, pendingFirstLine);
      batches.push_back(std::move(b));
    }
    pending.clear();
  };

  for (std::string line : text::Split(script, '\n')) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (IsGoLine(line)) {
      flush();
      pendingFirstLine = lineNo + 1;
      continue;
    }
    if (pending.empty()) pendingFirstLine = lineNo;
    pending.push_back(line);
  }
  flush();
  return batches;
}

}  // namespace sqlclient
