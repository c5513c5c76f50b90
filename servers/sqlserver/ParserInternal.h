// The T-SQL parser: the shared grammar of expressions and queries with the server's statements
// (Parser.cpp, ParseUserStatements.cpp). Internal to the server.
#pragma once

#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "servers/core/ExpressionParser.h"
#include "servers/sqlserver/Ast.h"
#include "servers/sqlserver/SqlError.h"
#include "servers/sqlserver/Tokenizer.h"

namespace servers::sqlserver {

// Words that end an expression or a name list and never serve as an alias.
const std::set<std::string>& ReservedWords();

class Parser : public ExpressionParser {
 public:
  Parser(const std::string& sql, bool quotedIdentifier) : ExpressionParser(sql, Tokenize(sql, quotedIdentifier)) {}

  std::vector<StatementPtr> ParseAll();

 private:
  int statements_ = 0;  // statements begun so far, nested ones included

  [[noreturn]] void SyntaxError(const Token& t) const override;
  [[noreturn]] void TooDeep() const override;
  bool IsReserved(const std::string& lowerWord) const override;

  // ---------------------------------------------------------------- statements
  StatementPtr ParseStatement();

  StatementPtr ParseStatementBody();

  void SkipWithOptions();
  // "<preposition> DISK = 'file'": the file's text.
  std::string ParseDisk(const char* preposition);

  StatementPtr ParseProcCall();
  bool IsArgStart(const Token& t) const;

  StatementPtr ParseSet();

  StatementPtr ParseInsert();

  StatementPtr ParseUpdate();

  StatementPtr ParseDelete();

  // Source text of an expression as the catalogue keeps it: wrapped in parentheses.
  std::string ExprText(const Expr& e);

  // A filegroup name after ON or TEXTIMAGE_ON: a name (reserved words quoted), a string or
  // DEFAULT.
  std::string FileGroupName();
  std::string OnClause();

  ConstraintDef ParseConstraint(const std::string& column);

  bool AtConstraintStart() const;

  ColumnDef ParseColumnDef();

  int64_t ParseSignedInt();

  StatementPtr ParseCreate();

  std::vector<FileSpec> ParseFileSpecs();
  FileSpec ParseFileSpecBody();

  StatementPtr ParseModule();

  StatementPtr ParseAlter();

  StatementPtr ParseDrop();

  StatementPtr ParseRestore();

  // Transactions and savepoints, RAISERROR, CHECKPOINT, UPDATE STATISTICS, DBCC, GRANT, REVOKE
  // and DENY; nullptr when the statement is none of these (ParseUserStatements.cpp).
  StatementPtr ParseUserStatement();
  StatementPtr ParseTransaction();
  StatementPtr ParseRaiserror();
  StatementPtr ParseDbcc();
  StatementPtr ParsePermission();
  std::string ParsePermissionAction();
};

}  // namespace servers::sqlserver
