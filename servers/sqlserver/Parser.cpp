// Statements of the T-SQL parser, and the batch entry point.
#include <strings.h>

#include "common/Text.h"
#include "servers/sqlserver/ParserInternal.h"
#include "servers/sqlserver/SqlError.h"

namespace servers::sqlserver {

const std::set<std::string>& ReservedWords() {
  // The server's reserved keywords: never a name unless quoted ([Key], "Plan"). GO is the
  // client's batch separator, kept here so that it never reads as an alias.
  static const std::set<std::string> words = {
      "add", "all", "alter", "and", "any", "as", "asc", "authorization", "backup", "begin",
      "between", "break", "browse", "bulk", "by", "cascade", "case", "check", "checkpoint",
      "close", "clustered", "coalesce", "collate", "column", "commit", "compute", "constraint",
      "contains", "containstable", "continue", "convert", "create", "cross", "current",
      "current_date", "current_time", "current_timestamp", "current_user", "cursor",
      "database", "dbcc", "deallocate", "declare", "default", "delete", "deny", "desc", "disk",
      "distinct", "distributed", "double", "drop", "dummy", "dump", "else", "end", "errlvl",
      "escape", "except", "exec", "execute", "exists", "exit", "fetch", "file", "fillfactor",
      "for", "foreign", "freetext", "freetexttable", "from", "full", "function", "go", "goto",
      "grant", "group", "having", "holdlock", "identity", "identity_insert", "identitycol",
      "if", "in", "index", "inner", "insert", "intersect", "into", "is", "join", "key", "kill",
      "left", "like", "lineno", "load", "national", "nocheck", "nonclustered", "not", "null",
      "nullif", "of", "off", "offsets", "on", "open", "opendatasource", "openquery",
      "openrowset", "openxml", "option", "or", "order", "outer", "over", "percent", "plan",
      "precision", "primary", "print", "proc", "procedure", "public", "raiserror", "read",
      "readtext", "reconfigure", "references", "replication", "restore", "restrict", "return",
      "revoke", "right", "rollback", "rowcount", "rowguidcol", "rule", "save", "schema",
      "select", "session_user", "set", "setuser", "shutdown", "some", "statistics",
      "system_user", "table", "textsize", "then", "to", "top", "tran", "transaction",
      "trigger", "truncate", "tsequal", "union", "unique", "update", "updatetext", "use",
      "user", "values", "varying", "view", "waitfor", "when", "where", "while", "with",
      "writetext"};
  return words;
}

std::vector<StatementPtr> Parser::ParseAll() {
  std::vector<StatementPtr> out;
  for (;;) {
    while (Peek().IsSymbol(";")) Next();
    if (Peek().kind == TokenKind::End) break;
    if (Peek().Is("GO")) {
      Next();
      continue;
    }
    out.push_back(ParseStatement());
  }
  return out;
}

[[noreturn]] void Parser::TooDeep() const {
  Fail(191, "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into smaller queries.");
}

bool Parser::IsReserved(const std::string& lowerWord) const { return ReservedWords().count(lowerWord) != 0; }

[[noreturn]] void Parser::SyntaxError(const Token& t) const {
  const Token& at = t.kind == TokenKind::End && pos_ > 0 ? toks_[pos_ - 1] : t;
  if (at.kind == TokenKind::End) FailSyntax(at.line, "");
  std::string text = sql_.substr(at.begin, at.end - at.begin);
  // Keywords are named as such, as the server does (error 156).
  if (at.kind == TokenKind::Name && ReservedWords().count(LowerName(at.text)))
    Fail(156, "Line " + std::to_string(at.line) + ": Incorrect syntax near the keyword '" + text + "'.");
  FailSyntax(at.line, text);
}

StatementPtr Parser::ParseStatement() {
  Nest nest(*this);
  ++statements_;
  const Token& first = Peek();
  size_t begin = first.begin;
  int line = first.line;
  StatementPtr s = ParseStatementBody();
  s->begin = begin;
  s->end = PrevEnd();
  s->line = line;
  return s;
}

StatementPtr Parser::ParseStatementBody() {
  const Token& t = Peek();
  if (StatementPtr user = ParseUserStatement()) return user;
  if (t.Is("SELECT") || t.IsSymbol("(")) {
    auto s = std::make_unique<SelectStmt>();
    s->select = ParseSelectBody();
    return s;
  }
  if (t.Is("INSERT")) return ParseInsert();
  if (t.Is("UPDATE")) return ParseUpdate();
  if (t.Is("DELETE")) return ParseDelete();
  if (t.Is("CREATE")) return ParseCreate();
  if (t.Is("ALTER")) return ParseAlter();
  if (t.Is("DROP")) return ParseDrop();
  if (t.Is("IF")) {
    Next();
    auto s = std::make_unique<IfStmt>();
    s->condition = ParseExpr();
    s->then = ParseStatement();
    while (Peek().IsSymbol(";") && Peek(1).Is("ELSE")) Next();
    if (Accept("ELSE")) s->otherwise = ParseStatement();
    return s;
  }
  if (t.Is("BEGIN")) {
    Next();
    auto b = std::make_unique<BlockStmt>();
    for (;;) {
      while (AcceptSym(";")) {
      }
      if (Accept("END")) break;
      if (Peek().kind == TokenKind::End) Error();
      b->body.push_back(ParseStatement());
    }
    return b;
  }
  if (t.Is("EXEC") || t.Is("EXECUTE")) {
    Next();
    if (Peek().IsSymbol("(")) {
      Next();
      auto s = std::make_unique<ExecTextStmt>();
      s->text = ParseExpr();
      ExpectSym(")");
      return s;
    }
    return ParseProcCall();
  }
  // A procedure is called without EXEC only as the batch's first statement.
  if (t.kind == TokenKind::Name && t.text.size() > 3 && strncasecmp(t.text.c_str(), "sp_", 3) == 0 &&
      statements_ == 1)
    return ParseProcCall();
  if (t.Is("SET")) return ParseSet();
  if (t.Is("DECLARE")) {
    Next();
    auto s = std::make_unique<VariableStmt>(Statement::kDeclare);
    do {
      if (Peek().kind != TokenKind::Variable) Error();
      VariableStmt::Item item;
      item.name = LowerName(Next().text);
      Accept("AS");
      item.type = ParseType();
      if (AcceptSym("=")) item.value = ParseExpr();
      s->items.push_back(std::move(item));
    } while (AcceptSym(","));
    return s;
  }
  if (t.Is("USE")) {
    Next();
    auto s = std::make_unique<UseStmt>();
    s->db = Ident();
    return s;
  }
  if (t.Is("BACKUP")) {
    Next();
    Expect("DATABASE");
    auto s = std::make_unique<DatabaseStmt>(Statement::kBackup);
    s->db = Ident();
    s->disk = ParseDisk("TO");
    SkipWithOptions();
    return s;
  }
  if (t.Is("RESTORE")) return ParseRestore();
  if (t.Is("TRUNCATE")) {
    Next();
    Expect("TABLE");
    auto s = std::make_unique<SimpleStmt>(Statement::kTruncate);
    s->table = ParseObjectName();
    return s;
  }
  if (t.Is("PRINT")) {
    Next();
    auto s = std::make_unique<SimpleStmt>(Statement::kPrint);
    s->expr = ParseExpr();
    return s;
  }
  Error();
}

std::string Parser::ParseDisk(const char* preposition) {
  Expect(preposition);
  Expect("DISK");
  ExpectSym("=");
  if (Peek().kind != TokenKind::String) Error();
  return Next().text;
}

void Parser::SkipWithOptions() {
  if (!Accept("WITH")) return;
  do {
    AnyName();
    if (AcceptSym("=")) ParsePrimary();
  } while (AcceptSym(","));
}

StatementPtr Parser::ParseProcCall() {
  auto s = std::make_unique<ExecProcStmt>();
  s->proc = ParseObjectName();
  if (Peek().kind == TokenKind::End || Peek().IsSymbol(";")) return s;
  if (IsArgStart(Peek())) {
    do {
      if (Peek().kind == TokenKind::Variable && Peek(1).IsSymbol("=")) {
        Next();
        Next();
      }
      if (IsIdent(Peek()) && !Peek(1).IsSymbol("(")) {  // bare word argument
        auto e = Make(Expr::String, Peek().begin);
        e->text = Next().text;
        while (AcceptSym(".")) e->text += "." + AnyName();
        Close(*e);
        s->args.push_back(std::move(e));
      } else {
        s->args.push_back(ParseExpr());
      }
    } while (AcceptSym(","));
  }
  return s;
}

bool Parser::IsArgStart(const Token& t) const {
  return t.kind == TokenKind::String || t.kind == TokenKind::Number ||
         t.kind == TokenKind::Variable || t.kind == TokenKind::QuotedName || t.Is("NULL") ||
         t.IsSymbol("-") || (t.kind == TokenKind::Name && IsIdent(t));
}

StatementPtr Parser::ParseSet() {
  Next();
  if (Accept("IDENTITY_INSERT")) {
    auto s = std::make_unique<SetStmt>(Statement::kSetIdentityInsert);
    s->table = ParseObjectName();
    if (Accept("ON")) s->on = true;
    else if (Accept("OFF")) s->on = false;
    else Error();
    return s;
  }
  if (Peek().kind == TokenKind::Variable) {
    auto v = std::make_unique<VariableStmt>(Statement::kSetVariable);
    VariableStmt::Item item;
    item.name = LowerName(Next().text);
    ExpectSym("=");
    item.value = ParseExpr();
    v->items.push_back(std::move(item));
    return v;
  }
  auto s = std::make_unique<SetStmt>(Statement::kSetOption);
  if (Accept("TRANSACTION")) {
    // Every level is accepted: statements of a session run one at a time over its database.
    Expect("ISOLATION");
    Expect("LEVEL");
    if (Accept("READ")) {
      if (!Accept("UNCOMMITTED")) Expect("COMMITTED");
    } else if (Accept("REPEATABLE")) {
      Expect("READ");
    } else {
      Expect("SERIALIZABLE");
    }
    s->option = "transaction isolation level";
    return s;
  }
  s->option = LowerName(AnyName());
  while (AcceptSym(",")) s->more.push_back(LowerName(AnyName()));
  if (Accept("ON")) s->value = "ON";
  else if (Accept("OFF")) s->value = "OFF";
  else if (Peek().kind != TokenKind::End) s->value = Next().text;
  return s;
}

StatementPtr Parser::ParseInsert() {
  Next();
  Accept("INTO");
  auto s = std::make_unique<InsertStmt>();
  s->table = ParseObjectName();
  if (Peek().IsSymbol("(") && !Peek(1).Is("SELECT")) s->columns = NameList();
  if (Accept("DEFAULT")) {
    Expect("VALUES");
    s->defaultValues = true;
  } else if (Accept("VALUES")) {
    do {
      ExpectSym("(");
      std::vector<ExprPtr> row;
      do row.push_back(ParseExpr());
      while (AcceptSym(","));
      ExpectSym(")");
      s->values.push_back(std::move(row));
    } while (AcceptSym(","));
  } else if (Peek().Is("SELECT") || Peek().IsSymbol("(")) {
    s->select = ParseSelectBody();
  } else if (Accept("EXEC") || Accept("EXECUTE")) {
    s->exec = ParseProcCall();
  } else {
    Error();
  }
  return s;
}

StatementPtr Parser::ParseUpdate() {
  Next();
  auto s = std::make_unique<UpdateStmt>();
  s->table = ParseObjectName();
  Expect("SET");
  do {
    std::vector<std::string> parts;
    parts.push_back(Ident());
    while (AcceptSym(".")) parts.push_back(Ident());
    ExpectSym("=");
    s->sets.emplace_back(std::move(parts), ParseExpr());
  } while (AcceptSym(","));
  if (Accept("FROM")) s->from = ParseFromList();
  if (Accept("WHERE")) s->where = ParseExpr();
  return s;
}

StatementPtr Parser::ParseDelete() {
  Next();
  auto s = std::make_unique<DeleteStmt>();
  Accept("FROM");
  s->table = ParseObjectName();
  if (Accept("FROM")) s->from = ParseFromList();
  if (Accept("WHERE")) s->where = ParseExpr();
  return s;
}

std::string Parser::ExprText(const Expr& e) {
  std::string text = sql_.substr(e.begin, e.end - e.begin);
  if (e.kind == Expr::Paren) return text;
  return "(" + text + ")";
}

std::string Parser::OnClause() {
  if (!Accept("ON")) return {};
  return FileGroupName();
}

std::string Parser::FileGroupName() {
  if (Peek().kind == TokenKind::String || Peek().Is("DEFAULT")) return Next().text;
  return Ident();
}

ConstraintDef Parser::ParseConstraint(const std::string& column) {
  ConstraintDef c;
  if (Accept("CONSTRAINT")) c.name = Ident();
  if (Accept("PRIMARY")) {
    Expect("KEY");
    c.kind = ConstraintDef::PrimaryKey;
  } else if (Accept("UNIQUE")) {
    c.kind = ConstraintDef::Unique;
  } else if (Accept("FOREIGN")) {
    Expect("KEY");
    c.kind = ConstraintDef::ForeignKey;
    // A column's own FOREIGN KEY REFERENCES names no column list: the column is the key.
    if (!column.empty() && Peek().Is("REFERENCES")) c.columns.push_back(column);
    else c.columns = NameList();
  } else if (Peek().Is("REFERENCES")) {
    c.kind = ConstraintDef::ForeignKey;
    c.columns.push_back(column);
  } else if (Accept("CHECK")) {
    c.kind = ConstraintDef::Check;
    Accept("NOT") && Accept("FOR") && Accept("REPLICATION");
    ExpectSym("(");
    size_t b = Peek().begin;
    c.expr = ParseExpr();
    ExpectSym(")");
    c.exprText = "(" + sql_.substr(b, PrevEnd() - 1 - b) + ")";
    // keep the exact text between the parentheses
    c.exprText = "(" + sql_.substr(c.expr->begin, c.expr->end - c.expr->begin) + ")";
    return c;
  } else if (Accept("DEFAULT")) {
    c.kind = ConstraintDef::Default;
    c.expr = ParseUnary();
    c.exprText = ExprText(*c.expr);
    if (Accept("FOR")) c.forColumn = Ident();
    return c;
  } else {
    Error();
  }
  if (c.kind == ConstraintDef::PrimaryKey || c.kind == ConstraintDef::Unique) {
    if (Accept("CLUSTERED")) c.clustered = true;
    else if (Accept("NONCLUSTERED")) c.clustered = false;
    if (Peek().IsSymbol("(")) c.columns = NameList(&c.descending);
    else if (!column.empty()) c.columns.push_back(column);
    else Error();
    if (Accept("WITH")) {
      if (Accept("FILLFACTOR")) {
        ExpectSym("=");
        Next();
      } else {
        Error();
      }
    }
    c.fileGroup = OnClause();
    return c;
  }
  Expect("REFERENCES");
  c.refTable = ParseObjectName();
  if (Peek().IsSymbol("(")) c.refColumns = NameList();
  while (Peek().Is("ON")) {
    Next();
    bool isDelete = Accept("DELETE");
    if (!isDelete) Expect("UPDATE");
    bool cascade = false;
    if (Accept("CASCADE")) cascade = true;
    else if (Accept("NO")) Expect("ACTION");
    else Error();
    (isDelete ? c.deleteCascade : c.updateCascade) = cascade;
  }
  if (Peek().Is("NOT") && Peek(1).Is("FOR")) {
    Next();
    Next();
    Expect("REPLICATION");
  }
  return c;
}

bool Parser::AtConstraintStart() const {
  const Token& t = Peek();
  return t.Is("CONSTRAINT") || t.Is("PRIMARY") || t.Is("UNIQUE") || t.Is("FOREIGN") ||
         t.Is("CHECK") || t.Is("REFERENCES") || t.Is("DEFAULT");
}

ColumnDef Parser::ParseColumnDef() {
  ColumnDef c;
  c.name = Ident();
  c.type = ParseType();
  for (;;) {
    if (Accept("IDENTITY")) {
      c.identity = true;
      if (AcceptSym("(")) {
        c.seed = ParseSignedInt();
        ExpectSym(",");
        c.increment = ParseSignedInt();
        ExpectSym(")");
      }
      if (Peek().Is("NOT") && Peek(1).Is("FOR")) {
        Next();
        Next();
        Expect("REPLICATION");
      }
    } else if (Accept("COLLATE")) {
      c.collation = AnyName();
    } else if (Peek().Is("NOT") && Peek(1).Is("NULL")) {
      Next();
      Next();
      c.nullable = false;
    } else if (Accept("NULL")) {
      c.nullable = true;
    } else if (Accept("ROWGUIDCOL")) {
      c.rowGuid = true;
    } else if (AtConstraintStart()) {
      c.constraints.push_back(ParseConstraint(c.name));
    } else {
      return c;
    }
  }
}

int64_t Parser::ParseSignedInt() {
  bool neg = AcceptSym("-");
  if (Peek().kind != TokenKind::Number) Error();
  int64_t v = std::atoll(Next().text.c_str());
  return neg ? -v : v;
}

StatementPtr Parser::ParseCreate() {
  Next();
  if (Accept("TABLE")) {
    auto s = std::make_unique<CreateTableStmt>();
    s->table = ParseObjectName();
    ExpectSym("(");
    do {
      if (Peek().IsSymbol(")")) break;  // trailing comma
      if (AtConstraintStart() && !Peek().Is("DEFAULT")) s->constraints.push_back(ParseConstraint(""));
      else s->columns.push_back(ParseColumnDef());
    } while (AcceptSym(","));
    ExpectSym(")");
    for (;;) {
      if (Accept("ON")) {
        s->fileGroup = FileGroupName();
      } else if (Accept("TEXTIMAGE_ON")) {
        s->textImageGroup = FileGroupName();
      } else {
        break;
      }
    }
    return s;
  }
  if (Accept("DATABASE")) {
    auto s = std::make_unique<DatabaseStmt>(Statement::kCreateDatabase);
    s->db = Ident();
    if (Accept("ON")) {
      Accept("PRIMARY");
      s->dataFiles = ParseFileSpecs();
    }
    if (Accept("LOG")) {
      Expect("ON");
      s->logFiles = ParseFileSpecs();
    }
    if (Accept("COLLATE")) AnyName();
    return s;
  }
  bool unique = false;
  std::optional<bool> clustered;
  if (Accept("UNIQUE")) unique = true;
  if (Accept("CLUSTERED")) clustered = true;
  else if (Accept("NONCLUSTERED")) clustered = false;
  if (Accept("INDEX")) {
    auto s = std::make_unique<CreateIndexStmt>();
    s->unique = unique;
    s->clustered = clustered;
    s->name = Ident();
    Expect("ON");
    s->table = ParseObjectName();
    s->columns = NameList(&s->descending);
    if (Accept("WITH")) {
      do {
        AnyName();
        if (AcceptSym("=")) Next();
      } while (AcceptSym(","));
    }
    s->fileGroup = OnClause();
    return s;
  }
  if (unique || clustered) Error();
  return ParseModule();
}

std::vector<FileSpec> Parser::ParseFileSpecs() {
  std::vector<FileSpec> specs;
  do {
    ExpectSym("(");
    specs.push_back(ParseFileSpecBody());
    ExpectSym(")");
  } while (AcceptSym(",") && Peek().IsSymbol("("));
  return specs;
}

FileSpec Parser::ParseFileSpecBody() {
  FileSpec f;
  do {
    std::string key = LowerName(AnyName());
    ExpectSym("=");
    std::string value;
    if (Peek().kind == TokenKind::String) {
      value = Next().text;
    } else if (Peek().kind == TokenKind::Number) {
      value = Next().text;
      if (AcceptSym("%")) value += "%";
      else if (Peek().Is("KB") || Peek().Is("MB") || Peek().Is("GB") || Peek().Is("TB"))
        value += Next().text;
    } else {
      value = AnyName();
    }
    if (key == "name") f.name = value;
    else if (key == "filename") f.fileName = value;
    else if (key == "size") f.size = value;
    else if (key == "maxsize") f.maxSize = value;
    else if (key == "filegrowth") f.growth = value;
    else if (key == "newname") f.newName = value;
    else Fail(170, "Line " + std::to_string(toks_[pos_ - 1].line) + ": Incorrect syntax near '" + key + "'.");
  } while (AcceptSym(","));
  return f;
}

StatementPtr Parser::ParseModule() {
  auto s = std::make_unique<CreateModuleStmt>();
  size_t first = pos_ - 1;
  size_t createBegin = toks_[first].begin;
  const Token& kind = Peek();
  if (kind.Is("VIEW")) s->what = "VIEW";
  else if (kind.Is("PROCEDURE") || kind.Is("PROC")) s->what = "PROCEDURE";
  else if (kind.Is("FUNCTION")) s->what = "FUNCTION";
  else if (kind.Is("TRIGGER")) s->what = "TRIGGER";
  else Error();
  if (statements_ != 1)
    Fail(111, "'" + std::string(toks_[pos_ - 1].Is("ALTER") ? "ALTER " : "CREATE ") + s->what +
                  "' must be the first statement in a query batch.");
  Next();
  s->name = ParseObjectName();
  if (s->what == "VIEW" && Peek().IsSymbol("(")) s->viewColumns = NameList();
  if (AcceptSym(";")) {  // numbered procedure
    if (Peek().kind == TokenKind::Number) Next();
  }
  if (s->what == "TRIGGER") {
    Expect("ON");
    s->parentTable = ParseObjectName();
  }
  // Scan to the AS that opens the body, noting WITH ENCRYPTION and the function's kind.
  int depth = 0;
  bool prevVariable = false;
  bool triggerEvents = false;  // a trigger's FOR / AFTER / INSTEAD OF clause has begun
  bool paramStart = false;
  while (Peek().kind != TokenKind::End) {
    const Token& t = Peek();
    if (s->what == "FUNCTION" && t.kind == TokenKind::Variable && depth == 1 && paramStart)
      s->parameters.push_back(LowerName(t.text));
    // A parameter opens the list or follows a comma at its level.
    paramStart = (t.IsSymbol("(") && depth == 0) || (t.IsSymbol(",") && depth == 1);
    if (t.IsSymbol("(")) ++depth;
    if (t.IsSymbol(")")) --depth;
    if (s->what == "TRIGGER" && (t.Is("FOR") || t.Is("AFTER") || t.Is("INSTEAD"))) triggerEvents = true;
    if (depth == 0 && t.Is("WITH") && Peek(1).Is("ENCRYPTION")) {
      if (triggerEvents) Error();  // a trigger's options come before its events
      s->encrypted = true;
    }
    if (depth == 0 && t.Is("RETURNS")) {
      if (Peek(1).Is("TABLE")) s->tableFunction = s->inlineFunction = true;
      if (Peek(1).kind == TokenKind::Variable && Peek(2).Is("TABLE")) s->tableFunction = true;
    }
    if (depth == 0 && t.Is("AS") && !prevVariable) break;
    prevVariable = t.kind == TokenKind::Variable;
    Next();
  }
  Expect("AS");
  if (s->what == "VIEW") {
    size_t save = pos_;
    try {
      s->viewSelect = ParseSelectBody();
      if (Peek().Is("WITH") && Peek(1).Is("CHECK") && Peek(2).Is("OPTION")) {
        s->checkOption = true;
        pos_ += 3;
      }
      if (Peek().kind != TokenKind::End && !Peek().IsSymbol(";")) s->viewSelect.reset();
    } catch (const ado::EOleException&) {
      s->viewSelect.reset();
    }
    pos_ = save;
  }
  if (s->inlineFunction && Accept("RETURN")) {
    size_t save = pos_;
    try {
      bool paren = AcceptSym("(");
      s->viewSelect = ParseSelectBody();
      if (paren) ExpectSym(")");
      if (Peek().kind != TokenKind::End && !Peek().IsSymbol(";")) s->viewSelect.reset();
    } catch (const ado::EOleException&) {
      s->viewSelect.reset();
    }
    pos_ = save;
  }
  // The body runs to the end of the batch.
  pos_ = toks_.size() - 1;
  // The catalogue keeps the batch's text from its start: comments before CREATE stay with it.
  s->alter = toks_[first].Is("ALTER");
  s->text = sql_.substr(first == 0 ? 0 : createBegin);
  return s;
}

StatementPtr Parser::ParseAlter() {
  Next();
  if (Accept("DATABASE")) {
    auto s = std::make_unique<DatabaseStmt>(Statement::kAlterDatabase);
    s->db = Ident();
    if (Accept("ADD")) {
      if (Accept("FILEGROUP")) {
        s->action = "ADD FILEGROUP";
        s->group = Ident();
      } else if (Accept("FILE") || Accept("LOG")) {
        if (toks_[pos_ - 1].Is("LOG")) Expect("FILE");
        s->action = "ADD FILE";
        s->dataFiles = ParseFileSpecs();
        if (Accept("TO")) {
          Expect("FILEGROUP");
          s->group = Ident();
        }
      } else {
        Error();
      }
    } else if (Accept("REMOVE")) {
      if (Accept("FILEGROUP")) {
        s->action = "REMOVE FILEGROUP";
        s->group = Ident();
      } else {
        Expect("FILE");
        s->action = "REMOVE FILE";
        s->group = AnyName();
      }
    } else if (Accept("MODIFY")) {
      if (Accept("FILE")) {
        s->action = "MODIFY FILE";
        ExpectSym("(");
        s->dataFiles.push_back(ParseFileSpecBody());
        ExpectSym(")");
      } else if (Accept("FILEGROUP")) {
        s->action = "MODIFY FILEGROUP";
        s->group = Ident();
        if (Accept("DEFAULT")) s->disk = "DEFAULT";
        else AnyName();
      } else {
        Error();
      }
    } else if (Accept("SET")) {
      s->action = "SET";
      while (Peek().kind != TokenKind::End && !Peek().IsSymbol(";")) Next();
    } else {
      Error();
    }
    return s;
  }
  if (Peek().Is("VIEW") || Peek().Is("PROCEDURE") || Peek().Is("PROC") ||
      Peek().Is("FUNCTION") || Peek().Is("TRIGGER")) {
    auto m = ParseModule();
    return m;
  }
  Expect("TABLE");
  auto s = std::make_unique<AlterTableStmt>();
  s->table = ParseObjectName();
  if (Accept("WITH")) {
    if (Accept("NOCHECK")) {
      s->withNoCheck = true;
    } else {
      Expect("CHECK");
      s->withCheck = true;
    }
  }
  if (Accept("ADD")) {
    s->action = AlterTableStmt::AddItems;
    do {
      if (AtConstraintStart()) s->constraints.push_back(ParseConstraint(""));
      else s->columns.push_back(ParseColumnDef());
    } while (AcceptSym(","));
  } else if (Accept("ALTER")) {
    Expect("COLUMN");
    s->action = AlterTableStmt::AlterColumn;
    s->columns.push_back(ParseColumnDef());
  } else if (Accept("DROP")) {
    if (Accept("COLUMN")) {
      s->action = AlterTableStmt::DropColumns;
      do s->names.push_back(Ident());
      while (AcceptSym(",") && (Accept("COLUMN") || true));
    } else {
      Accept("CONSTRAINT");
      s->action = AlterTableStmt::DropConstraints;
      do {
        Accept("CONSTRAINT");
        s->names.push_back(Ident());
      } while (AcceptSym(","));
    }
  } else if (Peek().Is("NOCHECK") || Peek().Is("CHECK")) {
    s->action = AlterTableStmt::CheckConstraints;
    s->enableConstraints = Accept("CHECK");
    if (!s->enableConstraints) Expect("NOCHECK");
    Expect("CONSTRAINT");
    if (!Accept("ALL")) {
      do s->names.push_back(Ident());
      while (AcceptSym(","));
    }
  } else {
    Error();
  }
  return s;
}

StatementPtr Parser::ParseDrop() {
  Next();
  auto s = std::make_unique<DropStmt>(Statement::kDropTable);
  const Token& t = Peek();
  if (t.Is("TABLE")) s->what = "TABLE";
  else if (t.Is("VIEW")) s->what = "VIEW";
  else if (t.Is("PROCEDURE") || t.Is("PROC")) s->what = "PROCEDURE";
  else if (t.Is("FUNCTION")) s->what = "FUNCTION";
  else if (t.Is("TRIGGER")) s->what = "TRIGGER";
  else if (t.Is("INDEX")) s->what = "INDEX";
  else if (t.Is("DATABASE")) s->what = "DATABASE";
  else if (t.Is("DEFAULT")) s->what = "DEFAULT";
  else if (t.Is("RULE")) s->what = "RULE";
  else Error();
  Next();
  if (s->what == "DATABASE") {
    auto d = std::make_unique<DatabaseStmt>(Statement::kDropDatabase);
    d->db = Ident();
    return d;
  }
  if (s->what == "INDEX") {
    s->kind = Statement::kDropIndex;
    do {
      ObjectName n = ParseObjectName();
      if (n.owner.empty()) Error();
      ObjectName table;
      table.name = n.owner;
      table.owner = n.db;
      std::string index = n.name;
      if (Accept("ON")) {  // DROP INDEX name ON table
        table = ParseObjectName();
        index = n.name;
      }
      s->indexes.emplace_back(table, index);
    } while (AcceptSym(","));
    return s;
  }
  if (s->what != "TABLE") s->kind = Statement::kDropModule;
  do s->names.push_back(ParseObjectName());
  while (AcceptSym(","));
  return s;
}

StatementPtr Parser::ParseRestore() {
  Next();
  if (Accept("FILELISTONLY")) {
    auto s = std::make_unique<DatabaseStmt>(Statement::kRestoreFileList);
    s->disk = ParseDisk("FROM");
    SkipWithOptions();
    return s;
  }
  Expect("DATABASE");
  auto s = std::make_unique<DatabaseStmt>(Statement::kRestore);
  s->db = Ident();
  s->disk = ParseDisk("FROM");
  if (Accept("WITH")) {
    do {
      if (Accept("MOVE")) {
        if (Peek().kind != TokenKind::String) Error();
        std::string logical = Next().text;
        Expect("TO");
        if (Peek().kind != TokenKind::String) Error();
        s->moves.emplace_back(logical, Next().text);
      } else {
        AnyName();
        if (AcceptSym("=")) ParsePrimary();
      }
    } while (AcceptSym(","));
  }
  return s;
}

std::vector<StatementPtr> ParseBatch(const std::string& sql, bool quotedIdentifier) {
  Parser parser(sql, quotedIdentifier);
  return parser.ParseAll();
}

}  // namespace servers::sqlserver
