#include "servers/sqlserver/Tokenizer.h"

#include "servers/sqlserver/SqlError.h"

namespace servers::sqlserver {

namespace {

class SqlServerProfile : public TokenizerProfile {
 public:
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

std::vector<Token> Tokenize(const std::string& sql) {
  static const SqlServerProfile kProfile;
  return servers::Tokenize(sql, kProfile);
}

}  // namespace servers::sqlserver
