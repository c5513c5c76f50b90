#include "servers/client/ResultTable.h"

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

namespace sqlclient {

namespace {

std::string CellText(const ado::Variant& v) {
  if (v.IsNull()) return "NULL";
  std::string s = v.AsString();
  std::replace(s.begin(), s.end(), '\n', ' ');
  std::replace(s.begin(), s.end(), '\r', ' ');
  return s;
}

bool IsNumeric(ado::FieldType t) {
  using ado::FieldType;
  return t == FieldType::ftSmallint || t == FieldType::ftInteger || t == FieldType::ftLargeint ||
         t == FieldType::ftByte || t == FieldType::ftFloat || t == FieldType::ftCurrency ||
         t == FieldType::ftBCD;
}

void PrintCell(std::ostream& out, const std::string& s, size_t width, bool right) {
  const std::string pad(width > s.size() ? width - s.size() : 0, ' ');
  out << (right ? pad + s : s + pad);
}

}  // namespace

void PrintRowSet(const ado::RowSet& rows, std::ostream& out, bool counted) {
  const size_t n = rows.Fields.size();
  std::vector<size_t> width(n);
  std::vector<std::vector<std::string>> cells;
  cells.reserve(rows.Rows.size());
  for (size_t c = 0; c < n; ++c) width[c] = rows.Fields[c].Name.size();
  for (const ado::Row& row : rows.Rows) {
    std::vector<std::string> line(n);
    for (size_t c = 0; c < n && c < row.size(); ++c) {
      line[c] = CellText(row[c]);
      width[c] = std::max(width[c], line[c].size());
    }
    cells.push_back(std::move(line));
  }
  for (size_t c = 0; c < n; ++c) {
    if (c) out << ' ';
    PrintCell(out, rows.Fields[c].Name, width[c], false);
  }
  out << '\n';
  for (size_t c = 0; c < n; ++c) {
    if (c) out << ' ';
    out << std::string(width[c], '-');
  }
  out << '\n';
  for (const auto& line : cells) {
    for (size_t c = 0; c < n; ++c) {
      if (c) out << ' ';
      PrintCell(out, line[c], width[c], IsNumeric(rows.Fields[c].Type) && line[c] != "NULL");
    }
    out << '\n';
  }
  if (counted) out << '(' << rows.Rows.size() << (rows.Rows.size() == 1 ? " row" : " rows") << " affected)\n";
}

}  // namespace sqlclient
