#include "servers/core/Tokenizer.h"

#include <strings.h>

#include <cctype>

#include "common/Text.h"

namespace servers {

bool Token::Is(const char* word) const {
  return kind == TokenKind::Name && strcasecmp(text.c_str(), word) == 0;
}

namespace {

bool IsNameStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '#' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsNameChar(char c) {
  return IsNameStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$' || c == '@';
}

// Reads the quoted text whose opening quote is at `open`, up to `close` (a doubled `close`
// stands for itself); returns the offset of the closing quote. Counts the lines it crosses.
size_t ReadQuoted(const std::string& sql, size_t open, char close, int& line, std::string& value,
                  const TokenizerProfile& profile) {
  const size_t n = sql.size();
  size_t k = open + 1;
  for (;;) {
    if (k >= n) profile.Unclosed(line, sql.substr(open + 1));
    if (sql[k] == close) {
      if (k + 1 < n && sql[k + 1] == close) {
        value += close;
        k += 2;
        continue;
      }
      return k;
    }
    if (sql[k] == '\n') ++line;
    value += sql[k++];
  }
}

// Names hold at most the profile's length, counted as characters or as bytes; the refusal
// quotes the whole characters that fit.
void CheckNameLength(int line, const std::string& name, const TokenizerProfile& profile) {
  if (text::Utf8Length(name, profile.nameLengthInBytes) <= profile.maxNameLength) return;
  profile.NameTooLong(line, std::string(text::Utf8Start(name, profile.maxNameLength, profile.nameLengthInBytes)));
}

}  // namespace

std::vector<Token> Tokenize(const std::string& sql, const TokenizerProfile& profile) {
  std::vector<Token> tokens;
  size_t i = 0;
  int line = 1;
  const size_t n = sql.size();
  while (i < n) {
    char c = sql[i];
    if (c == '\0') profile.NulCharacter(line);
    if (c == '\n') {
      ++line;
      ++i;
      continue;
    }
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      size_t close = sql.find("*/", i + 2);
      if (close == std::string::npos) profile.UnclosedComment(line);
      for (size_t k = i; k < close; ++k)
        if (sql[k] == '\n') ++line;
      i = close + 2;
      continue;
    }
    Token t;
    t.begin = i;
    t.line = line;
    if (profile.nationalStrings && (c == 'N' || c == 'n') && i + 1 < n && sql[i + 1] == '\'') {
      ++i;
      c = '\'';
    }
    if (c == '\'' || (c == '"' && profile.doubleQuotedStrings)) {
      t.kind = TokenKind::String;
      i = ReadQuoted(sql, i, c, line, t.text, profile) + 1;
    } else if (c == '#' && profile.hashDates) {
      t.kind = TokenKind::String;
      t.date = true;
      i = ReadQuoted(sql, i, '#', line, t.text, profile) + 1;
    } else if ((c == '[' && profile.bracketNames) || c == '"') {
      t.kind = TokenKind::QuotedName;
      i = ReadQuoted(sql, i, c == '[' ? ']' : '"', line, t.text, profile) + 1;
      // A name holds no NUL character; a string may.
      if (t.text.find('\0') != std::string::npos) profile.NulCharacter(t.line);
    } else if (profile.moneyLiterals && c == '$' && i + 1 < n &&
               (std::isdigit(static_cast<unsigned char>(sql[i + 1])) || sql[i + 1] == '.')) {
      // A money literal with its currency sign ("$19.99") is the number it writes.
      size_t k = i + 1;
      while (k < n && (std::isdigit(static_cast<unsigned char>(sql[k])) || sql[k] == '.')) ++k;
      t.kind = TokenKind::Number;
      t.text = sql.substr(i + 1, k - i - 1);
      i = k;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
      size_t k = i;
      if (c == '0' && i + 1 < n && (sql[i + 1] == 'x' || sql[i + 1] == 'X')) {
        k += 2;
        while (k < n && std::isxdigit(static_cast<unsigned char>(sql[k]))) ++k;
      } else {
        while (k < n && (std::isdigit(static_cast<unsigned char>(sql[k])) || sql[k] == '.')) ++k;
        if (k < n && (sql[k] == 'e' || sql[k] == 'E')) {
          size_t e = k + 1;
          if (e < n && (sql[e] == '+' || sql[e] == '-')) ++e;
          if (e < n && std::isdigit(static_cast<unsigned char>(sql[e]))) {
            k = e;
            while (k < n && std::isdigit(static_cast<unsigned char>(sql[k]))) ++k;
          }
        }
      }
      t.kind = TokenKind::Number;
      t.text = sql.substr(i, k - i);
      i = k;
    } else if (c == '@' && profile.variables) {
      size_t k = i + 1;
      while (k < n && IsNameChar(sql[k])) ++k;
      t.kind = TokenKind::Variable;
      t.text = sql.substr(i, k - i);
      i = k;
    } else if (IsNameStart(c)) {
      size_t k = i;
      while (k < n && IsNameChar(sql[k])) ++k;
      t.kind = TokenKind::Name;
      t.text = sql.substr(i, k - i);
      i = k;
    } else {
      static const char* const kTwo[] = {"<>", "!=", "<=", ">=", "!<", "!>"};
      t.kind = TokenKind::Symbol;
      t.text = std::string(1, c);
      for (const char* two : kTwo)
        if (i + 1 < n && sql[i] == two[0] && sql[i + 1] == two[1]) t.text = two;
      i += t.text.size();
    }
    if (t.kind == TokenKind::QuotedName || t.kind == TokenKind::Name || t.kind == TokenKind::Variable)
      CheckNameLength(t.line, t.text, profile);
    t.end = i;
    tokens.push_back(std::move(t));
  }
  Token end;
  end.kind = TokenKind::End;
  end.begin = end.end = n;
  end.line = line;
  tokens.push_back(end);
  return tokens;
}

std::vector<std::string> SplitNameParts(const std::string& written) {
  std::vector<std::string> parts;
  std::string cur;
  bool bracket = false;
  for (char c : written) {
    if (bracket) {
      if (c == ']') bracket = false;
      else cur += c;
    } else if (c == '[') {
      bracket = true;
    } else if (c == '.') {
      parts.push_back(cur);
      cur.clear();
    } else if (c != '"') {
      cur += c;
    }
  }
  parts.push_back(cur);
  return parts;
}

}  // namespace servers
