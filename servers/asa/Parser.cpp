// The reader of the Adaptive Server Anywhere stand-in: the shared grammar of expressions and
// queries with the server's own forms (if ... then ... else ... endif, CURRENT DATE) and its
// statements.
#include <set>

#include "servers/asa/Ast.h"
#include "servers/asa/Errors.h"
#include "servers/core/ExpressionParser.h"

namespace servers::asa {

namespace {

class AsaProfile : public TokenizerProfile {
 public:
  AsaProfile() {
    nationalStrings = false;
    variables = false;
    moneyLiterals = false;
    nameLengthInBytes = true;
  }
  [[noreturn]] void Unclosed(int line, const std::string& rest) const override {
    Fail(-131, "Syntax error near '" + rest.substr(0, 40) + "' on line " + std::to_string(line) +
                   ": unterminated string or name");
  }
  [[noreturn]] void NulCharacter(int line) const override { FailSyntax("\\0", line); }
  [[noreturn]] void UnclosedComment(int line) const override { FailSyntax("/*", line); }
  [[noreturn]] void NameTooLong(int, const std::string& start) const override {
    Fail(-250, "Identifier '" + start + "' too long");
  }
};

const std::set<std::string>& Reserved() {
  static const std::set<std::string> words = {
      "add", "all", "alter", "and", "any", "as", "asc", "begin", "between", "by", "cascade", "case", "check",
      "clustered", "commit", "connect", "constraint", "create", "cross", "current", "default", "delete", "desc",
      "distinct", "drop", "else", "elseif", "end", "endif", "exists", "for", "foreign", "from", "full", "grant",
      "group", "having", "identified", "if", "in", "index", "inner", "insert", "into", "is", "join", "key", "left",
      "like", "modify", "not", "null", "on", "option", "or", "order", "outer", "primary", "references", "rename",
      "revoke", "right", "rollback", "select", "set", "table", "then", "to", "union", "unique", "update", "values",
      "view", "when", "where", "with", "go"};
  return words;
}

class Parser : public ExpressionParser {
 public:
  explicit Parser(const std::string& sql) : ExpressionParser(sql, Tokenize(sql, Profile())) {}

  std::vector<StatementPtr> ParseAll() {
    std::vector<StatementPtr> out;
    for (;;) {
      while (Peek().IsSymbol(";") || Peek().Is("GO")) Next();
      if (Peek().kind == TokenKind::End) break;
      out.push_back(ParseStatement());
    }
    return out;
  }

 private:
  static const TokenizerProfile& Profile() {
    static const AsaProfile profile;
    return profile;
  }

  void SyntaxError(const Token& t) const override {
    if (t.kind == TokenKind::End) FailSyntax("(end of line)", t.line);
    FailSyntax(sql_.substr(t.begin, t.end - t.begin), t.line);
  }
  void TooDeep() const override { Fail(-890, "Statement size or complexity exceeds server limits"); }
  bool IsReserved(const std::string& lowerWord) const override { return Reserved().count(lowerWord) != 0; }

  bool ConcatenatesWithBars() const override { return true; }

  ExprPtr ParseDialectPrimary() override {
    const Token& t = Peek();
    if (t.Is("IF")) {
      // if <condition> then <value> [else <value>] endif
      auto e = Make(Expr::Case, Next().begin);
      e->args.push_back(nullptr);
      e->args.push_back(ParseExpr());
      Expect("THEN");
      e->args.push_back(ParseExpr());
      if (Accept("ELSE")) {
        e->args.push_back(ParseExpr());
        e->hasElse = true;
      }
      if (!Accept("ENDIF")) {
        if (!(Peek().Is("END") && Peek(1).Is("IF"))) Error();
        Next();
        Next();
      }
      Close(*e);
      return e;
    }
    if (t.Is("CURRENT") && Peek(1).Is("UTC") && Peek(2).Is("TIMESTAMP")) {
      auto e = Make(Expr::Func, Next().begin);
      Next();
      Next();
      e->text = "current utc timestamp";
      Close(*e);
      return e;
    }
    if (t.Is("CURRENT") && (Peek(1).Is("DATE") || Peek(1).Is("TIMESTAMP") || Peek(1).Is("TIME") ||
                            Peek(1).Is("USER") || Peek(1).Is("DATABASE"))) {
      auto e = Make(Expr::Func, Next().begin);
      e->text = "current " + LowerName(Next().text);
      Close(*e);
      return e;
    }
    return nullptr;
  }

  TypeSpec ParseType() override {
    TypeSpec ts;
    std::string name = LowerName(AnyName());
    if ((name == "long" || name == "unsigned" || name == "double" || name == "char" || name == "character") &&
        Peek().kind == TokenKind::Name && !Peek().IsSymbol("(")) {
      static const std::set<std::string> second = {"varchar", "binary", "int", "integer", "bigint", "smallint",
                                                   "tinyint", "precision", "varying"};
      if (second.count(LowerName(Peek().text))) name += " " + LowerName(Next().text);
    }
    ts.name = name;
    if (AcceptSym("(")) {
      if (Peek().kind != TokenKind::Number) Error();
      ts.length = std::atoi(Next().text.c_str());
      if (AcceptSym(",")) {
        if (Peek().kind != TokenKind::Number) Error();
        ts.scale = std::atoi(Next().text.c_str());
      }
      ExpectSym(")");
    }
    return ts;
  }

  std::string String() {
    if (Peek().kind != TokenKind::String) Error();
    return Next().text;
  }
  std::string Span(size_t begin) const { return sql_.substr(begin, PrevEnd() - begin); }
  std::string Rest(size_t begin) {
    while (Peek().kind != TokenKind::End) Next();
    return sql_.substr(begin);
  }

  StatementPtr ParseStatement() {
    Nest nest(*this);
    const Token& first = Peek();
    size_t begin = first.begin;
    int line = first.line;
    StatementPtr s = ParseBody();
    s->begin = begin;
    s->end = PrevEnd();
    s->line = line;
    return s;
  }

  StatementPtr ParseBody() {
    if (Peek().Is("SELECT") || Peek().IsSymbol("(")) {
      auto s = std::make_unique<SelectStmt>();
      s->select = ParseSelectBody();
      return s;
    }
    if (Accept("INSERT")) return ParseInsert();
    if (Accept("UPDATE")) return ParseUpdate();
    if (Accept("DELETE")) {
      auto s = std::make_unique<DeleteStmt>();
      Accept("FROM");
      s->table = ParseObjectName();
      if (Accept("WHERE")) s->where = ParseExpr();
      return s;
    }
    if (Peek().Is("CREATE")) return ParseCreate();
    if (Peek().Is("ALTER") && Peek(1).Is("DATABASE")) {
      Next();
      Next();
      auto s = std::make_unique<NamedStmt>(Statement::kAlterDatabase);
      s->name = String();
      Expect("MODIFY");
      Expect("LOG");
      Expect("ON");
      s->value = String();
      return s;
    }
    if (Accept("ALTER")) return ParseAlter();
    if (Accept("BACKUP")) {
      Expect("DATABASE");
      auto s = std::make_unique<NamedStmt>(Statement::kBackup);
      if (!Accept("TO")) Expect("DIRECTORY");
      s->value = String();
      while (Peek().kind == TokenKind::Name && !Peek().Is("GO")) Next();  // options
      return s;
    }
    if (Accept("RESTORE")) {
      Expect("DATABASE");
      auto s = std::make_unique<NamedStmt>(Statement::kRestore);
      s->name = String();
      Expect("FROM");
      s->value = String();
      return s;
    }
    if (Accept("EXECUTE") || Accept("EXEC") || Accept("CALL")) {
      auto s = std::make_unique<NamedStmt>(Statement::kCall);
      s->name = AnyName();
      while (AcceptSym(".")) s->name = AnyName();
      if (AcceptSym("(")) {
        while (!AcceptSym(")")) {
          if (Peek().kind == TokenKind::End) Error();
          Next();
        }
      }
      return s;
    }
    if (Accept("DROP")) return ParseDrop();
    if (Accept("COMMENT")) {
      Expect("ON");
      auto s = std::make_unique<CommentStmt>();
      s->column = Accept("COLUMN");
      if (!s->column) Expect("TABLE");
      std::vector<std::string> parts{Ident()};
      while (AcceptSym(".")) parts.push_back(Ident());
      const size_t least = s->column ? 2 : 1;
      if (parts.size() < least || parts.size() > least + 1) Error();
      if (s->column) {
        s->columnName = parts.back();
        parts.pop_back();
      }
      s->table.name = parts.back();
      if (parts.size() == 2) s->table.owner = parts[0];
      Expect("IS");
      if (!Accept("NULL")) s->text = String();
      return s;
    }
    if (Accept("IF")) return ParseIf();
    if (Peek().Is("BEGIN")) {
      Next();
      if (Accept("TRANSACTION") || Accept("TRAN")) return std::make_unique<Statement>(Statement::kBegin);
      auto block = std::make_unique<IfStmt>();  // a block is an IF that always holds
      block->kind = Statement::kBlock;
      while (!Peek().Is("END")) {
        if (Peek().kind == TokenKind::End) Error();
        if (AcceptSym(";")) continue;
        block->then.push_back(ParseStatement());
      }
      Next();
      return block;
    }
    if (Accept("COMMIT")) {
      Accept("WORK") || Accept("TRANSACTION");
      return std::make_unique<Statement>(Statement::kCommit);
    }
    if (Accept("ROLLBACK")) {
      Accept("WORK") || Accept("TRANSACTION");
      return std::make_unique<Statement>(Statement::kRollback);
    }
    if (Accept("SET")) return ParseSetOption();
    if (Accept("GRANT")) {
      if (Peek().Is("DBA") || Peek().Is("RESOURCE")) return ParseGrantAuthority();
      Expect("CONNECT");
      Expect("TO");
      auto s = std::make_unique<NamedStmt>(Statement::kGrantConnect);
      s->name = Ident();
      if (Accept("IDENTIFIED")) {
        Expect("BY");
        s->value = Peek().kind == TokenKind::String ? Next().text : AnyName();
      }
      return s;
    }
    if (Accept("REVOKE")) {
      Expect("CONNECT");
      Expect("FROM");
      auto s = std::make_unique<NamedStmt>(Statement::kRevokeConnect);
      s->name = Ident();
      return s;
    }
    if (Peek().Is("START") || Peek().Is("STOP")) {
      bool start = Next().Is("START");
      Expect("DATABASE");
      auto s = std::make_unique<NamedStmt>(start ? Statement::kStartDatabase : Statement::kStopDatabase);
      s->name = Peek().kind == TokenKind::String ? Next().text : Ident();
      if (start && Accept("AS")) s->as = Ident();
      while (Peek().kind == TokenKind::Name && !Peek().Is("GO")) Next();  // options
      return s;
    }
    Error();
  }

  // GRANT DBA, RESOURCE TO user, ...: `value` holds the authorities as "DR" letters.
  StatementPtr ParseGrantAuthority() {
    auto s = std::make_unique<NamedStmt>(Statement::kGrantAuthority);
    do {
      if (Accept("DBA")) s->value += "D";
      else if (Accept("RESOURCE")) s->value += "R";
      else Error();
    } while (AcceptSym(","));
    Expect("TO");
    do s->names.push_back(Ident());
    while (AcceptSym(","));
    return s;
  }

  StatementPtr ParseInsert() {
    auto s = std::make_unique<InsertStmt>();
    Accept("INTO");
    s->table = ParseObjectName();
    if (Peek().IsSymbol("(") && !Peek(1).Is("SELECT")) s->columns = NameList();
    if (Accept("VALUES")) {
      do {
        ExpectSym("(");
        std::vector<ExprPtr> row;
        do row.push_back(ParseExpr());
        while (AcceptSym(","));
        ExpectSym(")");
        s->rows.push_back(std::move(row));
      } while (AcceptSym(","));
    } else {
      s->select = ParseSelectBody();
    }
    return s;
  }

  StatementPtr ParseUpdate() {
    auto s = std::make_unique<UpdateStmt>();
    s->table = ParseObjectName();
    Expect("SET");
    do {
      std::string column = AnyName();
      while (AcceptSym(".")) column = AnyName();  // table.column
      ExpectSym("=");
      s->sets.emplace_back(column, ParseExpr());
    } while (AcceptSym(","));
    if (Accept("WHERE")) s->where = ParseExpr();
    return s;
  }

  StatementPtr ParseIf() {
    auto s = std::make_unique<IfStmt>();
    s->condition = ParseExpr();
    if (Accept("THEN")) {
      std::vector<StatementPtr>* into = &s->then;
      for (;;) {
        if (AcceptSym(";")) continue;
        if (Peek().Is("END") && Peek(1).Is("IF")) {
          Next();
          Next();
          break;
        }
        if (Peek().Is("ENDIF")) {
          Next();
          break;
        }
        if (Accept("ELSE")) {
          into = &s->otherwise;
          continue;
        }
        if (Peek().kind == TokenKind::End) Error();
        into->push_back(ParseStatement());
      }
      return s;
    }
    // The compatible form: IF <condition> <statement> [ELSE <statement>].
    s->then.push_back(ParseStatement());
    while (AcceptSym(";")) {
    }
    if (Accept("ELSE")) s->otherwise.push_back(ParseStatement());
    return s;
  }

  StatementPtr ParseSetOption() {
    Accept("TEMPORARY");
    Expect("OPTION");
    auto s = std::make_unique<SetOptionStmt>();
    std::string first = AnyName();
    if (AcceptSym(".")) {
      s->user = first;
      s->option = AnyName();
    } else {
      s->option = first;
    }
    ExpectSym("=");
    if (Peek().kind == TokenKind::String || Peek().kind == TokenKind::Number) s->value = Next().text;
    else if (!Peek().IsSymbol(";") && Peek().kind != TokenKind::End) s->value = AnyName();
    return s;
  }

  // ------------------------------------------------------------------ CREATE
  StatementPtr ParseCreate() {
    size_t begin = Next().begin;  // CREATE
    bool global = false, unique = false, clustered = false;
    if (Accept("GLOBAL")) {
      Expect("TEMPORARY");
      global = true;
    }
    if (Accept("TABLE")) return ParseCreateTable(global);
    if (global) Error();
    if (Accept("UNIQUE")) unique = true;
    if (Accept("CLUSTERED")) clustered = true;
    else Accept("NONCLUSTERED");
    if (Accept("INDEX")) return ParseCreateIndex(unique, clustered);
    if (unique || clustered) Error();
    if (Accept("DBSPACE")) {
      auto s = std::make_unique<NamedStmt>(Statement::kCreateDbSpace);
      s->name = Ident();
      if (!Accept("AS")) Expect("AT");
      if (Peek().kind == TokenKind::String) {
        s->value = Next().text;
      } else {
        size_t b = Peek().begin;
        AnyName();
        while (AcceptSym(".")) AnyName();
        s->value = Span(b);
      }
      return s;
    }
    if (Accept("DATABASE")) {
      auto s = std::make_unique<NamedStmt>(Statement::kCreateDatabase);
      if (Peek().kind != TokenKind::String) Error();
      s->name = Next().text;
      if (Accept("LOG")) {
        Expect("ON");
        s->value = String();
      }
      while (Peek().kind != TokenKind::End && !Peek().IsSymbol(";")) Next();  // the options
      return s;
    }
    auto m = std::make_unique<CreateModuleStmt>();
    if (Peek().Is("VIEW") || Peek().Is("PROCEDURE") || Peek().Is("FUNCTION") || Peek().Is("TRIGGER") ||
        Peek().Is("PROC")) {
      m->what = LowerName(Next().text);
      if (m->what == "proc") m->what = "procedure";
    } else {
      Error();
    }
    m->name = ParseObjectName();
    if (m->what == "view") {
      if (Peek().IsSymbol("(")) NameList();
      Expect("AS");
      m->select = ParseSelectBody();
      Accept("WITH") && Accept("CHECK") && Accept("OPTION");
      m->text = Span(begin);
      return m;
    }
    if (m->what == "trigger") {
      // CREATE TRIGGER name {BEFORE | AFTER} event [, event] [OF columns] ON table ...
      while (!Peek().Is("ON")) {
        if (Peek().kind == TokenKind::End) Error();
        const Token& t = Next();
        if (t.Is("BEFORE") || t.Is("AFTER")) m->time = t.text;
        else if (m->event.empty() && (t.Is("INSERT") || t.Is("UPDATE") || t.Is("DELETE"))) m->event = t.text;
      }
      Next();
      m->table = ParseObjectName();
    }
    m->text = Rest(begin);
    return m;
  }

  StatementPtr ParseCreateTable(bool global) {
    auto s = std::make_unique<CreateTableStmt>();
    s->globalTemporary = global;
    s->table = ParseObjectName();
    ExpectSym("(");
    do {
      if (AtKeyStart()) s->keys.push_back(ParseKey());
      else s->columns.push_back(ParseColumnDef());
    } while (AcceptSym(","));
    ExpectSym(")");
    for (;;) {
      if (Accept("IN") || Accept("ON")) {
        if (Peek().Is("COMMIT")) {
          Next();
          if (Accept("PRESERVE")) s->preserveRows = true;
          else Expect("DELETE");
          Expect("ROWS");
          continue;
        }
        s->dbspace = Ident();
        continue;
      }
      if (Accept("NOT")) {
        Expect("TRANSACTIONAL");
        continue;
      }
      break;
    }
    return s;
  }

  bool AtKeyStart() const {
    return Peek().Is("CONSTRAINT") || Peek().Is("PRIMARY") || Peek().Is("UNIQUE") || Peek().Is("FOREIGN") ||
           Peek().Is("CHECK");
  }

  KeyDef ParseKey() {
    KeyDef k;
    if (Accept("CONSTRAINT")) k.name = Ident();
    if (Accept("PRIMARY")) {
      Expect("KEY");
      k.kind = KeyDef::PrimaryKey;
    } else if (Accept("UNIQUE")) {
      k.kind = KeyDef::Unique;
    } else if (Accept("FOREIGN")) {
      Expect("KEY");
      k.kind = KeyDef::ForeignKey;
      if (IsIdent(Peek())) k.name = Ident();  // the role
    } else if (Accept("CHECK")) {
      k.kind = KeyDef::Check;
      ExpectSym("(");
      size_t b = Peek().begin;
      ParseExpr();
      k.checkText = Span(b);
      ExpectSym(")");
      return k;
    } else {
      Error();
    }
    if (Accept("CLUSTERED")) k.clustered = true;
    else if (Accept("NONCLUSTERED")) k.clustered = false;
    k.columns = NameList(&k.descending);
    if (k.kind == KeyDef::ForeignKey) ParseReferences(k);
    return k;
  }

  void ParseReferences(KeyDef& k) {
    Expect("REFERENCES");
    k.refTable = ParseObjectName();
    if (Peek().IsSymbol("(")) k.refColumns = NameList();
    while (Accept("ON")) {
      const bool onDelete = Accept("DELETE");
      if (!onDelete) Expect("UPDATE");
      char action = 'R';
      if (Accept("SET")) {
        action = Accept("NULL") ? 'N' : (Expect("DEFAULT"), 'D');
      } else if (Accept("CASCADE")) {
        action = 'C';
      } else if (!Accept("RESTRICT")) {
        Error();
      }
      (onDelete ? k.deleteAction : k.updateAction) = action;
    }
  }

  ColumnDef ParseColumnDef() {
    ColumnDef c;
    c.name = Ident();
    c.type = ParseType();
    ParseColumnOptions(c);
    return c;
  }

  void ParseColumnOptions(ColumnDef& c) {
    for (;;) {
      if (Accept("IDENTITY")) {
        c.identity = true;
      } else if (Accept("DEFAULT")) {
        if (Peek().Is("AUTOINCREMENT")) {
          Next();
          c.identity = true;
          continue;
        }
        size_t b = Peek().begin;
        if (Peek().Is("UTC") && Peek(1).Is("TIMESTAMP")) {
          Next();
          Next();
        } else {
          ParseExpr();
        }
        c.defaultText = Span(b);
      } else if (Peek().Is("NOT") && Peek(1).Is("NULL")) {
        Next();
        Next();
        c.nullable = false;
      } else if (Accept("NULL")) {
        c.nullable = true;
      } else if (Peek().Is("PRIMARY") || Peek().Is("UNIQUE") || Peek().Is("CHECK") || Peek().Is("CONSTRAINT")) {
        KeyDef k;
        if (Accept("CONSTRAINT")) k.name = Ident();
        if (Accept("PRIMARY")) {
          Expect("KEY");
          k.kind = KeyDef::PrimaryKey;
        } else if (Accept("UNIQUE")) {
          k.kind = KeyDef::Unique;
        } else {
          Expect("CHECK");
          k.kind = KeyDef::Check;
          ExpectSym("(");
          size_t b = Peek().begin;
          ParseExpr();
          k.checkText = Span(b);
          ExpectSym(")");
        }
        if (k.kind != KeyDef::Check) {
          if (Accept("CLUSTERED")) k.clustered = true;
          else Accept("NONCLUSTERED");
        }
        k.columns.push_back(c.name);
        c.keys.push_back(k);
      } else if (Peek().Is("REFERENCES")) {
        KeyDef k;
        k.kind = KeyDef::ForeignKey;
        k.columns.push_back(c.name);
        ParseReferences(k);
        c.keys.push_back(k);
      } else {
        return;
      }
    }
  }

  StatementPtr ParseCreateIndex(bool unique, bool clustered) {
    auto s = std::make_unique<CreateIndexStmt>();
    s->unique = unique;
    s->clustered = clustered;
    s->name = Ident();
    Expect("ON");
    s->table = ParseObjectName();
    s->columns = NameList(&s->descending);
    if (Accept("IN") || Accept("ON")) s->dbspace = Ident();
    return s;
  }

  // ------------------------------------------------------------------ ALTER, DROP
  StatementPtr ParseAlter() {
    if (Accept("INDEX")) {
      auto s = std::make_unique<AlterIndexStmt>();
      Expect("PRIMARY");
      Expect("KEY");
      Expect("ON");
      s->table = ParseObjectName();
      if (Accept("CLUSTERED")) s->clustered = true;
      else Expect("NONCLUSTERED");
      return s;
    }
    Expect("TABLE");
    auto s = std::make_unique<AlterTableStmt>();
    s->table = ParseObjectName();
    do s->clauses.push_back(ParseAlterClause());
    while (AcceptSym(","));
    return s;
  }

  AlterClause ParseAlterClause() {
    AlterClause a;
    if (Accept("ADD")) {
      if (AtKeyStart()) {
        a.kind = AlterClause::AddKey;
        a.key = ParseKey();
      } else {
        a.kind = AlterClause::AddColumn;
        Accept("COLUMN");
        a.column = ParseColumnDef();
      }
      return a;
    }
    if (Accept("MODIFY") || Accept("ALTER")) {
      a.kind = AlterClause::Modify;
      Accept("COLUMN");
      a.column.name = Ident();
      if (!Peek().Is("NULL") && !Peek().Is("NOT") && !Peek().Is("DEFAULT") && !Peek().Is("IDENTITY") &&
          Peek().kind == TokenKind::Name) {
        a.column.type = ParseType();
        a.typeWritten = true;
      }
      ParseColumnOptions(a.column);
      return a;
    }
    if (Accept("RENAME")) {
      std::string first = Ident();
      if (Accept("TO")) {
        a.kind = AlterClause::RenameColumn;
        a.name = first;
        a.newName = Ident();
      } else {
        a.kind = AlterClause::RenameTable;
        a.newName = first;
      }
      return a;
    }
    if (Accept("DROP") || Accept("DELETE")) {
      if (Accept("PRIMARY")) {
        Expect("KEY");
        a.kind = AlterClause::DropPrimaryKey;
      } else if (Accept("CONSTRAINT") || (Accept("FOREIGN") && (Expect("KEY"), true)) || Accept("UNIQUE")) {
        a.kind = AlterClause::DropConstraint;
        a.name = Ident();
      } else {
        a.kind = AlterClause::DropColumn;
        Accept("COLUMN");
        a.name = Ident();
      }
      return a;
    }
    Error();
  }

  StatementPtr ParseDrop() {
    if (Accept("DBSPACE")) {
      auto s = std::make_unique<NamedStmt>(Statement::kDropDbSpace);
      s->name = Ident();
      return s;
    }
    auto s = std::make_unique<DropStmt>();
    if (!(Peek().Is("TABLE") || Peek().Is("VIEW") || Peek().Is("PROCEDURE") || Peek().Is("FUNCTION") ||
          Peek().Is("TRIGGER") || Peek().Is("INDEX") || Peek().Is("PROC")))
      Error();
    s->what = LowerName(Next().text);
    if (s->what == "proc") s->what = "procedure";
    if (s->what == "index") {
      // [[owner.]table.]index
      std::vector<std::string> parts{Ident()};
      while (AcceptSym(".")) parts.push_back(Ident());
      if (parts.size() > 3) Error();
      s->name.name = parts.back();
      if (parts.size() >= 2) s->table = parts[parts.size() - 2];
      if (parts.size() == 3) s->name.owner = parts[0];
      return s;
    }
    s->name = ParseObjectName();
    return s;
  }
};

}  // namespace

std::vector<StatementPtr> ParseBatch(const std::string& sql) { return Parser(sql).ParseAll(); }

}  // namespace servers::asa
