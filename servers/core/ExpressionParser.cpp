// Names, expressions and queries of the shared grammar.
#include "servers/core/ExpressionParser.h"

#include "common/Text.h"

namespace servers {

std::string LowerName(std::string s) { return text::Lower(s); }

const Token& ExpressionParser::Next() {
  const Token& t = toks_[pos_];
  if (pos_ + 1 < toks_.size()) ++pos_;
  return t;
}

bool ExpressionParser::Accept(const char* word) {
  if (Peek().Is(word)) {
    Next();
    return true;
  }
  return false;
}

bool ExpressionParser::AcceptSym(const char* s) {
  if (Peek().IsSymbol(s)) {
    Next();
    return true;
  }
  return false;
}

ObjectName ExpressionParser::ParseObjectName() {
  std::vector<std::string> parts;
  parts.push_back(Ident());
  while (Peek().IsSymbol(".")) {
    Next();
    if (Peek().IsSymbol(".")) {
      parts.push_back("");
      continue;
    }
    parts.push_back(Ident());
  }
  if (parts.size() > 4) Error();
  ObjectName n;
  n.name = parts.back();
  if (parts.size() >= 2) n.owner = parts[parts.size() - 2];
  if (parts.size() >= 3) n.db = parts[parts.size() - 3];
  if (parts.size() == 4) n.server = parts[0];
  return n;
}

std::vector<std::string> ExpressionParser::NameList(std::vector<bool>* descending) {
  std::vector<std::string> names;
  ExpectSym("(");
  do {
    names.push_back(Ident());
    bool desc = !Accept("ASC") && Accept("DESC");
    if (descending) descending->push_back(desc);
  } while (AcceptSym(","));
  ExpectSym(")");
  return names;
}

ExprPtr ExpressionParser::Make(Expr::Kind k, size_t begin) {
  auto e = std::make_unique<Expr>();
  e->kind = k;
  e->begin = begin;
  return e;
}

namespace {

// Joins operands of AND or OR as a balanced tree: the same truth, and long generated
// conditions ("(a = 1) or (a = 2) or ...") stay shallow.
ExprPtr Balanced(std::vector<ExprPtr>& items, size_t lo, size_t hi, const char* op) {
  if (hi - lo == 1) return std::move(items[lo]);
  size_t mid = lo + (hi - lo) / 2;
  auto e = std::make_unique<Expr>();
  e->kind = Expr::Binary;
  e->text = op;
  e->begin = items[lo]->begin;
  e->end = items[hi - 1]->end;
  e->args.push_back(Balanced(items, lo, mid, op));
  e->args.push_back(Balanced(items, mid, hi, op));
  return e;
}

// Left-deep chains of other operators are refused past this length.
constexpr int kMaxChain = 1000;

}  // namespace

ExprPtr ExpressionParser::ParseBalanced(const char* word, ExprPtr (ExpressionParser::*operand)()) {
  std::vector<ExprPtr> items;
  items.push_back((this->*operand)());
  while (Peek().Is(word)) {
    Next();
    items.push_back((this->*operand)());
  }
  return Balanced(items, 0, items.size(), word);
}

ExprPtr ExpressionParser::ParseLeftChain(std::initializer_list<const char*> ops, ExprPtr (ExpressionParser::*operand)()) {
  auto left = (this->*operand)();
  for (int chain = 0;; ++chain) {
    if (chain > kMaxChain) Nested();
    const Token& t = Peek();
    bool joined = false;
    for (const char* op : ops)
      if (t.IsSymbol(op)) joined = true;
    if (!joined) return left;
    auto e = Make(Expr::Binary, left->begin);
    e->text = Next().text;
    // "||", two bars written together.
    if (e->text == "|" && ConcatenatesWithBars() && Peek().IsSymbol("|") && Peek().begin == t.end) e->text += Next().text;
    e->args.push_back(std::move(left));
    e->args.push_back((this->*operand)());
    Close(*e);
    left = std::move(e);
  }
}

ExprPtr ExpressionParser::ParseOr() { return ParseBalanced("OR", &ExpressionParser::ParseAnd); }

ExprPtr ExpressionParser::ParseAnd() { return ParseBalanced("AND", &ExpressionParser::ParseNot); }

ExprPtr ExpressionParser::ParseNot() {
  Nest nest(*this);
  if (Peek().Is("NOT")) {
    size_t b = Next().begin;
    auto e = Make(Expr::Unary, b);
    e->text = "NOT";
    e->args.push_back(ParseNot());
    Close(*e);
    return e;
  }
  return ParsePredicate();
}

ExprPtr ExpressionParser::ParsePredicate() {
  if (Peek().Is("EXISTS")) {
    size_t b = Next().begin;
    ExpectSym("(");
    auto e = Make(Expr::Exists, b);
    e->select = ParseSelectBody();
    ExpectSym(")");
    Close(*e);
    return e;
  }
  auto left = ParseAdditive();
  for (int chain = 0;; ++chain) {
    if (chain > kMaxChain) Nested();
    const Token& t = Peek();
    static const char* const kCompare[] = {"=", "<>", "!=", "<", ">", "<=", ">=", "!<", "!>"};
    bool isCompare = false;
    for (const char* op : kCompare)
      if (t.IsSymbol(op)) isCompare = true;
    if (isCompare) {
      std::string op = Next().text;
      if (op == "!<") op = ">=";
      if (op == "!>") op = "<=";
      auto e = Make(Expr::Binary, left->begin);
      e->text = op;
      e->args.push_back(std::move(left));
      e->args.push_back(ParseAdditive());
      Close(*e);
      left = std::move(e);
      continue;
    }
    bool negated = false;
    if (t.Is("NOT") && (Peek(1).Is("IN") || Peek(1).Is("LIKE") || Peek(1).Is("BETWEEN"))) {
      Next();
      negated = true;
    }
    if (Peek().Is("IS")) {
      Next();
      auto e = Make(Expr::IsNull, left->begin);
      e->negated = Accept("NOT");
      Expect("NULL");
      e->args.push_back(std::move(left));
      Close(*e);
      left = std::move(e);
      continue;
    }
    if (Peek().Is("IN")) {
      Next();
      ExpectSym("(");
      ExprPtr e;
      if (Peek().Is("SELECT")) {
        e = Make(Expr::InSelect, left->begin);
        e->select = ParseSelectBody();
      } else {
        e = Make(Expr::InList, left->begin);
        e->args.push_back(nullptr);
        do e->args.push_back(ParseExpr());
        while (AcceptSym(","));
      }
      ExpectSym(")");
      if (e->kind == Expr::InList) e->args[0] = std::move(left);
      else e->args.push_back(std::move(left));
      e->negated = negated;
      Close(*e);
      left = std::move(e);
      continue;
    }
    if (Peek().Is("LIKE")) {
      Next();
      auto e = Make(Expr::Like, left->begin);
      e->negated = negated;
      e->args.push_back(std::move(left));
      e->args.push_back(ParseAdditive());
      if (Accept("ESCAPE")) e->args.push_back(ParseAdditive());
      Close(*e);
      left = std::move(e);
      continue;
    }
    if (Peek().Is("BETWEEN")) {
      Next();
      auto e = Make(Expr::Between, left->begin);
      e->negated = negated;
      e->args.push_back(std::move(left));
      e->args.push_back(ParseAdditive());
      Expect("AND");
      e->args.push_back(ParseAdditive());
      Close(*e);
      left = std::move(e);
      continue;
    }
    if (negated) Error();
    return left;
  }
}

ExprPtr ExpressionParser::ParseAdditive() {
  return ParseLeftChain({"+", "-", "&", "|", "^"}, &ExpressionParser::ParseMultiplicative);
}

ExprPtr ExpressionParser::ParseMultiplicative() { return ParseLeftChain({"*", "/", "%"}, &ExpressionParser::ParseUnary); }

ExprPtr ExpressionParser::ParseUnary() {
  Nest nest(*this);
  const Token& t = Peek();
  if (t.IsSymbol("-") || t.IsSymbol("+") || t.IsSymbol("~")) {
    size_t b = t.begin;
    std::string op = Next().text;
    auto e = Make(Expr::Unary, b);
    e->text = op;
    e->args.push_back(ParseUnary());
    Close(*e);
    return e;
  }
  auto e = ParsePrimary();
  if (Peek().Is("COLLATE")) {  // collation of an expression: kept as is
    Next();
    AnyName();
    Close(*e);
  }
  return e;
}

TypeSpec ExpressionParser::ParseType() {
  TypeSpec ts;
  // Type names are names: a keyword (NULL, as in "ALTER COLUMN c NULL") is refused, save the
  // two that open a type's long form.
  if (Peek().Is("DOUBLE") || Peek().Is("NATIONAL")) ts.name = LowerName(Next().text);
  else ts.name = LowerName(Ident());
  if (ts.name == "double" && Peek().Is("precision")) {
    Next();
    ts.name = "float";
  }
  if (ts.name == "national" && (Peek().Is("char") || Peek().Is("varchar") || Peek().Is("character"))) {
    ts.name = "n" + LowerName(Next().text);
  }
  if ((ts.name == "char" || ts.name == "character" || ts.name == "nchar") && Peek().Is("varying")) {
    Next();
    ts.name = ts.name == "nchar" ? "nvarchar" : "varchar";
  }
  if (ts.name == "character") ts.name = "char";
  if (ts.name == "integer") ts.name = "int";
  if (ts.name == "dec") ts.name = "decimal";
  if (AcceptSym("(")) {
    if (Accept("max")) {
      ts.max = true;
    } else {
      if (Peek().kind != TokenKind::Number) Error();
      ts.length = std::atoi(Next().text.c_str());
      if (AcceptSym(",")) {
        if (Peek().kind != TokenKind::Number) Error();
        ts.scale = std::atoi(Next().text.c_str());
      }
    }
    ExpectSym(")");
  }
  return ts;
}

ExprPtr ExpressionParser::ParsePrimary() {
  if (auto own = ParseDialectPrimary()) return own;
  const Token& t = Peek();
  size_t b = t.begin;
  if (t.kind == TokenKind::String) {
    auto e = Make(Expr::String, b);
    e->national = b < sql_.size() && (sql_[b] == 'N' || sql_[b] == 'n');
    e->text = Next().text;
    Close(*e);
    return e;
  }
  if (t.kind == TokenKind::Number) {
    auto e = Make(Expr::Number, b);
    e->text = Next().text;
    Close(*e);
    return e;
  }
  if (t.kind == TokenKind::Variable) {
    auto e = Make(Expr::Variable, b);
    e->text = Next().text;
    Close(*e);
    return e;
  }
  if (t.IsSymbol("*")) {
    Next();
    auto e = Make(Expr::Star, b);
    Close(*e);
    return e;
  }
  if (t.IsSymbol("(")) {
    Next();
    if (Peek().Is("SELECT")) {
      auto e = Make(Expr::Subquery, b);
      e->select = ParseSelectBody();
      ExpectSym(")");
      Close(*e);
      return e;
    }
    auto e = Make(Expr::Paren, b);
    e->args.push_back(ParseExpr());
    ExpectSym(")");
    Close(*e);
    return e;
  }
  if (t.Is("NULL")) {
    Next();
    auto e = Make(Expr::Null, b);
    Close(*e);
    return e;
  }
  if (t.Is("DEFAULT")) {
    Next();
    auto e = Make(Expr::Default, b);
    Close(*e);
    return e;
  }
  if (t.Is("CASE")) {
    Next();
    auto e = Make(Expr::Case, b);
    if (!Peek().Is("WHEN")) e->args.push_back(ParseExpr());
    else e->args.push_back(nullptr);
    if (!Peek().Is("WHEN")) Error();
    while (Accept("WHEN")) {
      e->args.push_back(ParseExpr());
      Expect("THEN");
      e->args.push_back(ParseExpr());
    }
    if (Accept("ELSE")) {
      e->args.push_back(ParseExpr());
      e->hasElse = true;
    }
    Expect("END");
    Close(*e);
    return e;
  }
  if ((t.Is("CAST") || t.Is("CONVERT")) && Peek(1).IsSymbol("(")) {
    bool isCast = Next().Is("CAST");
    Next();
    auto e = Make(Expr::Cast, b);
    TypeSpec ts;
    if (isCast) {
      e->args.push_back(ParseExpr());
      Expect("AS");
      ts = ParseType();
    } else {
      ts = ParseType();
      ExpectSym(",");
      e->args.push_back(ParseExpr());
      if (AcceptSym(",")) e->args.push_back(ParseExpr());  // style
    }
    ExpectSym(")");
    e->text = ts.name;
    Close(*e);
    return e;
  }
  // Functions whose names are keywords.
  bool keywordFunction = (t.Is("LEFT") || t.Is("RIGHT") || t.Is("USER") || t.Is("COALESCE") ||
                          t.Is("NULLIF")) && Peek(1).IsSymbol("(");
  if (IsIdent(t) || keywordFunction) {
    std::vector<std::string> parts;
    parts.push_back(Next().text);
    while (Peek().IsSymbol(".")) {
      Next();
      if (Peek().IsSymbol("*")) {
        Next();
        auto e = Make(Expr::Star, b);
        e->names = parts;
        Close(*e);
        return e;
      }
      if (Peek().IsSymbol(".")) {
        parts.push_back("");
        continue;
      }
      parts.push_back(Ident());
    }
    if (Peek().IsSymbol("(") ) {
      Next();
      auto e = Make(Expr::Func, b);
      e->text = parts.back();
      e->names = parts;
      if (AcceptSym(")")) {
        Close(*e);
        return e;
      }
      if (Accept("DISTINCT")) e->distinct = true;
      else Accept("ALL");
      do e->args.push_back(ParseExpr());
      while (AcceptSym(","));
      ExpectSym(")");
      Close(*e);
      return e;
    }
    auto e = Make(Expr::Column, b);
    e->names = std::move(parts);
    Close(*e);
    return e;
  }
  // Niladic functions, written without parentheses.
  static const struct {
    const char* word;
    const char* function;
  } kNiladic[] = {{"USER", "user_name"},         {"CURRENT_USER", "user_name"},
                  {"SESSION_USER", "user_name"}, {"SYSTEM_USER", "suser_sname"},
                  {"CURRENT_TIMESTAMP", "getdate"}};
  for (const auto& niladic : kNiladic) {
    if (!t.Is(niladic.word)) continue;
    Next();
    auto e = Make(Expr::Func, b);
    e->text = niladic.function;
    Close(*e);
    return e;
  }
  Error();
}

std::unique_ptr<Select> ExpressionParser::ParseSelectBody() {
  Nest nest(*this);
  std::unique_ptr<Select> first;
  if (Peek().IsSymbol("(")) {
    Next();
    first = ParseSelectBody();
    ExpectSym(")");
  } else {
    first = ParseSelectCore();
  }
  while (Peek().Is("UNION")) {
    Next();
    Select::Union u;
    u.all = Accept("ALL");
    if (Peek().IsSymbol("(")) {
      Next();
      u.select = ParseSelectBody();
      ExpectSym(")");
    } else {
      u.select = ParseSelectCore();
    }
    first->unions.push_back(std::move(u));
  }
  if (Peek().Is("ORDER")) {
    Next();
    Expect("BY");
    do {
      OrderItem item;
      item.expr = ParseExpr();
      if (Accept("DESC")) item.desc = true;
      else Accept("ASC");
      first->orderBy.push_back(std::move(item));
    } while (AcceptSym(","));
  }
  return first;
}

std::unique_ptr<Select> ExpressionParser::ParseSelectCore() {
  Expect("SELECT");
  auto s = std::make_unique<Select>();
  if (Accept("DISTINCT")) s->distinct = true;
  else Accept("ALL");
  if (Accept("TOP")) {
    if (AcceptSym("(")) {
      s->top = ParseExpr();
      ExpectSym(")");
    } else {
      s->top = ParsePrimary();
    }
    if (Accept("PERCENT")) s->topPercent = true;
  }
  do {
    SelectItem item;
    if (Peek().kind == TokenKind::Variable && Peek(1).IsSymbol("=")) {  // @x = expression
      item.assignTo = LowerName(Next().text);
      Next();
      item.expr = ParseExpr();
      s->items.push_back(std::move(item));
      continue;
    }
    // alias = expression
    if ((IsIdent(Peek()) || Peek().kind == TokenKind::String) && Peek(1).IsSymbol("=")) {
      item.alias = Next().text;
      Next();
      item.expr = ParseExpr();
    } else {
      item.expr = ParseExpr();
      if (Accept("AS")) {
        if (Peek().kind == TokenKind::String) item.alias = Next().text;
        else item.alias = Ident();
      } else if (IsIdent(Peek()) || Peek().kind == TokenKind::String) {
        item.alias = Next().text;
      }
    }
    s->items.push_back(std::move(item));
  } while (AcceptSym(","));
  if (Accept("INTO")) s->into = ParseObjectName();
  if (Accept("FROM")) s->from = ParseFromList();
  if (Accept("WHERE")) s->where = ParseExpr();
  if (Peek().Is("GROUP")) {
    Next();
    Expect("BY");
    do s->groupBy.push_back(ParseExpr());
    while (AcceptSym(","));
  }
  if (Accept("HAVING")) s->having = ParseExpr();
  return s;
}

std::vector<std::unique_ptr<TableRef>> ExpressionParser::ParseFromList() {
  std::vector<std::unique_ptr<TableRef>> list;
  do list.push_back(ParseJoined());
  while (AcceptSym(","));
  return list;
}

std::unique_ptr<TableRef> ExpressionParser::ParseJoined() {
  auto left = ParseTablePrimary();
  for (;;) {
    std::string type;
    if (Peek().Is("JOIN")) {
      type = "INNER";
    } else if (Peek().Is("INNER") && Peek(1).Is("JOIN")) {
      Next();
      type = "INNER";
    } else if ((Peek().Is("LEFT") || Peek().Is("RIGHT") || Peek().Is("FULL")) &&
               (Peek(1).Is("JOIN") || Peek(1).Is("OUTER"))) {
      type = LowerName(Next().text) == "left" ? "LEFT" : (LowerName(toks_[pos_ - 1].text) == "right" ? "RIGHT" : "FULL");
      Accept("OUTER");
    } else if (Peek().Is("CROSS") && Peek(1).Is("JOIN")) {
      Next();
      type = "CROSS";
    } else {
      return left;
    }
    Expect("JOIN");
    auto j = std::make_unique<TableRef>();
    j->kind = TableRef::Join;
    j->joinType = type;
    j->left = std::move(left);
    j->right = ParseTablePrimary();
    if (type != "CROSS") {
      Expect("ON");
      j->on = ParseExpr();
    }
    left = std::move(j);
  }
}

std::unique_ptr<TableRef> ExpressionParser::ParseTablePrimary() {
  Nest nest(*this);
  auto t = std::make_unique<TableRef>();
  if (Peek().IsSymbol("(")) {
    Next();
    if (Peek().Is("SELECT")) {
      t->kind = TableRef::Derived;
      t->select = ParseSelectBody();
      ExpectSym(")");
    } else {
      t = ParseJoined();
      ExpectSym(")");
      return t;
    }
  } else {
    t->kind = TableRef::Named;
    t->name = ParseObjectName();
    if (AcceptSym("(")) {
      t->function = true;
      if (!Peek().IsSymbol(")")) {
        do t->args.push_back(ParseExpr());
        while (AcceptSym(","));
      }
      ExpectSym(")");
    }
  }
  if (Accept("AS")) t->alias = Ident();
  else if (IsIdent(Peek())) t->alias = Next().text;
  if (Peek().Is("WITH") && Peek(1).IsSymbol("(")) {  // table hints
    Next();
    Next();
    while (!Peek().IsSymbol(")") && Peek().kind != TokenKind::End) Next();
    ExpectSym(")");
  }
  return t;
}

}  // namespace servers
