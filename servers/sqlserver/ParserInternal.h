// The parser's own layout: the recursive-descent Parser class shared by the expression and
// statement halves (ParseExpressions.cpp, Parser.cpp). Internal to the server.
#pragma once

#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "servers/sqlserver/Ast.h"
#include "servers/sqlserver/SqlError.h"
#include "servers/sqlserver/Tokenizer.h"

namespace servers::sqlserver {

std::string LowerName(std::string s);
// Words that end an expression or a name list and never serve as an alias.
const std::set<std::string>& ReservedWords();

class Parser {
 public:
  explicit Parser(const std::string& sql) : sql_(sql), toks_(Tokenize(sql)) {}

  std::vector<StatementPtr> ParseAll();

 private:
  const std::string& sql_;
  std::vector<Token> toks_;
  size_t pos_ = 0;
  int depth_ = 0;  // nesting of expressions, queries and blocks
  int statements_ = 0;  // statements begun so far, nested ones included

  // Counts one level of nesting for its lifetime; too deep a statement is refused, not
  // followed until the stack runs out.
  [[noreturn]] static void Nested() {
    Fail(191, "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into smaller queries.");
  }
  struct Nest {
    explicit Nest(Parser& p) : p_(p) {
      if (++p_.depth_ > 500) Nested();
    }
    ~Nest() { --p_.depth_; }
    Parser& p_;
  };

  const Token& Peek(size_t ahead = 0) const {
    size_t i = pos_ + ahead;
    return i < toks_.size() ? toks_[i] : toks_.back();
  }
  const Token& Next();
  [[noreturn]] void Error() const { ErrorAt(Peek()); }
  [[noreturn]] void ErrorAt(const Token& t) const;
  bool Accept(const char* word);
  bool AcceptSym(const char* s);
  void Expect(const char* word) {
    if (!Accept(word)) Error();
  }
  void ExpectSym(const char* s) {
    if (!AcceptSym(s)) Error();
  }
  size_t PrevEnd() const { return pos_ > 0 ? toks_[pos_ - 1].end : 0; }

  bool IsIdent(const Token& t) const {
    if (t.kind == TokenKind::QuotedName) return true;
    return t.kind == TokenKind::Name && !ReservedWords().count(LowerName(t.text));
  }
  // Any name, reserved words included (after a dot, in column lists).
  bool IsAnyName(const Token& t) const {
    return t.kind == TokenKind::QuotedName || t.kind == TokenKind::Name;
  }
  std::string Ident() {
    if (!IsIdent(Peek())) Error();
    return Next().text;
  }
  std::string AnyName() {
    if (!IsAnyName(Peek())) Error();
    return Next().text;
  }

  // server.db.owner.name with empty parts ("db..name").
  ObjectName ParseObjectName();

  // A parenthesised name list; `descending` (may be null) receives each name's DESC.
  std::vector<std::string> NameList(std::vector<bool>* descending = nullptr);

  // ---------------------------------------------------------------- expressions
  ExprPtr Make(Expr::Kind k, size_t begin);
  void Close(Expr& e) { e.end = PrevEnd(); }

  ExprPtr ParseExpr() {
    Nest nest(*this);
    return ParseOr();
  }

  ExprPtr ParseOr();
  ExprPtr ParseAnd();
  ExprPtr ParseNot();
  ExprPtr ParsePredicate();
  ExprPtr ParseAdditive();
  ExprPtr ParseMultiplicative();
  ExprPtr ParseUnary();
  // `operand` joined by the keyword `word` (AND, OR) as a balanced tree.
  ExprPtr ParseBalanced(const char* word, ExprPtr (Parser::*operand)());
  // `operand` joined left to right by any of the symbols `ops`; refuses overlong chains.
  ExprPtr ParseLeftChain(std::initializer_list<const char*> ops, ExprPtr (Parser::*operand)());

  TypeSpec ParseType();

  ExprPtr ParsePrimary();

  // ---------------------------------------------------------------- SELECT
  std::unique_ptr<Select> ParseSelectBody();

  std::unique_ptr<Select> ParseSelectCore();

  std::vector<std::unique_ptr<TableRef>> ParseFromList();

  std::unique_ptr<TableRef> ParseJoined();

  std::unique_ptr<TableRef> ParseTablePrimary();

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
