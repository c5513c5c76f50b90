// The batch-file factory's command line, written and read the way `sh` reads it.
#include "app/BatFactory.h"

#include <cctype>
#include <filesystem>
#include <string_view>
#include <vector>

#include "common/Text.h"

namespace batfactory {

namespace {

bool NeedsEscape(char c) { return c == '"' || c == '$' || c == '`' || c == '\\'; }

// A value inside double quotes: the four characters `sh` still reads there escaped.
std::string Quoted(const std::string& aValue) {
  std::string out = "\"";
  for (char c : aValue) {
    if (NeedsEscape(c)) out += '\\';
    out += c;
  }
  return out + "\"";
}

// A program path `sh` takes as one word unchanged: letters, digits and a few safe marks only.
bool PlainWord(const std::string& aWord) {
  if (aWord.empty()) return false;
  for (unsigned char c : aWord) {
    const bool safe = std::isalnum(c) != 0 || std::string_view("_./+-:,@%").find(static_cast<char>(c)) != std::string_view::npos;
    if (!safe) return false;
  }
  return true;
}

// The words of a text as `sh` splits them: blanks, tabs and line ends separate; double quotes
// group with \ escaping `"`, `$`, backquote, backslash (and a line end); single quotes group
// literally; outside quotes a backslash takes the next character as it is.
std::vector<std::string> Words(const std::string& aText) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (size_t i = 0; i < aText.size(); ++i) {
    const char c = aText[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '\\' && i + 1 < aText.size()) {
      word += aText[++i];
    } else if (c == '"') {
      for (++i; i < aText.size() && aText[i] != '"'; ++i) {
        if (aText[i] == '\\' && i + 1 < aText.size() && (NeedsEscape(aText[i + 1]) || aText[i + 1] == '\n')) ++i;
        word += aText[i];
      }
    } else if (c == '\'') {
      for (++i; i < aText.size() && aText[i] != '\''; ++i) word += aText[i];
    } else {
      word += c;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

}  // namespace

std::string BatchLine(const std::string& aProgram, const std::string& aConnection, const std::string& aPackage,
                      bool aRelative) {
  namespace fs = std::filesystem;
  std::string program = aRelative ? "./" + fs::path(aProgram).filename().string() : aProgram;
  const std::string package = aRelative ? fs::path(aPackage).filename().string() : aPackage;
  if (!PlainWord(program)) program = Quoted(program);
  return program + " " + Quoted("connection=" + aConnection) + " " + Quoted("upd=" + package);
}

TBatchValues ParseBatchText(const std::string& aText) {
  TBatchValues values;
  bool haveConnection = false, havePackage = false;
  for (const std::string& word : Words(aText)) {
    const size_t eq = word.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = word.substr(0, eq);
    if (!haveConnection && text::SameText(name, "connection")) {
      values.connection = word.substr(eq + 1);
      haveConnection = true;
    } else if (!havePackage && text::SameText(name, "upd")) {
      values.package = word.substr(eq + 1);
      havePackage = true;
    }
  }
  return values;
}

}  // namespace batfactory
