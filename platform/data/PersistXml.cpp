#include "platform/data/PersistXml.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

#include "common/Text.h"
#include "platform/data/DataErrors.h"
#include "platform/data/DataSetInternal.h"
#include "platform/xml/XmlDocument.h"

namespace ado {

namespace {

constexpr const char* kSchemaNs = "uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882";
constexpr const char* kDataTypesNs = "uuid:C2F41010-65B3-11d1-A29F-00AA00C14882";
constexpr const char* kRowsetNs = "urn:schemas-microsoft-com:rowset";
constexpr const char* kRowNs = "#RowsetSchema";
constexpr int kLongStringLength = 1073741823;
constexpr int kLongBinaryLength = 2147483647;

struct FileCloser {
  void operator()(FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// ---------------------------------------------------------------------------------------------
// Reading

// How a column's text is turned into a value.
enum class Decode { kText, kInt, kBool, kFloat, kCurrency, kDecimal, kDateTime, kHex, kBase64 };

constexpr size_t kSkipped = static_cast<size_t>(-1);

struct Column {
  std::string attrName;  // name in the z:row elements
  FieldDef def;
  Decode decode = Decode::kText;
  long number = 0;
  bool hasNumber = false;
  size_t slot = kSkipped;  // the column's place in a row read; kSkipped when it is not kept
};

class LoadError {
 public:
  explicit LoadError(std::string what) : what_(std::move(what)) {}
  const std::string& What() const { return what_; }

 private:
  std::string what_;
};

// Prefixes under which the document declares ADO's namespaces ("" when undeclared).
struct Prefixes {
  std::string s, dt, rs, z;
  bool zIsDefault = false;
};

void CollectPrefixes(const pugi::xml_node& node, Prefixes& p) {
  for (pugi::xml_attribute a : node.attributes()) {
    const std::string_view name = a.name();
    const std::string_view value = a.value();
    if (name == "xmlns") {
      if (value == kRowNs) p.zIsDefault = true;
      continue;
    }
    if (!name.starts_with("xmlns:")) continue;
    const std::string prefix(name.substr(6));
    if (text::SameText(value, kSchemaNs)) p.s = prefix;
    else if (text::SameText(value, kDataTypesNs)) p.dt = prefix;
    else if (value == kRowsetNs) p.rs = prefix;
    else if (value == kRowNs) p.z = prefix;
  }
}

std::string_view LocalName(const char* qname) {
  const std::string_view n(qname);
  const size_t colon = n.find(':');
  return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

std::string_view PrefixOf(const char* qname) {
  const std::string_view n(qname);
  const size_t colon = n.find(':');
  return colon == std::string_view::npos ? std::string_view() : n.substr(0, colon);
}

bool Is(const pugi::xml_node& n, const std::string& prefix, const char* local) {
  return n.type() == pugi::node_element && PrefixOf(n.name()) == prefix && LocalName(n.name()) == local;
}

const char* Attr(const pugi::xml_node& n, const std::string& prefix, const char* local) {
  const std::string qn = prefix.empty() ? std::string(local) : prefix + ":" + local;
  pugi::xml_attribute a = n.attribute(qn.c_str());
  return a ? a.value() : nullptr;
}

bool IsTrue(const char* v) { return v && (text::SameText(v, "true") || std::strcmp(v, "1") == 0); }
bool IsFalse(const char* v) { return v && (text::SameText(v, "false") || std::strcmp(v, "0") == 0); }

long ToLong(const char* v, long fallback) {
  if (!v) return fallback;
  const std::string t = text::Trim(v);
  long r = 0;
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), r);
  return ec == std::errc() && p == t.data() + t.size() ? r : fallback;
}

int ClampInt(long v) {
  return static_cast<int>(std::clamp<long>(v, 0, std::numeric_limits<int>::max()));
}

Column ReadColumn(const pugi::xml_node& attrType, const Prefixes& p) {
  Column c;
  const char* name = attrType.attribute("name").value();
  c.attrName = name;
  const char* realName = Attr(attrType, p.rs, "name");
  c.def.Name = realName ? realName : name;
  if (const char* number = Attr(attrType, p.rs, "number")) {
    c.number = ToLong(number, 0);
    c.hasNumber = true;
  }
  // Type facts may stand on the column itself or on its s:datatype child.
  pugi::xml_node dtNode;
  for (pugi::xml_node ch : attrType.children()) {
    if (Is(ch, p.s, "datatype")) dtNode = ch;
  }
  auto fact = [&](const std::string& prefix, const char* local) -> const char* {
    if (dtNode) {
      if (const char* v = Attr(dtNode, prefix, local)) return v;
    }
    return Attr(attrType, prefix, local);
  };
  const std::string type = text::Lower(fact(p.dt, "type") ? fact(p.dt, "type") : "string");
  const std::string dbtype = text::Lower(fact(p.rs, "dbtype") ? fact(p.rs, "dbtype") : "");
  const long maxLength = ToLong(fact(p.dt, "maxLength"), 0);
  const bool isLong = IsTrue(fact(p.rs, "long"));
  c.def.Precision = ClampInt(ToLong(fact(p.rs, "precision"), 0));
  c.def.Scale = ClampInt(ToLong(fact(p.rs, "scale"), 0));
  const bool nullable = IsTrue(Attr(attrType, p.rs, "nullable"));
  c.def.Required = IsFalse(fact(p.rs, "maybenull")) && !nullable;

  FieldType ft = FieldType::ftString;
  // Text columns, and columns of the XML-Data types read as text: long ones are memos.
  auto text = [&] {
    if (isLong || maxLength >= kLongStringLength) {
      ft = FieldType::ftMemo;
    } else {
      c.def.Size = ClampInt(maxLength);
    }
  };
  if (dbtype == "currency") {
    // Money columns are currency whatever XML-Data type carries them.
    ft = FieldType::ftCurrency;
    c.decode = Decode::kCurrency;
  } else if (type == "string" || type == "char") {
    text();
  } else if (type == "i1" || type == "i2") {
    ft = FieldType::ftSmallint;
    c.decode = Decode::kInt;
  } else if (type == "ui1") {
    ft = FieldType::ftByte;
    c.decode = Decode::kInt;
  } else if (type == "int" || type == "i4" || type == "ui2") {
    ft = FieldType::ftInteger;
    c.decode = Decode::kInt;
  } else if (type == "i8" || type == "ui4" || type == "ui8") {
    ft = FieldType::ftLargeint;
    c.decode = Decode::kInt;
  } else if (type == "boolean") {
    ft = FieldType::ftBoolean;
    c.decode = Decode::kBool;
  } else if (type == "float" || type == "r8" || type == "r4") {
    ft = FieldType::ftFloat;
    c.decode = Decode::kFloat;
  } else if (type == "fixed.14.4" || dbtype == "currency") {
    ft = FieldType::ftCurrency;
    c.decode = Decode::kCurrency;
  } else if (type == "number") {
    ft = FieldType::ftBCD;
    c.decode = Decode::kDecimal;
  } else if (type == "datetime" || type == "datetime.tz" || type == "date" || type == "time" ||
             type == "time.tz") {
    ft = FieldType::ftDateTime;
    c.decode = Decode::kDateTime;
  } else if (type == "bin.hex" || type == "bin.base64") {
    c.decode = type == "bin.hex" ? Decode::kHex : Decode::kBase64;
    if (isLong || maxLength >= kLongBinaryLength || maxLength >= kLongStringLength) {
      ft = FieldType::ftBlob;
    } else {
      ft = FieldType::ftBytes;
      c.def.Size = ClampInt(maxLength);
    }
  } else if (type == "uuid") {
    ft = FieldType::ftGuid;
    c.def.Size = 38;
  } else {
    text();
  }
  c.def.Type = ft;
  return c;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool DecodeHex(std::string_view s, Bytes& out) {
  if (s.size() % 2) return false;
  out.resize(s.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    const int hi = HexDigit(s[2 * i]);
    const int lo = HexDigit(s[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = static_cast<uint8_t>(hi * 16 + lo);
  }
  return true;
}

bool DecodeBase64(std::string_view s, Bytes& out) {
  out.clear();
  uint32_t acc = 0;
  int bits = 0;
  bool padding = false;
  for (char c : s) {
    int v;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    else if (c >= '0' && c <= '9') v = c - '0' + 52;
    else if (c == '+') v = 62;
    else if (c == '/') v = 63;
    else if (c == '=') {
      padding = true;
      continue;
    } else if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
      continue;
    } else {
      return false;
    }
    if (padding) return false;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<uint8_t>((acc >> bits) & 0xFF));
    }
  }
  return true;
}

bool ParseDigits(std::string_view s, size_t& pos, size_t count, int& out) {
  if (pos + count > s.size()) return false;
  out = 0;
  for (size_t i = 0; i < count; ++i) {
    const char c = s[pos + i];
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  pos += count;
  return true;
}

// "yyyy-mm-dd", "yyyy-mm-ddThh:mm[:ss[.fff]]", "hh:mm:ss", each with an optional zone, which is
// not applied (the values are local date-times).
bool ParseDateTime(std::string_view s, DateTime& out) {
  size_t pos = 0;
  int y = 1899, mo = 12, d = 30, h = 0, mi = 0, sec = 0, ms = 0;
  const bool timeOnly = s.size() >= 3 && s[2] == ':';
  if (!timeOnly) {
    if (!ParseDigits(s, pos, 4, y) || pos >= s.size() || s[pos++] != '-' ||
        !ParseDigits(s, pos, 2, mo) || pos >= s.size() || s[pos++] != '-' ||
        !ParseDigits(s, pos, 2, d)) {
      return false;
    }
  }
  if (timeOnly || (pos < s.size() && (s[pos] == 'T' || s[pos] == ' '))) {
    if (!timeOnly) ++pos;
    if (!ParseDigits(s, pos, 2, h) || pos >= s.size() || s[pos++] != ':' ||
        !ParseDigits(s, pos, 2, mi)) {
      return false;
    }
    if (pos < s.size() && s[pos] == ':') {
      ++pos;
      if (!ParseDigits(s, pos, 2, sec)) return false;
      if (pos < s.size() && s[pos] == '.') {
        ++pos;
        double scale = 100;
        double frac = 0;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
          frac += (s[pos++] - '0') * scale;
          scale /= 10;
        }
        ms = static_cast<int>(std::lround(frac));
        if (ms >= 1000) ms = 999;
      }
    }
  }
  if (pos < s.size()) {
    // Zone: "Z" or "+hh:mm" / "-hh:mm".
    const std::string_view zone = s.substr(pos);
    if (!(zone == "Z" || ((zone[0] == '+' || zone[0] == '-') && zone.size() == 6 && zone[3] == ':'))) {
      return false;
    }
  }
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] || h > 23 || mi > 59 || sec > 59) return false;
  if (mo == 2 && d == 29 && !(y % 4 == 0 && (y % 100 != 0 || y % 400 == 0))) return false;
  out = EncodeDateTime(y, mo, d, h, mi, sec, ms);
  return true;
}

bool ParseCurrency(std::string_view s, Currency& out) {
  size_t pos = 0;
  bool neg = false;
  if (pos < s.size() && (s[pos] == '-' || s[pos] == '+')) neg = s[pos++] == '-';
  if (s.find_first_of("eE") != std::string_view::npos) {
    double d = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
    if (ec != std::errc() || p != s.data() + s.size()) return false;
    // Past the currency range (or not a number at all) the text is no amount.
    if (!(std::fabs(d * 10000.0) < 9223372036854775807.0)) return false;
    out.scaled = static_cast<int64_t>(std::llround(d * 10000.0));
    return true;
  }
  __int128 whole = 0;
  bool digits = false;
  while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
    whole = whole * 10 + (s[pos++] - '0');
    digits = true;
    if (whole > static_cast<__int128>(INT64_MAX)) return false;
  }
  int64_t frac = 0;
  int fracDigits = 0;
  bool roundUp = false;
  if (pos < s.size() && s[pos] == '.') {
    ++pos;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
      if (fracDigits < 4) {
        frac = frac * 10 + (s[pos] - '0');
        ++fracDigits;
      } else if (fracDigits == 4) {
        roundUp = s[pos] >= '5';
        ++fracDigits;
      }
      ++pos;
      digits = true;
    }
  }
  if (!digits || pos != s.size()) return false;
  while (fracDigits < 4) {
    frac *= 10;
    ++fracDigits;
  }
  __int128 scaled = whole * 10000 + frac + (roundUp ? 1 : 0);
  // The lowest amount has no positive counterpart: -922337203685477.5808 is still one.
  if (scaled > static_cast<__int128>(INT64_MAX) + (neg ? 1 : 0)) return false;
  out.scaled = static_cast<int64_t>(neg ? -scaled : scaled);
  return true;
}

bool IsNumberText(std::string_view s, double& d) {
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
  return ec == std::errc() && p == s.data() + s.size();
}

const char* TypeWord(Decode d) {
  switch (d) {
    case Decode::kInt: return "integer";
    case Decode::kBool: return "Boolean";
    case Decode::kFloat: return "floating-point number";
    case Decode::kCurrency: return "currency amount";
    case Decode::kDecimal: return "decimal number";
    case Decode::kDateTime: return "date-time";
    case Decode::kHex: return "bin.hex value";
    case Decode::kBase64: return "bin.base64 value";
    case Decode::kText: break;
  }
  return "text";
}

// Stores a value at `idx`; built in place when the row is filled up to there, as it is when
// the attributes come in column order.
template <class... Args>
void Put(Row& row, size_t idx, Args&&... args) {
  if (idx >= row.size()) {
    if (idx > row.size()) row.resize(idx, Variant::Null());
    row.emplace_back(std::forward<Args>(args)...);
  } else {
    row[idx] = Variant(std::forward<Args>(args)...);
  }
}

bool DecodeValue(const Column& c, const char* raw, Row& row) {
  const size_t idx = c.slot;
  const std::string_view s(raw);
  switch (c.decode) {
    case Decode::kText:
      Put(row, idx, s);
      return true;
    case Decode::kInt: {
      int64_t v = 0;
      const char* b = s.data();
      if (!s.empty() && s[0] == '+') ++b;
      auto [p, ec] = std::from_chars(b, s.data() + s.size(), v);
      if (ec != std::errc() || p != s.data() + s.size() || b == s.data() + s.size()) return false;
      Put(row, idx, static_cast<long long>(v));
      return true;
    }
    case Decode::kBool:
      if (text::SameText(s, "true") || s == "1" || s == "-1") {
        Put(row, idx, true);
      } else if (text::SameText(s, "false") || s == "0") {
        Put(row, idx, false);
      } else {
        return false;
      }
      return true;
    case Decode::kFloat: {
      double d = 0;
      if (!IsNumberText(s, d)) return false;
      Put(row, idx, d);
      return true;
    }
    case Decode::kCurrency: {
      Currency cy;
      if (!ParseCurrency(s, cy)) return false;
      Put(row, idx, cy);
      return true;
    }
    case Decode::kDecimal: {
      double d = 0;
      if (!IsNumberText(s, d)) return false;
      // Decimals beyond double precision keep their text, so no digit is lost.
      if (SignificantDigits(s) > 15) {
        Put(row, idx, s);
      } else {
        Put(row, idx, d);
      }
      return true;
    }
    case Decode::kDateTime: {
      DateTime dt;
      if (!ParseDateTime(s, dt)) return false;
      Put(row, idx, dt);
      return true;
    }
    case Decode::kHex: {
      Bytes b;
      if (!DecodeHex(s, b)) return false;
      Put(row, idx, std::move(b));
      return true;
    }
    case Decode::kBase64: {
      Bytes b;
      if (!DecodeBase64(s, b)) return false;
      Put(row, idx, std::move(b));
      return true;
    }
  }
  return false;
}

struct RowReader {
  const std::vector<Column>& columns;
  std::unordered_map<std::string_view, size_t> byAttr;
  size_t rowNumber = 0;
  size_t maxValue = kNoValueLimit;

  RowReader(const std::vector<Column>& cols, size_t maxValueBytes) : columns(cols), maxValue(maxValueBytes) {
    for (size_t i = 0; i < columns.size(); ++i) byAttr.emplace(columns[i].attrName, i);
  }

  // Puts the element's attributes into the row (absent attributes leave their values alone;
  // the caller fills the rest of a fresh row with nulls).
  void Fill(const pugi::xml_node& element, Row& row) {
    size_t guess = 0;
    for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
      const char* name = a.name();
      size_t idx;
      // Attributes come in column order as a rule, so the expected name is tried first.
      // A null leaves its attribute out, so the next two columns are tried as well.
      if (guess < columns.size() && std::strcmp(columns[guess].attrName.c_str(), name) == 0) {
        idx = guess;
      } else if (guess + 1 < columns.size() &&
                 std::strcmp(columns[guess + 1].attrName.c_str(), name) == 0) {
        idx = guess + 1;
      } else if (guess + 2 < columns.size() &&
                 std::strcmp(columns[guess + 2].attrName.c_str(), name) == 0) {
        idx = guess + 2;
      } else {
        auto it = byAttr.find(std::string_view(name));
        if (it == byAttr.end()) continue;  // attributes outside the schema are ignored
        idx = it->second;
      }
      guess = idx + 1;
      if (maxValue != kNoValueLimit && ::strnlen(a.value(), maxValue + 1) > maxValue) {
        throw LoadError("row " + std::to_string(rowNumber) + ": the value of field '" + columns[idx].def.Name +
                        "' is longer than " + std::to_string(maxValue) + " bytes");
      }
      if (columns[idx].slot == kSkipped) continue;
      if (!DecodeValue(columns[idx], a.value(), row)) {
        // A long value is cut in the message, which would otherwise carry all of it.
        throw LoadError("row " + std::to_string(rowNumber) + ": value '" + text::Shown(a.value(), 64) +
                        "' of field '" + columns[idx].def.Name + "' is not a valid " +
                        TypeWord(columns[idx].decode));
      }
    }
  }
};

// What the document's head says of its rows: the columns, the name of a row element, the prefix
// of the rowset namespace, and which element is the data section (null when there is none).
struct Layout {
  std::vector<Column> columns;
  std::string rowName;
  std::string rs;
  pugi::xml_node data;
};

// The binary form (ADTG) begins with no markup at all.
bool StartsAsMarkup(const char* buffer, size_t size) {
  size_t first = 0;
  if (size >= 3 && std::memcmp(buffer, "\xEF\xBB\xBF", 3) == 0) first = 3;
  while (first < size && std::strchr(" \t\r\n", buffer[first]) && buffer[first] != 0) ++first;
  return first >= size || buffer[first] == '<';
}

// Gives each kept column its place in a row: every column when `kept` is empty, else the first
// column of each kept name.
void PlaceColumns(std::vector<Column>& columns, const std::vector<std::string>& kept) {
  std::vector<bool> taken(kept.size(), false);
  size_t slots = 0;
  for (Column& c : columns) {
    if (kept.empty()) {
      c.slot = slots++;
      continue;
    }
    for (size_t k = 0; k < kept.size(); ++k) {
      if (!taken[k] && text::SameText(kept[k], c.def.Name)) {
        taken[k] = true;
        c.slot = slots++;
        break;
      }
    }
  }
}

Layout ReadLayout(const pugi::xml_document& doc, const std::vector<std::string>& kept) {
  const pugi::xml_node root = doc.document_element();
  if (!root) throw LoadError("no XML element");
  Prefixes p;
  CollectPrefixes(root, p);

  Layout layout;
  pugi::xml_node schema;
  for (pugi::xml_node ch : root.children()) {
    if (ch.type() != pugi::node_element) continue;
    CollectPrefixes(ch, p);
    if (!schema && LocalName(ch.name()) == "Schema" &&
        (PrefixOf(ch.name()) == p.s || std::string_view(ch.attribute("id").value()) == "RowsetSchema")) {
      schema = ch;
    } else if (!layout.data && LocalName(ch.name()) == "data" && PrefixOf(ch.name()) == p.rs) {
      layout.data = ch;
    }
  }
  if (!schema) throw LoadError("no rowset schema (s:Schema element) in the document");
  if (p.s.empty()) p.s = std::string(PrefixOf(schema.name()));
  if (p.rs.empty()) p.rs = "rs";
  if (p.dt.empty()) p.dt = "dt";

  pugi::xml_node rowType;
  std::unordered_map<std::string, pugi::xml_node> topLevelTypes;
  for (pugi::xml_node ch : schema.children()) {
    if (Is(ch, p.s, "ElementType") && !rowType && std::string_view(ch.attribute("name").value()) == "row") {
      rowType = ch;
    } else if (Is(ch, p.s, "AttributeType")) {
      topLevelTypes.emplace(ch.attribute("name").value(), ch);
    }
  }
  if (!rowType) throw LoadError("the schema defines no row (s:ElementType name='row')");

  std::vector<Column>& columns = layout.columns;
  for (pugi::xml_node ch : rowType.children()) {
    if (Is(ch, p.s, "AttributeType")) {
      columns.push_back(ReadColumn(ch, p));
    } else if (Is(ch, p.s, "attribute")) {
      const std::string ref = ch.attribute("type").value();
      auto it = topLevelTypes.find(ref);
      if (it != topLevelTypes.end()) {
        columns.push_back(ReadColumn(it->second, p));
      } else {
        Column c;
        c.attrName = ref;
        c.def.Name = ref;
        columns.push_back(c);
      }
    }
  }
  if (columns.empty()) throw LoadError("the schema defines no columns");
  // Column order is the rs:number ordinal when every column has one.
  const bool numbered =
      std::all_of(columns.begin(), columns.end(), [](const Column& c) { return c.hasNumber; });
  if (numbered) {
    std::stable_sort(columns.begin(), columns.end(),
                     [](const Column& a, const Column& b) { return a.number < b.number; });
  }
  {
    std::set<std::string> attrNames;
    for (const Column& c : columns) {
      if (c.attrName.empty()) throw LoadError("a column of the schema has no name");
      if (!attrNames.insert(c.attrName).second) {
        throw LoadError("the schema defines the column '" + c.attrName + "' twice");
      }
    }
  }
  if (!layout.data) throw LoadError("no data section (rs:data element) in the document");
  PlaceColumns(columns, kept);
  layout.rowName = p.zIsDefault && p.z.empty() ? "row" : (p.z.empty() ? "z" : p.z) + ":row";
  layout.rs = p.rs;
  return layout;
}

// Turns the elements of the data section into rows, one element at a time.
class DataReader {
 public:
  DataReader(const Layout& layout, size_t maxValue, RowSet& result)
      : layout_(layout), reader_(layout.columns, maxValue), result_(result) {
    for (const Column& c : layout.columns) {
      if (c.slot != kSkipped) result.Fields.push_back(c.def);
    }
  }

  void Read(const pugi::xml_node& ch) {
    if (ch.type() != pugi::node_element) return;
    const char* name = ch.name();
    const size_t n = result_.Fields.size();
    if (layout_.rowName == name) {
      ReadRow(ch);
    } else if (Is(ch, layout_.rs, "insert")) {
      for (pugi::xml_node r : ch.children()) {
        if (r.type() == pugi::node_element && layout_.rowName == r.name()) ReadRow(r);
      }
    } else if (Is(ch, layout_.rs, "update")) {
      // The original row, then the changed values over it.
      ++reader_.rowNumber;
      Row row(n, Variant::Null());
      bool any = false;
      for (pugi::xml_node part : ch.children()) {
        if (Is(part, layout_.rs, "original")) {
          for (pugi::xml_node r : part.children()) {
            if (r.type() == pugi::node_element && layout_.rowName == r.name()) {
              reader_.Fill(r, row);
              any = true;
            }
          }
        } else if (part.type() == pugi::node_element && layout_.rowName == part.name()) {
          reader_.Fill(part, row);
          any = true;
        }
      }
      if (any) result_.Rows.push_back(std::move(row));
    }
    // rs:delete rows are gone; other elements are not part of the rowset.
  }

 private:
  void ReadRow(const pugi::xml_node& element) {
    ++reader_.rowNumber;
    Row& row = result_.Rows.emplace_back();
    row.reserve(result_.Fields.size());
    reader_.Fill(element, row);
    row.resize(result_.Fields.size(), Variant::Null());
  }

  const Layout& layout_;
  RowReader reader_;
  RowSet& result_;
};

bool IsTagSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// True when the prolog (what comes before the root element) holds a document type declaration.
bool DeclaresDocumentType(std::string_view text) {
  size_t i = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  while (i < text.size()) {
    if (IsTagSpace(text[i])) {
      ++i;
    } else if (text.substr(i, 4) == "<!--") {
      i = text.find("-->", i + 4);
      if (i == std::string_view::npos) return false;
      i += 3;
    } else if (text.substr(i, 2) == "<?") {
      i = text.find("?>", i + 2);
      if (i == std::string_view::npos) return false;
      i += 2;
    } else {
      return text.substr(i, 9) == "<!DOCTYPE";
    }
  }
  return false;
}

RowSet ParseDocument(char* buffer, size_t size, const PersistedLoad& rules) {
  if (!StartsAsMarkup(buffer, size)) {
    throw LoadError("not a recordset in XML form (the binary ADTG form cannot be read)");
  }
  if (rules.refuseDocumentType && DeclaresDocumentType(std::string_view(buffer, size))) {
    throw LoadError("the document declares a document type (<!DOCTYPE), which no file of this kind holds");
  }
  pugi::xml_document doc;
  try {
    xmldoc::ParseInPlace(doc, buffer, size);
  } catch (const xmldoc::EXmlError& e) {
    throw LoadError(e.what());
  }
  const Layout layout = ReadLayout(doc, rules.fields);
  RowSet result;
  DataReader rows(layout, rules.maxValueBytes, result);
  // Each element of the data section is dropped from the document once read: the parser's
  // memory pages go back to the heap while the rows grow, so a big file needs far less fresh
  // memory.
  pugi::xml_node next;
  for (pugi::xml_node ch = layout.data.first_child(); ch; ch = next) {
    next = ch.next_sibling();
    struct Drop {
      pugi::xml_node child;
      ~Drop() { xmldoc::RemoveSubtree(child); }
    } drop{ch};
    rows.Read(ch);
  }
  return result;
}

// ---------------------------------------------------------------------------------------------
// Reading a file piece by piece
//
// A big file is read without ever holding all its text: the head (everything before the first
// element of the data section) is read as a document of its own, closed by the end tags it
// lacks, and the elements of the data section are then read in pieces of about a megabyte, each
// parsed as a fragment and turned into rows. Markup is scanned only to find where an element of
// the data section ends; the parser still judges every byte. Whatever the scan does not expect
// (a document type, deep nesting, a NUL, anything after the data section but its end tags, a
// fault of any kind) makes the caller read the whole file the usual way, which therefore
// decides every refusal and its message.

class Unexpected {};  // the file is left to the whole-document reading

class PieceReader {
 public:
  // `size` is the size of the file when known: a small file is read in one block of its size.
  PieceReader(FILE* f, size_t size)
      : file_(f), block_(std::clamp<size_t>(size + 1, 4096, 256 * 1024)) {}

  // The text read and not yet given up; positions below count from its start.
  std::string& Text() { return text_; }
  // Gives up the text before `pos`.
  void Drop(size_t pos) {
    text_.erase(0, pos);
  }
  // Reads on until the text holds at least `end` bytes; false at the end of the file.
  bool Have(size_t end) {
    while (text_.size() < end) {
      if (!More()) return false;
    }
    return true;
  }
  // The position of `needle` at or after `from`, reading on as needed.
  size_t Find(std::string_view needle, size_t from) {
    while (true) {
      const size_t at = text_.find(needle, from);
      if (at != std::string::npos) return at;
      if (text_.size() >= needle.size()) from = std::max(from, text_.size() - needle.size() + 1);
      if (!More()) throw Unexpected();
    }
  }
  // The rest of the file appended.
  void ReadAll() {
    while (More()) {
    }
  }

 private:
  bool More() {
    if (eof_) return false;
    const size_t old = text_.size();
    text_.resize(old + block_);
    const size_t got = std::fread(text_.data() + old, 1, block_, file_);
    text_.resize(old + got);
    if (got < block_) {
      if (std::ferror(file_)) throw Unexpected();
      eof_ = true;
    }
    // The parser stops at a NUL; such a file is read the usual way.
    if (std::memchr(text_.data() + old, 0, got) != nullptr) throw Unexpected();
    return got > 0;
  }

  FILE* file_;
  size_t block_;
  std::string text_;
  bool eof_ = false;
};

enum class Markup { kStart, kEmpty, kEnd, kOther };

struct Tag {
  Markup kind = Markup::kOther;
  std::string name;
  size_t end = 0;  // just past the markup
};

// The markup that begins at `pos` (a '<').
Tag ScanMarkup(PieceReader& in, size_t pos) {
  std::string& t = in.Text();
  in.Have(pos + 9);
  const std::string_view head = std::string_view(t).substr(pos, 9);
  Tag tag;
  if (head.starts_with("<!--")) {
    tag.end = in.Find("-->", pos + 4) + 3;
    return tag;
  }
  if (head.starts_with("<![CDATA[")) {
    tag.end = in.Find("]]>", pos + 9) + 3;
    return tag;
  }
  if (head.starts_with("<?")) {
    tag.end = in.Find("?>", pos + 2) + 2;
    return tag;
  }
  if (head.starts_with("<!")) throw Unexpected();  // a document type
  const bool closing = head.starts_with("</");
  size_t i = pos + (closing ? 2 : 1);
  const size_t nameStart = i;
  while (true) {
    if (i >= t.size() && !in.Have(i + 1)) throw Unexpected();
    const char c = t[i];
    if (c == '\'' || c == '"') {
      i = in.Find(std::string_view(&c, 1), i + 1);  // the end of a quoted value
    } else if (c == '>') {
      break;
    }
    ++i;
  }
  size_t nameEnd = nameStart;
  while (nameEnd < i && !IsTagSpace(t[nameEnd]) && t[nameEnd] != '/') ++nameEnd;
  tag.name.assign(t, nameStart, nameEnd - nameStart);
  if (tag.name.empty()) throw Unexpected();
  tag.kind = closing ? Markup::kEnd : (t[i - 1] == '/' ? Markup::kEmpty : Markup::kStart);
  tag.end = i + 1;
  return tag;
}

// The next markup at or after `pos`; throws Unexpected at the end of the file.
Tag NextMarkup(PieceReader& in, size_t& pos) {
  pos = in.Find("<", pos);
  return ScanMarkup(in, pos);
}

// True when `text` holds only the end tags of `names` (innermost first), with white space.
bool OnlyEndTags(std::string_view text, const std::vector<std::string>& names) {
  size_t i = 0;
  auto skipSpace = [&] {
    while (i < text.size() && IsTagSpace(text[i])) ++i;
  };
  for (const std::string& name : names) {
    skipSpace();
    if (text.substr(i, 2) != "</" || text.substr(i + 2, name.size()) != name) return false;
    i += 2 + name.size();
    skipSpace();
    if (i >= text.size() || text[i] != '>') return false;
    ++i;
  }
  skipSpace();
  return i == text.size();
}

constexpr size_t kMaxScannedDepth = 32;
constexpr size_t kPieceBytes = 1 << 20;

// The rows of the file read piece by piece; nothing when the file must be read whole.
std::optional<RowSet> ReadInPieces(FILE* f, size_t size, const PersistedLoad& rules) {
  try {
    PieceReader in(f, size);
    std::string& t = in.Text();
    size_t pos = in.Find("<", 0);
    if (!StartsAsMarkup(t.data(), pos + 1)) return std::nullopt;

    // The head: up to the end of the start tag of the root's first child named "data".
    std::vector<std::string> open;  // names of the open elements, outermost first
    Tag data;
    while (true) {
      Tag tag = NextMarkup(in, pos);
      pos = tag.end;
      if (tag.kind == Markup::kEnd) {
        if (open.empty() || open.back() != tag.name) return std::nullopt;
        open.pop_back();
        if (open.empty()) return std::nullopt;  // the root ended without a data section
      } else if (tag.kind != Markup::kOther) {
        if (open.size() == 1 && LocalName(tag.name.c_str()) == "data") {
          data = std::move(tag);
          break;
        }
        if (tag.kind == Markup::kStart) open.push_back(std::move(tag.name));
        if (open.size() > kMaxScannedDepth) return std::nullopt;
      }
    }
    // The head parsed with the end tags it lacks.
    std::string head = t.substr(0, pos);
    in.Drop(pos);
    pos = 0;
    std::vector<std::string> closers;  // innermost first
    if (data.kind == Markup::kStart) closers.push_back(data.name);
    closers.insert(closers.end(), open.rbegin(), open.rend());
    for (const std::string& name : closers) head += "</" + name + ">";
    pugi::xml_document headDoc;
    xmldoc::ParseInPlace(headDoc, head.data(), head.size());
    const Layout layout = ReadLayout(headDoc, rules.fields);
    if (layout.data != headDoc.document_element().last_child()) return std::nullopt;

    RowSet result;
    DataReader rows(layout, rules.maxValueBytes, result);
    // The elements of the data section, in pieces.
    auto readPiece = [&](size_t end) {
      if (end == 0) return;
      pugi::xml_document piece;
      const pugi::xml_parse_result parsed = piece.load_buffer_inplace(
          t.data(), end, pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8);
      if (!parsed) throw Unexpected();
      for (pugi::xml_node ch : piece.children()) rows.Read(ch);
    };
    if (data.kind == Markup::kStart) {
      size_t depth = 0;
      while (true) {
        const Tag tag = NextMarkup(in, pos);
        if (tag.kind == Markup::kEnd && depth == 0) break;  // the end of the data section
        pos = tag.end;
        if (tag.kind == Markup::kStart) {
          if (++depth > kMaxScannedDepth) return std::nullopt;
        } else if (tag.kind == Markup::kEnd) {
          --depth;
        }
        if (depth == 0 && pos >= kPieceBytes) {
          readPiece(pos);
          in.Drop(pos);
          pos = 0;
        }
      }
      readPiece(pos);
      in.Drop(pos);
    }
    in.ReadAll();
    if (!OnlyEndTags(t, closers)) return std::nullopt;
    return result;
  } catch (const Unexpected&) {
  } catch (const LoadError&) {
  } catch (const xmldoc::EXmlError&) {
  }
  return std::nullopt;
}

std::string LoadFailure(const std::string& source, const std::string& what) {
  return "Cannot load persisted recordset '" + source + "': " + what;
}

// ---------------------------------------------------------------------------------------------
// Writing

// Decodes one UTF-8 code point at s[i]; returns its length, 0 when malformed.
size_t DecodeUtf8(std::string_view s, size_t i, uint32_t& cp) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  size_t len;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    cp = c & 0x1F;
    len = 2;
  } else if ((c & 0xF0) == 0xE0) {
    cp = c & 0x0F;
    len = 3;
  } else if ((c & 0xF8) == 0xF0) {
    cp = c & 0x07;
    len = 4;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const unsigned char cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cc & 0x3F);
  }
  return len;
}

bool IsNameStart(uint32_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
         (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
         (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) ||
         (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
         (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(uint32_t c) {
  return IsNameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// True when the name can stand as an attribute name of a z:row element.
bool IsXmlName(std::string_view name) {
  if (name.empty() || text::StartsWithText(name, "xml")) return false;
  size_t i = 0;
  bool first = true;
  while (i < name.size()) {
    uint32_t cp = 0;
    const size_t len = DecodeUtf8(name, i, cp);
    if (len == 0) return false;
    if (first ? !IsNameStart(cp) : !IsNameChar(cp)) return false;
    first = false;
    i += len;
  }
  return true;
}

size_t CountChars(std::string_view s) {
  size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

void AppendEscaped(std::string& out, std::string_view s) {
  size_t run = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const char* rep = nullptr;
    char buf[8];
    if (c >= 0x20) {
      switch (c) {
        case '&': rep = "&amp;"; break;
        case '<': rep = "&lt;"; break;
        case '>': rep = "&gt;"; break;
        case '\'': rep = "&apos;"; break;
        case '"': rep = "&quot;"; break;
        default: continue;
      }
    } else {
      // XML has no way to carry a NUL; the save fails rather than cut the text there.
      if (c == 0) throw EDatabaseError("holds a NUL character, which XML cannot carry");
      // Line breaks and tabs as character references, so attribute normalisation keeps them.
      std::snprintf(buf, sizeof buf, "&#x%X;", c);
      rep = buf;
    }
    out.append(s.data() + run, i - run);
    out += rep;
    run = i + 1;
  }
  out.append(s.data() + run, s.size() - run);
}

void AppendInt(std::string& out, int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

void AppendTwo(std::string& out, int v) {
  out += static_cast<char>('0' + v / 10);
  out += static_cast<char>('0' + v % 10);
}

void AppendDateTime(std::string& out, DateTime dt) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(dt, y, mo, d, h, mi, s, ms);
  if (y < 0 || y > 9999) {
    out += DateTimeToIso(dt);
    return;
  }
  AppendTwo(out, y / 100);
  AppendTwo(out, y % 100);
  out += '-';
  AppendTwo(out, mo);
  out += '-';
  AppendTwo(out, d);
  out += 'T';
  AppendTwo(out, h);
  out += ':';
  AppendTwo(out, mi);
  out += ':';
  AppendTwo(out, s);
  if (ms) {
    out += '.';
    out += static_cast<char>('0' + ms / 100);
    AppendTwo(out, ms % 100);
  }
}

bool IsTextFieldType(FieldType type) {
  return type == FieldType::ftString || type == FieldType::ftMemo || type == FieldType::ftGuid;
}

void AppendValue(std::string& out, FieldType type, const Variant& v) {
  static const char kHex[] = "0123456789abcdef";
  switch (v.Type()) {
    case VarType::Int:
      if (type == FieldType::ftBoolean) {
        out += v.AsInt() ? "True" : "False";
      } else {
        AppendInt(out, v.AsInt());
      }
      return;
    case VarType::Bool:
      if (type == FieldType::ftBoolean || IsTextFieldType(type)) {
        out += v.AsBool() ? "True" : "False";
      } else {
        AppendInt(out, v.AsBool() ? -1 : 0);
      }
      return;
    case VarType::Float:
      if (type == FieldType::ftDateTime) {
        AppendDateTime(out, DateTime{v.AsFloat()});
      } else {
        AppendNumber(out, v.AsFloat());
      }
      return;
    case VarType::DateTime:
      if (type == FieldType::ftDateTime || IsTextFieldType(type)) {
        AppendDateTime(out, v.AsDateTime());
      } else {
        AppendNumber(out, v.AsFloat());
      }
      return;
    case VarType::Bytes:
      if (type == FieldType::ftBytes || type == FieldType::ftBlob) {
        for (uint8_t b : v.AsBytes()) {
          out += kHex[b >> 4];
          out += kHex[b & 15];
        }
      } else {
        AppendEscaped(out, v.AsString());
      }
      return;
    case VarType::Text:
      if (type == FieldType::ftBytes || type == FieldType::ftBlob) {
        for (unsigned char b : *v.IfText()) {
          out += kHex[b >> 4];
          out += kHex[b & 15];
        }
      } else {
        AppendEscaped(out, *v.IfText());
      }
      return;
    default:
      AppendEscaped(out, v.AsString());
  }
}

struct OutColumn {
  std::string attrName;
  bool aliased = false;
};

std::vector<OutColumn> AttributeNames(const FieldDefs& fields) {
  std::vector<OutColumn> out(fields.size());
  std::set<std::string> used;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (IsXmlName(fields[i].Name) && used.insert(fields[i].Name).second) {
      out[i].attrName = fields[i].Name;
    } else {
      out[i].aliased = true;
    }
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    if (!out[i].aliased) continue;
    std::string name = "c" + std::to_string(i);
    while (!used.insert(name).second) name += "_";
    out[i].attrName = name;
  }
  return out;
}

void AppendSchemaColumn(std::string& out, const FieldDef& f, const OutColumn& oc, size_t number,
                        size_t longest) {
  out += "\t\t<s:AttributeType name='";
  AppendEscaped(out, oc.attrName);
  out += '\'';
  if (oc.aliased) {
    out += " rs:name='";
    AppendEscaped(out, f.Name);
    out += '\'';
  }
  // An attribute with a whole-number value: " name='value'".
  auto intAttr = [&](const char* name, int64_t value) {
    out += ' ';
    out += name;
    out += "='";
    AppendInt(out, value);
    out += '\'';
  };
  intAttr("rs:number", static_cast<int64_t>(number));
  if (!f.Required) out += " rs:nullable='true'";
  out += " rs:writeunknown='true'>\n\t\t\t<s:datatype";
  auto fixed = [&](const char* dtType, int maxLength, int precision) {
    out += " dt:type='";
    out += dtType;
    out += '\'';
    intAttr("dt:maxLength", maxLength);
    if (precision) intAttr("rs:precision", precision);
    out += " rs:fixedlength='true'";
  };
  // The declared size, when there is one; a longer value widens it rather than being cut.
  auto declaredLength = [&] {
    if (f.Size > 0) {
      intAttr("dt:maxLength",
              static_cast<int64_t>(std::max<size_t>(static_cast<size_t>(f.Size), longest)));
    }
  };
  switch (f.Type) {
    case FieldType::ftString:
      out += " dt:type='string'";
      declaredLength();
      break;
    case FieldType::ftMemo:
      out += " dt:type='string' dt:maxLength='1073741823' rs:long='true'";
      break;
    case FieldType::ftSmallint: fixed("i2", 2, 5); break;
    case FieldType::ftInteger: fixed("int", 4, 10); break;
    case FieldType::ftLargeint: fixed("i8", 8, 19); break;
    case FieldType::ftByte: fixed("ui1", 1, 3); break;
    case FieldType::ftBoolean: fixed("boolean", 2, 0); break;
    case FieldType::ftFloat: fixed("float", 8, 15); break;
    case FieldType::ftCurrency:
      out += " dt:type='number' rs:dbtype='currency' dt:maxLength='8' rs:precision='19'"
             " rs:fixedlength='true'";
      break;
    case FieldType::ftBCD:
      out += " dt:type='number' rs:dbtype='numeric' dt:maxLength='19'";
      intAttr("rs:scale", f.Scale);
      intAttr("rs:precision", f.Precision);
      out += " rs:fixedlength='true'";
      break;
    case FieldType::ftDateTime:
      // Declared as files of this format declare SQL Server's datetime, whose millisecond
      // precision our values share.
      out += " dt:type='dateTime' rs:dbtype='timestamp' dt:maxLength='16' rs:scale='3'"
             " rs:precision='23' rs:fixedlength='true'";
      break;
    case FieldType::ftBytes:
      out += " dt:type='bin.hex'";
      declaredLength();
      break;
    case FieldType::ftBlob:
      out += " dt:type='bin.hex' dt:maxLength='2147483647' rs:long='true'";
      break;
    case FieldType::ftGuid: fixed("uuid", 16, 0); break;
  }
  if (f.Required) out += " rs:maybenull='false'";
  out += "/>\n\t\t</s:AttributeType>\n";
}

}  // namespace

RowSet ParsePersistedXml(const std::string& document, const std::string& source) {
  std::string copy = document;
  try {
    return ParseDocument(copy.data(), copy.size(), PersistedLoad());
  } catch (const LoadError& e) {
    throw EDatabaseError(LoadFailure(source, e.What()));
  }
}

RowSet LoadPersistedXml(const std::string& fileName, const PersistedLoad& rules) {
  FilePtr f(std::fopen(fileName.c_str(), "rb"));
  if (!f) {
    throw EDatabaseError(LoadFailure(fileName, std::string("cannot open the file (") +
                                                   std::strerror(errno) + ")"));
  }
  struct stat st {};
  const bool regular = ::fstat(::fileno(f.get()), &st) == 0 && S_ISREG(st.st_mode);
  // A file is read piece by piece where it can be; otherwise (and on any fault, whose message the
  // whole reading gives) from its start again, in one read into a buffer that the parser then
  // works on in place.
  if (regular) {
    if (std::optional<RowSet> rows = ReadInPieces(f.get(), static_cast<size_t>(st.st_size), rules)) return std::move(*rows);
    std::clearerr(f.get());
    if (std::fseek(f.get(), 0, SEEK_SET) != 0) {
      throw EDatabaseError(LoadFailure(fileName, "the file cannot be read"));
    }
  }
  std::unique_ptr<char[]> buffer;
  size_t size = 0;
  size_t capacity = 0;
  if (regular && st.st_size > 0) capacity = static_cast<size_t>(st.st_size) + 1;
  if (capacity < 4096) capacity = 4096;
  buffer.reset(new char[capacity]);
  while (true) {
    const size_t got = std::fread(buffer.get() + size, 1, capacity - size, f.get());
    size += got;
    if (got == 0 || size < capacity) {
      if (std::ferror(f.get())) throw EDatabaseError(LoadFailure(fileName, "the file cannot be read"));
      if (std::feof(f.get())) break;
      continue;
    }
    std::unique_ptr<char[]> bigger(new char[capacity * 2]);
    std::memcpy(bigger.get(), buffer.get(), size);
    buffer = std::move(bigger);
    capacity *= 2;
  }
  if (size == 0) throw EDatabaseError(LoadFailure(fileName, "the file is empty"));
  try {
    return ParseDocument(buffer.get(), size, rules);
  } catch (const LoadError& e) {
    throw EDatabaseError(LoadFailure(fileName, e.What()));
  }
}

namespace {

// The widest value of each field beyond its declared size (0 where none is wider): the schema,
// written before the rows, declares it.
std::vector<size_t> LongestValues(const FieldDefs& fields, const std::vector<const Row*>& rows) {
  std::vector<size_t> longest(fields.size(), 0);
  for (const Row* r : rows) {
    const size_t n = std::min(r->size(), fields.size());
    for (size_t i = 0; i < n; ++i) {
      const FieldDef& f = fields[i];
      if (f.Size <= 0) continue;
      const Variant& v = (*r)[i];
      const VarType t = v.Type();
      if (f.Type == FieldType::ftString && t == VarType::Text) {
        const std::string& text = *v.IfText();
        if (text.size() > static_cast<size_t>(f.Size)) longest[i] = std::max(longest[i], CountChars(text));
      } else if (f.Type == FieldType::ftBytes && t == VarType::Bytes) {
        longest[i] = std::max(longest[i], v.AsBytes().size());
      }
    }
  }
  return longest;
}

// The document, handed to `flush` piece by piece (about a megabyte at a time) so that a large
// recordset is never held twice, once as rows and once as text.
void WriteDocument(const FieldDefs& fields, const std::vector<const Row*>& rows,
                   const std::function<void(std::string&)>& flush) {
  constexpr size_t kPiece = 1 << 20;
  const std::vector<OutColumn> names = AttributeNames(fields);
  const std::vector<size_t> longest = LongestValues(fields, rows);
  std::string out;
  out.reserve(kPiece + 4096);
  out +=
      "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'\n"
      "\txmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'\n"
      "\txmlns:rs='urn:schemas-microsoft-com:rowset'\n"
      "\txmlns:z='#RowsetSchema'>\n"
      "<s:Schema id='RowsetSchema'>\n"
      "\t<s:ElementType name='row' content='eltOnly' rs:updatable='true'>\n";
  for (size_t i = 0; i < fields.size(); ++i) AppendSchemaColumn(out, fields[i], names[i], i + 1, longest[i]);
  out +=
      "\t\t<s:extends type='rs:rowbase'/>\n"
      "\t</s:ElementType>\n"
      "</s:Schema>\n";
  out += "<rs:data>\n";
  for (const Row* const& r : rows) {
    out += "\t<z:row";
    const size_t n = std::min(r->size(), fields.size());
    for (size_t i = 0; i < n; ++i) {
      const Variant& v = (*r)[i];
      if (v.IsNullOrEmpty()) continue;
      const FieldDef& f = fields[i];
      out += ' ';
      out += names[i].attrName;
      out += "='";
      try {
        AppendValue(out, f.Type, v);
      } catch (const EDatabaseError& e) {
        throw EDatabaseError("row " + std::to_string(&r - rows.data() + 1) +
                             ": the value of field '" + f.Name + "' " + e.what());
      }
      out += '\'';
    }
    out += "/>\n";
    if (out.size() >= kPiece) {
      flush(out);
      out.clear();
    }
  }
  out += "</rs:data>\n</xml>\n";
  flush(out);
}

}  // namespace

std::string WritePersistedXml(const FieldDefs& fields, const std::vector<const Row*>& rows) {
  std::string document;
  WriteDocument(fields, rows, [&](std::string& piece) { document += piece; });
  return document;
}

void SavePersistedXml(const std::string& fileName, const FieldDefs& fields,
                      const std::vector<const Row*>& rows) {
  const std::string temp = fileName + ".~" + std::to_string(::getpid()) + ".tmp";
  auto fail = [&](const std::string& what) {
    std::remove(temp.c_str());
    throw EDatabaseError("Cannot save persisted recordset '" + fileName + "': " + what);
  };
  {
    FilePtr f(std::fopen(temp.c_str(), "wb"));
    if (!f) fail(std::strerror(errno));
    try {
      WriteDocument(fields, rows, [&](std::string& piece) {
        if (std::fwrite(piece.data(), 1, piece.size(), f.get()) != piece.size()) fail(std::strerror(errno));
      });
    } catch (const EDatabaseError& e) {
      const std::string what = e.what();
      if (what.rfind("Cannot save persisted recordset", 0) == 0) throw;
      f.reset();
      fail(what);
    }
    if (std::fflush(f.get()) != 0) fail(std::strerror(errno));
    FILE* raw = f.release();
    if (std::fclose(raw) != 0) fail(std::strerror(errno));
  }
  if (std::rename(temp.c_str(), fileName.c_str()) != 0) fail(std::strerror(errno));
}

}  // namespace ado
