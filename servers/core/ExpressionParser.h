// The grammar the embedded servers share: a recursive-descent reader of object names, name
// lists, expressions and SELECT over a server's tokens. Each server's parser derives from it,
// adds its statements, its reserved words, its own primaries and its syntax errors.
#pragma once

#include <exception>
#include <initializer_list>
#include <string>
#include <vector>

#include "servers/core/Ast.h"
#include "servers/core/Tokenizer.h"

namespace servers {

std::string LowerName(std::string s);

class ExpressionParser {
 public:
  virtual ~ExpressionParser() = default;

 protected:
  ExpressionParser(const std::string& sql, std::vector<Token> tokens) : sql_(sql), toks_(std::move(tokens)) {}

  const std::string& sql_;
  std::vector<Token> toks_;
  size_t pos_ = 0;
  int depth_ = 0;  // nesting of expressions, queries and blocks

  // The server's syntax error at a token, and its refusal of too deep a nesting: each raises and
  // never returns.
  virtual void SyntaxError(const Token& t) const = 0;
  virtual void TooDeep() const = 0;
  [[noreturn]] void ErrorAt(const Token& t) const {
    SyntaxError(t);
    std::terminate();  // a server's SyntaxError always raises
  }
  [[noreturn]] void Nested() const {
    TooDeep();
    std::terminate();
  }
  // True for the server's reserved words (lower case): never a name unless quoted.
  virtual bool IsReserved(const std::string& lowerWord) const = 0;
  // A primary of the server's own (an expression form only it has), or nullptr.
  virtual ExprPtr ParseDialectPrimary() { return nullptr; }
  // True where "||" joins texts, among the additive operators.
  virtual bool ConcatenatesWithBars() const { return false; }

  // Counts one level of nesting for its lifetime; too deep a statement is refused, not
  // followed until the stack runs out.
  struct Nest {
    explicit Nest(ExpressionParser& p) : p_(p) {
      if (++p_.depth_ > 500) p_.Nested();
    }
    ~Nest() { --p_.depth_; }
    ExpressionParser& p_;
  };

  const Token& Peek(size_t ahead = 0) const {
    size_t i = pos_ + ahead;
    return i < toks_.size() ? toks_[i] : toks_.back();
  }
  const Token& Next();
  [[noreturn]] void Error() const { ErrorAt(Peek()); }
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
    return t.kind == TokenKind::Name && !IsReserved(LowerName(t.text));
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
  ExprPtr ParseBalanced(const char* word, ExprPtr (ExpressionParser::*operand)());
  // `operand` joined left to right by any of the symbols `ops`; refuses overlong chains.
  ExprPtr ParseLeftChain(std::initializer_list<const char*> ops, ExprPtr (ExpressionParser::*operand)());

  // A type name with its length and scale; common long forms ("double precision", "national
  // char", "character varying", "integer") read as their short names.
  virtual TypeSpec ParseType();

  ExprPtr ParsePrimary();

  // ---------------------------------------------------------------- SELECT
  std::unique_ptr<Select> ParseSelectBody();
  std::unique_ptr<Select> ParseSelectCore();
  std::vector<std::unique_ptr<TableRef>> ParseFromList();
  std::unique_ptr<TableRef> ParseJoined();
  std::unique_ptr<TableRef> ParseTablePrimary();
};

}  // namespace servers
