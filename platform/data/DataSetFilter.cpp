// Filter text of data sets: parsing, binding to fields and evaluation; and value conversion to
// field types.
#include <cctype>
#include <cstring>
#include <optional>

#include "common/Text.h"
#include "platform/data/DataErrors.h"
#include "platform/data/DataSetInternal.h"

namespace ado {

namespace {

class FilterParser {
 public:
  explicit FilterParser(const std::string& text) : s_(text) {}

  std::unique_ptr<FilterNode> Parse() {
    auto node = ParseOr();
    SkipBlanks();
    if (pos_ < s_.size()) Fail("unexpected text '" + s_.substr(pos_, 20) + "'");
    return node;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw EDatabaseError("Invalid filter '" + s_ + "': " + what);
  }

  void SkipBlanks() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
  }

  // True (and consumed) when the keyword stands next, followed by a non-name character.
  bool Keyword(const char* word) {
    SkipBlanks();
    const size_t n = std::strlen(word);
    if (s_.size() - pos_ < n || !text::SameText(std::string_view(s_).substr(pos_, n), word)) {
      return false;
    }
    if (pos_ + n < s_.size()) {
      const unsigned char c = static_cast<unsigned char>(s_[pos_ + n]);
      if (std::isalnum(c) || c == '_' || c >= 0x80) return false;
    }
    pos_ += n;
    return true;
  }

  std::unique_ptr<FilterNode> Join(FilterNode::Kind kind, std::unique_ptr<FilterNode> l,
                                   std::unique_ptr<FilterNode> r) {
    // The tree is walked recursively; a bound on its size keeps that walk shallow.
    if (++joins_ > 2000) Fail("too many conditions");
    auto node = std::make_unique<FilterNode>();
    node->kind = kind;
    node->left = std::move(l);
    node->right = std::move(r);
    return node;
  }

  std::unique_ptr<FilterNode> ParseOr() {
    auto node = ParseAnd();
    while (Keyword("or")) node = Join(FilterNode::kOr, std::move(node), ParseAnd());
    return node;
  }

  std::unique_ptr<FilterNode> ParseAnd() {
    auto node = ParseFactor();
    while (Keyword("and")) node = Join(FilterNode::kAnd, std::move(node), ParseFactor());
    return node;
  }

  std::unique_ptr<FilterNode> ParseFactor() {
    SkipBlanks();
    if (pos_ < s_.size() && s_[pos_] == '(') {
      ++pos_;
      if (++depth_ > 200) Fail("too deeply nested");
      auto node = ParseOr();
      SkipBlanks();
      if (pos_ >= s_.size() || s_[pos_] != ')') Fail("missing ')'");
      ++pos_;
      --depth_;
      return node;
    }
    return ParseComparison();
  }

  std::string ParseFieldName() {
    SkipBlanks();
    if (pos_ >= s_.size()) Fail("field name expected");
    if (s_[pos_] == '[') {
      const size_t close = s_.find(']', pos_ + 1);
      if (close == std::string::npos) Fail("missing ']'");
      std::string name = s_.substr(pos_ + 1, close - pos_ - 1);
      pos_ = close + 1;
      return name;
    }
    const size_t start = pos_;
    while (pos_ < s_.size()) {
      const unsigned char c = static_cast<unsigned char>(s_[pos_]);
      if (std::isalnum(c) || c == '_' || c == '.' || c == '$' || c == '#' || c >= 0x80) {
        ++pos_;
      } else {
        break;
      }
    }
    if (pos_ == start) Fail("field name expected");
    return s_.substr(start, pos_ - start);
  }

  FilterNode::Op ParseOp() {
    SkipBlanks();
    auto take = [&](const char* op) {
      const size_t n = std::strlen(op);
      if (s_.compare(pos_, n, op) == 0) {
        pos_ += n;
        return true;
      }
      return false;
    };
    if (take("<>") || take("!=")) return FilterNode::kNe;
    if (take("<=")) return FilterNode::kLe;
    if (take(">=")) return FilterNode::kGe;
    if (take("=")) return FilterNode::kEq;
    if (take("<")) return FilterNode::kLt;
    if (take(">")) return FilterNode::kGt;
    Fail("comparison operator expected");
  }

  Variant ParseValue() {
    SkipBlanks();
    if (pos_ >= s_.size()) Fail("value expected");
    const char c = s_[pos_];
    if (c == '\'' || c == '"') {
      std::string v;
      const size_t end = text::ReadQuoted(s_, pos_, v);
      if (end == std::string::npos) Fail("unterminated text value");
      pos_ = end;
      return Variant(v);
    }
    if (c == '#') {
      const size_t close = s_.find('#', pos_ + 1);
      if (close == std::string::npos) Fail("unterminated date value");
      const std::string d = s_.substr(pos_ + 1, close - pos_ - 1);
      pos_ = close + 1;
      try {
        return Variant(IsoToDateTime(d));
      } catch (const EVariantError&) {
        Fail("invalid date '" + d + "'");
      }
    }
    if (Keyword("null")) return Variant::Null();
    if (Keyword("true")) return Variant(true);
    if (Keyword("false")) return Variant(false);
    const size_t start = pos_;
    if (s_[pos_] == '-' || s_[pos_] == '+') ++pos_;
    while (pos_ < s_.size() &&
           (std::isdigit(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '.' ||
            s_[pos_] == 'e' || s_[pos_] == 'E' ||
            ((s_[pos_] == '-' || s_[pos_] == '+') && (s_[pos_ - 1] == 'e' || s_[pos_ - 1] == 'E')))) {
      ++pos_;
    }
    const std::string num = s_.substr(start, pos_ - start);
    const Variant v(num);
    try {
      if (num.find_first_of(".eE") == std::string::npos) return Variant(static_cast<long long>(v.AsInt()));
      return Variant(v.AsFloat());
    } catch (const EVariantError&) {
      Fail("value expected");
    }
  }

  std::unique_ptr<FilterNode> ParseComparison() {
    auto node = std::make_unique<FilterNode>();
    node->kind = FilterNode::kCompare;
    node->fieldName = ParseFieldName();
    if (Keyword("is")) {
      const bool negate = Keyword("not");
      if (!Keyword("null")) Fail("NULL expected after IS");
      node->op = negate ? FilterNode::kNe : FilterNode::kEq;
      node->literal = Variant::Null();
      return node;
    }
    node->op = ParseOp();
    node->literal = ParseValue();
    return node;
  }

  const std::string& s_;
  size_t pos_ = 0;
  int depth_ = 0;
  int joins_ = 0;
};

bool OpHolds(FilterNode::Op op, int c) {
  switch (op) {
    case FilterNode::kEq: return c == 0;
    case FilterNode::kNe: return c != 0;
    case FilterNode::kLt: return c < 0;
    case FilterNode::kGt: return c > 0;
    case FilterNode::kLe: return c <= 0;
    case FilterNode::kGe: return c >= 0;
  }
  return false;
}

bool Compare(const FilterNode& n, const Variant& value, const FieldDef& def) {
  if (n.literal.IsNull()) {
    if (n.op == FilterNode::kEq) return value.IsNullOrEmpty();
    if (n.op == FilterNode::kNe) return !value.IsNullOrEmpty();
    return false;
  }
  if (value.IsNullOrEmpty()) return n.op == FilterNode::kNe;
  try {
    if (def.Type == FieldType::ftBoolean || n.literal.Type() == VarType::Bool) {
      const int a = value.AsBool() ? 1 : 0;
      const int b = n.literal.AsBool() ? 1 : 0;
      return OpHolds(n.op, a - b);
    }
    if (def.Type == FieldType::ftDateTime && n.literal.Type() == VarType::Text) {
      const double a = value.AsDateTime().value;
      const double b = IsoToDateTime(n.literal.AsString()).value;
      return OpHolds(n.op, a < b ? -1 : (a > b ? 1 : 0));
    }
    return OpHolds(n.op, CompareVariants(value, n.literal, true));
  } catch (const EVariantError&) {
    // A value of another kind than the field's never equals it.
    return n.op == FilterNode::kNe;
  }
}

}  // namespace

std::unique_ptr<FilterNode> ParseFilter(const std::string& text) {
  return FilterParser(text).Parse();
}

void BindFilter(FilterNode& node, const std::function<int(const std::string&)>& fieldIndex) {
  if (node.kind == FilterNode::kCompare) {
    node.field = fieldIndex(node.fieldName);
    if (node.field < 0) throw EDatabaseError("Field '" + node.fieldName + "' not found");
    return;
  }
  BindFilter(*node.left, fieldIndex);
  BindFilter(*node.right, fieldIndex);
}

bool MatchesFilter(const FilterNode& node, const Row& row, const FieldDefs& defs) {
  switch (node.kind) {
    case FilterNode::kAnd:
      return MatchesFilter(*node.left, row, defs) && MatchesFilter(*node.right, row, defs);
    case FilterNode::kOr:
      return MatchesFilter(*node.left, row, defs) || MatchesFilter(*node.right, row, defs);
    case FilterNode::kCompare: {
      const size_t f = static_cast<size_t>(node.field);
      return Compare(node, row[f], defs[f]);
    }
  }
  return false;
}

bool IsTextField(FieldType type) {
  return type == FieldType::ftString || type == FieldType::ftMemo || type == FieldType::ftGuid;
}

int SignificantDigits(std::string_view s) {
  int digits = 0;
  bool leading = true;
  for (char c : s) {
    if (c == 'e' || c == 'E') break;
    if (c < '0' || c > '9') continue;
    if (leading && c == '0') continue;
    leading = false;
    ++digits;
  }
  return digits;
}

namespace {

// The value converted to the field's storage type; none when it is of that type already (or null).
std::optional<Variant> Converted(const FieldDef& def, const Variant& v) {
  const VarType t = v.Type();
  if (t == VarType::Null) return std::nullopt;
  if (t == VarType::Empty) return Variant::Null();
  switch (def.Type) {
    case FieldType::ftString:
    case FieldType::ftMemo:
    case FieldType::ftGuid:
      if (t == VarType::Text) return std::nullopt;
      return Variant(v.AsString());
    case FieldType::ftSmallint:
    case FieldType::ftInteger:
    case FieldType::ftLargeint:
    case FieldType::ftByte:
      if (t == VarType::Int) return std::nullopt;
      return Variant(static_cast<long long>(v.AsInt()));
    case FieldType::ftBoolean:
      if (t == VarType::Bool) return std::nullopt;
      return Variant(v.AsBool());
    case FieldType::ftFloat:
      if (t == VarType::Float) return std::nullopt;
      return Variant(v.AsFloat());
    case FieldType::ftCurrency:
      if (t == VarType::Currency) return std::nullopt;
      return Variant(v.AsCurrency());
    case FieldType::ftBCD:
      if (t == VarType::Int || t == VarType::Float || t == VarType::Currency) return std::nullopt;
      if (t == VarType::Text) {
        const double d = v.AsFloat();  // raises when the text holds no number
        // Decimals beyond double precision keep their text so that no digit is lost.
        if (SignificantDigits(v.AsString()) > 15) return Variant(text::Trim(v.AsString()));
        return Variant(d);
      }
      return Variant(v.AsFloat());
    case FieldType::ftDateTime:
      if (t == VarType::DateTime) return std::nullopt;
      return Variant(v.AsDateTime());
    case FieldType::ftBytes:
    case FieldType::ftBlob:
      if (t == VarType::Bytes) return std::nullopt;
      {
        const std::string s = v.AsString();
        return Variant(Bytes(s.begin(), s.end()));
      }
  }
  return std::nullopt;
}

}  // namespace

void CoerceInPlace(const FieldDef& def, Variant& v) {
  if (auto c = Converted(def, v)) v = std::move(*c);
}

Variant CoerceToField(const FieldDef& def, const Variant& v) {
  auto c = Converted(def, v);
  return c ? std::move(*c) : v;
}

std::vector<std::string> SplitNameList(const std::string& textIn, const char* separators) {
  std::vector<std::string> names;
  std::string current;
  bool bracket = false;
  for (char c : textIn) {
    if (bracket) {
      if (c == ']') {
        bracket = false;
      } else {
        current += c;
      }
      continue;
    }
    if (c == '[') {
      bracket = true;
    } else if (std::strchr(separators, c) != nullptr) {
      names.push_back(text::Trim(current));
      current.clear();
    } else {
      current += c;
    }
  }
  names.push_back(text::Trim(current));
  return names;
}

}  // namespace ado
