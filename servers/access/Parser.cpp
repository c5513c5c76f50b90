#include "servers/access/Parser.h"

#include <cstdlib>
#include <set>
#include <utility>

#include "common/AccessNames.h"
#include "common/Text.h"
#include "servers/access/JetError.h"
#include "servers/core/ExpressionParser.h"

namespace servers::access {

namespace {

constexpr const char* kInvalidStatement =
    "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.";

class JetProfile : public TokenizerProfile {
 public:
  explicit JetProfile(const std::string& sql) : sql_(sql) {
    bracketNames = true;
    nationalStrings = false;
    variables = false;
    moneyLiterals = false;
    doubleQuotedStrings = true;
    hashDates = true;
    maxNameLength = access_names::kMaxLength;
  }
  [[noreturn]] void Unclosed(int, const std::string& rest) const override {
    const size_t open = sql_.size() - rest.size() - 1;
    if (open < sql_.size() && sql_[open] == '[') JetFail(3126, "Invalid bracketing of name '[" + rest + "'.");
    if (open < sql_.size() && sql_[open] == '#')
      JetFail(3075, "Syntax error in date in query expression '" + sql_.substr(open) + "'.");
    JetFail(3075, "Syntax error in string in query expression '" + sql_.substr(open) + "'.");
  }
  [[noreturn]] void NulCharacter(int) const override { JetFail(3129, kInvalidStatement); }
  [[noreturn]] void UnclosedComment(int) const override { JetFail(3129, kInvalidStatement); }
  [[noreturn]] void NameTooLong(int, const std::string& start) const override { InvalidName(start); }

 private:
  const std::string& sql_;
};

// The native name of a type as Jet's DDL writes it; empty when Jet does not know it.
std::string NativeType(const std::string& lower, bool& counter) {
  static const std::pair<const char*, const char*> kSynonyms[] = {{"text", "text"},
                                                                  {"char", "text"},
                                                                  {"varchar", "text"},
                                                                  {"nvarchar", "text"},
                                                                  {"nchar", "text"},
                                                                  {"string", "text"},
                                                                  {"alphanumeric", "text"},
                                                                  {"character", "text"},
                                                                  {"memo", "memo"},
                                                                  {"longtext", "memo"},
                                                                  {"longchar", "memo"},
                                                                  {"note", "memo"},
                                                                  {"ntext", "memo"},
                                                                  {"byte", "tinyint"},
                                                                  {"tinyint", "tinyint"},
                                                                  {"integer1", "tinyint"},
                                                                  {"short", "smallint"},
                                                                  {"smallint", "smallint"},
                                                                  {"integer2", "smallint"},
                                                                  {"long", "int"},
                                                                  {"int", "int"},
                                                                  {"integer", "int"},
                                                                  {"integer4", "int"},
                                                                  {"single", "real"},
                                                                  {"real", "real"},
                                                                  {"float4", "real"},
                                                                  {"ieeesingle", "real"},
                                                                  {"double", "float"},
                                                                  {"float", "float"},
                                                                  {"float8", "float"},
                                                                  {"ieeedouble", "float"},
                                                                  {"number", "float"},
                                                                  {"currency", "money"},
                                                                  {"money", "money"},
                                                                  {"datetime", "datetime"},
                                                                  {"date", "datetime"},
                                                                  {"time", "datetime"},
                                                                  {"timestamp", "datetime"},
                                                                  {"bit", "bit"},
                                                                  {"yesno", "bit"},
                                                                  {"logical", "bit"},
                                                                  {"logical1", "bit"},
                                                                  {"ole", "ole"},
                                                                  {"oleobject", "ole"},
                                                                  {"longbinary", "ole"},
                                                                  {"general", "ole"},
                                                                  {"image", "ole"},
                                                                  {"binary", "binary"},
                                                                  {"varbinary", "binary"},
                                                                  {"guid", "uniqueidentifier"},
                                                                  {"uniqueidentifier", "uniqueidentifier"},
                                                                  {"decimal", "decimal"},
                                                                  {"numeric", "decimal"},
                                                                  {"dec", "decimal"},
                                                                  {"counter", "int"},
                                                                  {"autoincrement", "int"}};
  for (const auto& [written, native] : kSynonyms)
    if (lower == written) {
      counter = lower == "counter" || lower == "autoincrement";
      return native;
    }
  return {};
}

class JetParser : public ExpressionParser {
 public:
  JetParser(const std::string& sql, std::vector<Token> tokens) : ExpressionParser(sql, std::move(tokens)) {}

  JetStatement Statement() {
    JetStatement s;
    s.text = sql_;
    const Token& t = Peek();
    if (t.kind == TokenKind::End || t.IsSymbol(";")) JetFail(3129, kInvalidStatement);
    if (t.Is("SELECT")) {
      Syntax(3075, "");
      s.kind = JetStatement::Select;
      s.select = ParseSelectBody();
    } else if (Accept("INSERT")) {
      Syntax(3134, "Syntax error in INSERT INTO statement.");
      Insert(s);
    } else if (Accept("UPDATE")) {
      Syntax(3144, "Syntax error in UPDATE statement.");
      Update(s);
    } else if (Accept("DELETE")) {
      Syntax(3130, "Syntax error in DELETE statement.");
      Delete(s);
    } else if (Accept("CREATE")) {
      Create(s);
    } else if (Accept("ALTER")) {
      Syntax(3293, "Syntax error in ALTER TABLE statement.");
      Expect("TABLE");
      Alter(s);
    } else if (Accept("DROP")) {
      Drop(s);
    } else {
      JetFail(3129, kInvalidStatement);
    }
    AcceptSym(";");
    if (Peek().kind != TokenKind::End) JetFail(3142, "Characters found after end of SQL statement.");
    return s;
  }

  ExprPtr DefaultExpression() {
    Syntax(3292, "Syntax error in field definition.");
    ExprPtr e = ParseExpr();
    if (Peek().kind != TokenKind::End) Error();
    return e;
  }

 protected:
  void SyntaxError(const Token& t) const override {
    if (number_ == 3075)
      JetFail(3075, "Syntax error (missing operator) in query expression '" +
                        sql_.substr(t.begin < sql_.size() ? t.begin : sql_.size()) + "'.");
    JetFail(number_, message_);
  }
  void TooDeep() const override { JetFail(3190, "Too many fields defined."); }
  bool IsReserved(const std::string& w) const override {
    static const std::set<std::string> kReserved = {
        "select",   "from",    "where",      "and",     "or",     "not",    "null",  "is",         "in",      "insert",
        "into",     "values",  "update",     "set",     "delete", "create", "table", "alter",      "drop",    "index",
        "on",       "order",   "by",         "group",   "having", "union",  "as",    "like",       "between", "exists",
        "distinct", "top",     "join",       "inner",   "left",   "right",  "outer", "constraint", "primary", "key",
        "unique",   "foreign", "references", "default", "column", "add",    "view",  "procedure",  "asc",     "desc",
        "case",     "when",    "then",       "else",    "end"};
    return kReserved.count(w) > 0;
  }
  ExprPtr ParseDialectPrimary() override {
    const Token& t = Peek();
    if (t.kind == TokenKind::String && t.date) {
      auto e = Make(Expr::String, t.begin);
      e->text = Next().text;
      Close(*e);
      return e;
    }
    // The Yes/No constants: true is -1, false 0.
    for (const auto& [word, value] : {std::pair{"TRUE", "-1"}, {"YES", "-1"}, {"FALSE", "0"}, {"NO", "0"}}) {
      if (!t.Is(word)) continue;
      auto e = Make(Expr::Number, t.begin);
      Next();
      e->text = value;
      Close(*e);
      return e;
    }
    return nullptr;
  }

 private:
  void Syntax(int number, const char* message) {
    number_ = number;
    message_ = message;
  }

  std::string TableName() {
    ObjectName n = ParseObjectName();
    if (!n.owner.empty() || !n.db.empty()) Error();
    return n.name;
  }

  void Insert(JetStatement& s) {
    s.kind = JetStatement::Insert;
    Expect("INTO");
    s.table = TableName();
    if (Peek().IsSymbol("(")) s.insertColumns = NameList();
    if (Accept("VALUES")) {
      ExpectSym("(");
      do s.values.push_back(ParseExpr());
      while (AcceptSym(","));
      ExpectSym(")");
    } else if (Peek().Is("SELECT")) {
      s.select = ParseSelectBody();
    } else {
      Error();
    }
  }

  // "AS name" or a bare name standing before `next`; empty when there is none.
  std::string OptionalAlias() {
    if (Accept("AS")) return Ident();
    const Token& t = Peek();
    if ((t.kind == TokenKind::Name || t.kind == TokenKind::QuotedName) && !t.Is("SET") && !t.Is("INNER") &&
        !t.Is("ON"))
      return Ident();
    return {};
  }

  // UPDATE table [[AS] alias] [INNER JOIN table [[AS] alias] ON condition | , table [[AS] alias]]
  // SET ... [WHERE ...]: with a second table, the columns set belong to the first.
  void Update(JetStatement& s) {
    s.kind = JetStatement::Update;
    s.table = TableName();
    s.alias = OptionalAlias();
    if (Accept("INNER")) {
      Expect("JOIN");
      s.joinTable = TableName();
      s.joinAlias = OptionalAlias();
      Expect("ON");
      s.joinOn = ParseExpr();
    } else if (AcceptSym(",")) {
      s.joinTable = TableName();
      s.joinAlias = OptionalAlias();
    }
    Expect("SET");
    do {
      std::vector<std::string> parts{AnyName()};
      while (AcceptSym(".")) parts.push_back(AnyName());
      if (!s.joinTable.empty() && parts.size() > 1 &&
          !text::SameText(parts[parts.size() - 2], s.alias.empty() ? s.table : s.alias))
        Error();
      ExpectSym("=");
      s.sets.emplace_back(parts.back(), ParseExpr());
    } while (AcceptSym(","));
    if (Accept("WHERE")) s.where = ParseExpr();
  }

  void Delete(JetStatement& s) {
    s.kind = JetStatement::Delete;
    AcceptSym("*");
    Accept("FROM");
    s.table = TableName();
    if (Accept("WHERE")) s.where = ParseExpr();
  }

  void Create(JetStatement& s) {
    if (Accept("TABLE")) {
      Syntax(3290, "Syntax error in CREATE TABLE statement.");
      s.kind = JetStatement::CreateTable;
      s.table = TableName();
      ExpectSym("(");
      do {
        if (Peek().Is("CONSTRAINT"))
          s.constraints.push_back(Constraint(true));
        else
          s.columns.push_back(Column(true));
      } while (AcceptSym(","));
      ExpectSym(")");
      return;
    }
    if (Peek().Is("UNIQUE") || Peek().Is("INDEX")) {
      Syntax(3291, "Syntax error in CREATE INDEX statement.");
      s.kind = JetStatement::CreateIndex;
      s.unique = Accept("UNIQUE");
      Expect("INDEX");
      s.name = Ident();
      Expect("ON");
      s.table = TableName();
      s.keys = NameList(&s.descending);
      if (Accept("WITH")) {
        do {
          if (Accept("PRIMARY"))
            s.primary = true;
          else if (Accept("DISALLOW") || Accept("IGNORE"))
            Expect("NULL");
          else
            Error();
        } while (true && (Peek().Is("PRIMARY") || Peek().Is("DISALLOW") || Peek().Is("IGNORE")));
      }
      return;
    }
    if (Accept("VIEW") || Accept("PROCEDURE") || Accept("PROC")) {
      const bool view = toks_[pos_ - 1].Is("VIEW");
      Syntax(3290, view ? "Syntax error in CREATE VIEW statement." : "Syntax error in PROCEDURE clause.");
      s.kind = view ? JetStatement::CreateView : JetStatement::CreateProcedure;
      s.table = TableName();
      if (!view && AcceptSym("(")) {
        int depth = 1;
        while (depth > 0 && Peek().kind != TokenKind::End) {
          if (Peek().IsSymbol("(")) ++depth;
          if (Peek().IsSymbol(")")) --depth;
          Next();
        }
      }
      if (view && Peek().IsSymbol("(")) NameList();
      Expect("AS");
      if (view) {
        s.select = ParseSelectBody();
      } else {
        // A procedure's body is kept as written, not run: one statement of Jet's.
        while (Peek().kind != TokenKind::End && !(Peek().IsSymbol(";") && Peek(1).kind == TokenKind::End)) Next();
      }
      return;
    }
    JetFail(3129, kInvalidStatement);
  }

  void Alter(JetStatement& s) {
    s.table = TableName();
    if (Accept("ADD")) {
      if (Peek().Is("CONSTRAINT") || Peek().Is("PRIMARY") || Peek().Is("FOREIGN")) {
        s.kind = JetStatement::AddConstraint;
        s.constraints.push_back(Constraint(true));
        return;
      }
      Accept("COLUMN");
      s.kind = JetStatement::AddColumn;
      s.columns.push_back(Column(false));
    } else if (Accept("ALTER")) {
      Accept("COLUMN");
      s.kind = JetStatement::AlterColumn;
      s.columns.push_back(Column(false));
    } else if (Accept("DROP")) {
      if (Accept("CONSTRAINT")) {
        s.kind = JetStatement::DropConstraint;
        if (!IsIdent(Peek())) JetFail(3721, "Invalid SQL syntax - expected constraint name.");
        s.name = Ident();
        return;
      }
      Accept("COLUMN");
      s.kind = JetStatement::DropColumn;
      s.name = Ident();
    } else {
      Error();
    }
  }

  void Drop(JetStatement& s) {
    if (Accept("TABLE")) {
      Syntax(3295, "Syntax error in DROP TABLE or DROP INDEX.");
      s.kind = JetStatement::DropTable;
      s.table = TableName();
    } else if (Accept("INDEX")) {
      Syntax(3295, "Syntax error in DROP TABLE or DROP INDEX.");
      s.kind = JetStatement::DropIndex;
      s.name = Ident();
      if (!Accept("ON")) Error();  // "DROP INDEX T.ix" is not Jet's
      s.table = TableName();
    } else if (Accept("VIEW") || Accept("PROCEDURE") || Accept("PROC")) {
      const bool view = toks_[pos_ - 1].Is("VIEW");
      Syntax(3295, "Syntax error in DROP TABLE or DROP INDEX.");
      s.kind = view ? JetStatement::DropView : JetStatement::DropProcedure;
      s.table = TableName();
    } else {
      JetFail(3129, kInvalidStatement);
    }
  }

  JetColumnDef Column(bool creating) {
    const int savedNumber = number_;
    const char* savedMessage = message_;
    if (!creating) Syntax(3292, "Syntax error in field definition.");
    JetColumnDef c;
    c.name = Ident();
    if (!IsIdent(Peek())) Error();
    std::string written = LowerName(Next().text);
    if (written == "identity") {
      c.type = "int";
      c.counter = true;
    } else {
      c.type = NativeType(written, c.counter);
      if (c.type.empty()) JetFail(3259, "Invalid field data type.");
    }
    if (AcceptSym("(")) {
      if (Peek().kind != TokenKind::Number) Error();
      c.length = std::atoi(Next().text.c_str());
      if (AcceptSym(",")) {
        if (Peek().kind != TokenKind::Number) Error();
        c.scale = std::atoi(Next().text.c_str());
      }
      ExpectSym(")");
    }
    if (Accept("IDENTITY")) {
      if (c.type != "int") Error();  // the only identity is the long-integer counter
      c.counter = true;
      if (AcceptSym("(")) {  // IDENTITY (seed, increment)
        do
          if (Peek().kind != TokenKind::Number)
            Error();
          else
            Next();
        while (AcceptSym(","));
        ExpectSym(")");
      }
    }
    if (c.counter && (c.length >= 0 || c.scale >= 0)) {  // COUNTER (seed, increment)
      c.length = c.scale = -1;
    }
    for (;;) {
      if (Accept("NOT")) {
        Expect("NULL");
        c.notNull = true;
      } else if (Accept("NULL")) {
        c.notNull = false;
      } else if (Accept("DEFAULT")) {
        const size_t b = Peek().begin;
        c.defaultExpr = ParseExpr();
        c.defaultText = sql_.substr(b, PrevEnd() - b);
      } else if (Peek().Is("PRIMARY") || Peek().Is("UNIQUE") || Peek().Is("CONSTRAINT") || Peek().Is("REFERENCES")) {
        JetConstraint k = Constraint(false);
        if (k.columns.empty()) k.columns.push_back(c.name);
        c.constraints.push_back(std::move(k));
      } else {
        break;
      }
    }
    number_ = savedNumber;
    message_ = savedMessage;
    return c;
  }

  // A constraint: of the table (`table`: its columns listed) or of a column.
  JetConstraint Constraint(bool table) {
    const int savedNumber = number_;
    const char* savedMessage = message_;
    Syntax(3289, "Syntax error in CONSTRAINT clause.");
    JetConstraint k;
    if (Accept("CONSTRAINT")) k.name = Ident();
    if (Accept("PRIMARY")) {
      Expect("KEY");
      k.kind = JetConstraint::PrimaryKey;
    } else if (Accept("UNIQUE")) {
      k.kind = JetConstraint::Unique;
    } else if (Accept("FOREIGN")) {
      Expect("KEY");
      k.kind = JetConstraint::ForeignKey;
      if (!table) Error();
    } else if (Peek().Is("REFERENCES") && !table) {
      k.kind = JetConstraint::ForeignKey;
    } else {
      Error();
    }
    // Jet has no clustered indexes: CLUSTERED and NONCLUSTERED are not its words.
    if (table) {
      std::vector<bool> desc;
      k.columns = NameList(&desc);
    }
    if (k.kind == JetConstraint::ForeignKey) {
      Expect("REFERENCES");
      k.refTable = TableName();
      if (Peek().IsSymbol("(")) k.refColumns = NameList();
      while (Accept("ON")) {
        const bool update = Accept("UPDATE");
        if (!update) Expect("DELETE");
        bool cascade = false;
        if (Accept("CASCADE"))
          cascade = true;
        else if (Accept("NO"))
          Expect("ACTION");
        else
          Error();
        (update ? k.updateCascade : k.deleteCascade) = cascade;
      }
    }
    number_ = savedNumber;
    message_ = savedMessage;
    return k;
  }

  int number_ = 3129;
  const char* message_ = kInvalidStatement;
};

}  // namespace

std::vector<Token> JetTokenize(const std::string& sql) {
  JetProfile profile(sql);
  return Tokenize(sql, profile);
}

JetStatement ParseJetStatement(const std::string& sql) {
  JetParser parser(sql, JetTokenize(sql));
  return parser.Statement();
}

ExprPtr ParseJetExpression(const std::string& sql) {
  JetParser parser(sql, JetTokenize(sql));
  return parser.DefaultExpression();
}

}  // namespace servers::access
