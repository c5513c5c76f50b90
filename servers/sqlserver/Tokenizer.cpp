#include "servers/sqlserver/Tokenizer.h"

#include "servers/sqlserver/SqlError.h"

namespace servers::sqlserver {

namespace {

class SqlServerProfile : public TokenizerProfile {
 public:
  explicit SqlServerProfile(bool quotedIdentifier) { doubleQuotedStrings = !quotedIdentifier; }
  [[noreturn]] void Unclosed(int line, const std::string& rest) const override {
    Fail(105, "Line " + std::to_string(line) + ": Unclosed quotation mark before the character string '" + rest + "'.");
  }
  [[noreturn]] void NulCharacter(int line) const override {
    Fail(170, "Line " + std::to_string(line) + ": Incorrect syntax near the character 0x00.");
  }
  [[noreturn]] void UnclosedComment(int) const override { Fail(113, "Missing end comment mark '*/'."); }
  [[noreturn]] void NameTooLong(int line, const std::string& start) const override {
    Fail(103, "Line " + std::to_string(line) + ": The identifier that starts with '" + start +
                  "' is too long. Maximum length is 128.");
  }
};

}  // namespace

std::vector<Token> Tokenize(const std::string& sql, bool quotedIdentifier) {
  static const SqlServerProfile kNames(true), kStrings(false);
  std::vector<Token> tokens = servers::Tokenize(sql, quotedIdentifier ? kNames : kStrings);
  for (size_t i = 0; i + 2 < tokens.size(); ++i) {
    if (!tokens[i].Is("SET")) continue;
    // SET names its options separated by commas, then ON or OFF.
    bool named = false;
    size_t at = i + 1;
    for (; at + 1 < tokens.size(); at += 2) {
      named = named || tokens[at].Is("QUOTED_IDENTIFIER");
      if (!tokens[at + 1].IsSymbol(",")) break;
    }
    ++at;
    if (!named || at >= tokens.size()) continue;
    const bool on = tokens[at].Is("ON");
    if ((!on && !tokens[at].Is("OFF")) || on == quotedIdentifier) continue;
    // The rest read again under the new setting; the text before it blanked, its line breaks
    // kept, so that places and lines stay those of the batch.
    const size_t cut = tokens[at].end;
    std::string rest = sql;
    for (size_t k = 0; k < cut; ++k)
      if (rest[k] != '\n') rest[k] = ' ';
    tokens.resize(at + 1);
    for (Token& t : Tokenize(rest, on)) tokens.push_back(std::move(t));
    break;
  }
  return tokens;
}

}  // namespace servers::sqlserver
