// Splits a T-SQL batch into tokens: names (plain, [bracketed] or "quoted"), string literals
// (with or without the N prefix), numbers, variables (@x, @@x) and operators. Comments and
// blanks are skipped; every token keeps its place so errors can name it. Also splits a written
// object name ("[dbo].[T]") into its parts.
#pragma once

#include <string>
#include <vector>

namespace servers::sqlserver {

enum class TokenKind { Name, QuotedName, String, Number, Variable, Symbol, End };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;   // the name without quotes, the string's value, the symbol itself
  size_t begin = 0;   // offset of the first character in the batch
  size_t end = 0;     // offset after the last character
  int line = 1;

  // True for an unquoted name equal to `word`, case ignored.
  bool Is(const char* word) const;
  bool IsSymbol(const char* symbol) const { return kind == TokenKind::Symbol && text == symbol; }
};

// Tokenizes the batch; an unclosed quote or bracket raises the server's error 105.
std::vector<Token> Tokenize(const std::string& sql);

// A written object name split at its dots, each part without its [brackets] or double quotes:
// "[dbo].[T]" -> {"dbo", "T"}. Always at least one part; a dot inside brackets stays in the part.
std::vector<std::string> SplitNameParts(const std::string& written);

}  // namespace servers::sqlserver
