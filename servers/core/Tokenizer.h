// Splits a batch of SQL into tokens: names (plain, [bracketed] or "quoted"), string literals,
// numbers, variables (@x, @@x) and operators. Comments and blanks are skipped; every token keeps
// its place so errors can name it. What a server's dialect allows (brackets, N'..', variables,
// money literals) and the errors it raises come from its profile. Also splits a written object
// name ("[dbo].[T]") into its parts.
#pragma once

#include <string>
#include <vector>

namespace servers {

enum class TokenKind { Name, QuotedName, String, Number, Variable, Symbol, End };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;   // the name without quotes, the string's value, the symbol itself
  size_t begin = 0;   // offset of the first character in the batch
  size_t end = 0;     // offset after the last character
  int line = 1;
  bool date = false;  // a #date# literal of a profile with hashDates (kind String)

  // True for an unquoted name equal to `word`, case ignored.
  bool Is(const char* word) const;
  bool IsSymbol(const char* symbol) const { return kind == TokenKind::Symbol && text == symbol; }
};

// A server's lexical rules and the refusals it gives for text it cannot read; each refusal
// raises the server's own error and does not return.
class TokenizerProfile {
 public:
  virtual ~TokenizerProfile() = default;
  bool bracketNames = true;     // [name]
  bool nationalStrings = true;  // N'text'
  bool variables = true;        // @x and @@x
  bool moneyLiterals = true;    // $19.99
  bool doubleQuotedStrings = false;  // "text" is a string, not a name
  bool hashDates = false;            // #2024-03-05# is a date literal
  size_t maxNameLength = 128;   // in characters
  bool nameLengthInBytes = false;  // maxNameLength counts UTF-8 bytes instead
  // A quote or bracket opened on `line` and never closed; `rest` is the text after it.
  [[noreturn]] virtual void Unclosed(int line, const std::string& rest) const = 0;
  // A NUL character outside a string.
  [[noreturn]] virtual void NulCharacter(int line) const = 0;
  // A "/*" comment without its "*/".
  [[noreturn]] virtual void UnclosedComment(int line) const = 0;
  // A name longer than maxNameLength; `start` is as much of it as fits.
  [[noreturn]] virtual void NameTooLong(int line, const std::string& start) const = 0;
};

// Tokenizes the batch under the profile's rules.
std::vector<Token> Tokenize(const std::string& sql, const TokenizerProfile& profile);

// A written object name split at its dots, each part without its [brackets] or double quotes:
// "[dbo].[T]" -> {"dbo", "T"}. Always at least one part; a dot inside brackets stays in the part.
std::vector<std::string> SplitNameParts(const std::string& written);

}  // namespace servers
