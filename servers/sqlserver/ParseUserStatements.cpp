// Statements of the parser that users' own scripts bring: transactions and savepoints,
// RAISERROR, CHECKPOINT, UPDATE STATISTICS, DBCC CHECKIDENT, GRANT, REVOKE and DENY.
#include "servers/sqlserver/ParserInternal.h"
#include "servers/sqlserver/SqlError.h"

namespace servers::sqlserver {

StatementPtr Parser::ParseUserStatement() {
  const Token& t = Peek();
  if ((t.Is("BEGIN") && (Peek(1).Is("TRAN") || Peek(1).Is("TRANSACTION"))) || t.Is("COMMIT") ||
      t.Is("ROLLBACK") || t.Is("SAVE"))
    return ParseTransaction();
  if (t.Is("RAISERROR")) return ParseRaiserror();
  if (t.Is("CHECKPOINT")) {
    Next();
    return std::make_unique<SimpleStmt>(Statement::kNoOp);
  }
  if (t.Is("UPDATE") && Peek(1).Is("STATISTICS")) {
    Next();
    Next();
    auto s = std::make_unique<SimpleStmt>(Statement::kNoOp);
    s->table = ParseObjectName();
    if (IsIdent(Peek()) && !Peek(1).IsSymbol("=") && !Peek(1).IsSymbol("."))
      Next();  // one statistics or index name
    else if (Peek().IsSymbol("("))
      NameList();
    SkipWithOptions();
    return s;
  }
  if (t.Is("DBCC")) return ParseDbcc();
  if (t.Is("GRANT") || t.Is("REVOKE") || t.Is("DENY")) return ParsePermission();
  return nullptr;
}

StatementPtr Parser::ParseTransaction() {
  const Token& first = Next();
  Statement::Kind kind = first.Is("BEGIN") ? Statement::kBeginTran
                         : first.Is("COMMIT") ? Statement::kCommit
                         : first.Is("ROLLBACK") ? Statement::kRollback
                                                : Statement::kSaveTran;
  auto s = std::make_unique<TranStmt>(kind);
  bool keyword = Accept("TRAN") || Accept("TRANSACTION");
  if (kind == Statement::kSaveTran && !keyword) Error();
  if (!keyword && kind != Statement::kBeginTran) {
    Accept("WORK");
    return s;
  }
  // The name after TRAN: a word (not a keyword that starts the next statement) or a variable.
  if ((IsIdent(Peek()) && !Peek(1).IsSymbol(".") && !Peek(1).IsSymbol("(") &&
       !Peek(1).IsSymbol("=")) ||
      Peek().kind == TokenKind::Variable)
    s->name = Next().text;
  if (kind == Statement::kSaveTran && s->name.empty()) Error();
  return s;
}

StatementPtr Parser::ParseRaiserror() {
  Next();
  auto s = std::make_unique<RaiserrorStmt>();
  bool paren = AcceptSym("(");
  do s->args.push_back(ParseExpr());
  while (AcceptSym(","));
  if (paren) ExpectSym(")");
  if (s->args.size() < 3) Error();
  if (Accept("WITH")) {
    do {
      if (Accept("LOG")) s->withLog = true;
      else if (!Accept("NOWAIT") && !Accept("SETERROR")) Error();
    } while (AcceptSym(","));
  }
  return s;
}

StatementPtr Parser::ParseDbcc() {
  Next();
  if (!Peek().Is("CHECKIDENT"))
    Fail(2526, "Incorrect DBCC statement. Check the documentation for the correct DBCC syntax and options.");
  Next();
  auto s = std::make_unique<CheckIdentStmt>();
  ExpectSym("(");
  if (Peek().kind == TokenKind::String) {
    std::vector<std::string> parts = SplitNameParts(Next().text);
    s->table.name = parts.back();
    if (parts.size() >= 2) s->table.owner = parts[parts.size() - 2];
    if (parts.size() >= 3) s->table.db = parts[parts.size() - 3];
  } else {
    s->table = ParseObjectName();
  }
  if (AcceptSym(",")) {
    if (Accept("RESEED")) {
      s->option = "RESEED";
      if (AcceptSym(",")) s->value = ParseExpr();
    } else {
      Expect("NORESEED");
      s->option = "NORESEED";
    }
  }
  ExpectSym(")");
  SkipWithOptions();
  return s;
}

std::string Parser::ParsePermissionAction() {
  static const char* const kObjectActions[] = {"SELECT", "INSERT", "UPDATE", "DELETE", "REFERENCES",
                                               "EXECUTE", "EXEC"};
  for (const char* a : kObjectActions)
    if (Accept(a)) return std::string(a) == "EXEC" ? "EXECUTE" : a;
  if (Accept("ALL")) {
    Accept("PRIVILEGES");
    return "ALL";
  }
  if (Accept("CREATE")) {
    static const char* const kCreate[] = {"DATABASE", "DEFAULT", "FUNCTION", "PROCEDURE", "RULE", "TABLE", "VIEW"};
    for (const char* what : kCreate)
      if (Accept(what)) return std::string("CREATE ") + what;
    if (Accept("PROC")) return "CREATE PROCEDURE";
    Error();
  }
  if (Accept("BACKUP")) {
    if (Accept("DATABASE")) return "BACKUP DATABASE";
    Expect("LOG");
    return "BACKUP LOG";
  }
  Error();
}

StatementPtr Parser::ParsePermission() {
  auto s = std::make_unique<PermissionStmt>();
  s->verb = LowerName(Next().text) == "grant" ? "GRANT" : LowerName(toks_[pos_ - 1].text) == "deny" ? "DENY" : "REVOKE";
  if (s->verb == "REVOKE" && Peek().Is("GRANT") && Peek(1).Is("OPTION")) {
    Next();
    Next();
    Expect("FOR");
  }
  do {
    s->actions.push_back(ParsePermissionAction());
    if (Peek().IsSymbol("(")) s->columns = NameList();
  } while (AcceptSym(","));
  if (Accept("ON")) {
    s->object = ParseObjectName();
    if (Peek().IsSymbol("(")) s->columns = NameList();
  }
  if (!Accept("TO") && !(s->verb == "REVOKE" && Accept("FROM"))) Error();
  do s->grantees.push_back(AnyName());
  while (AcceptSym(","));
  if (s->verb == "GRANT" && Accept("WITH")) {
    Expect("GRANT");
    Expect("OPTION");
    s->withGrantOption = true;
  }
  Accept("CASCADE");
  if (Accept("AS")) AnyName();
  return s;
}

}  // namespace servers::sqlserver
