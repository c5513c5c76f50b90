#include "platform/data/ConnectionString.h"

#include <cctype>

#include "common/Text.h"

namespace ado {

namespace {

// The value of the first item whose key is aKey ignoring case; nullptr when there is none.
const std::string* FindValue(const std::vector<std::pair<std::string, std::string>>& aItems,
                             const std::string& aKey) {
  for (const auto& [k, v] : aItems) {
    if (text::SameText(k, aKey)) return &v;
  }
  return nullptr;
}

}  // namespace

ConnectionString::ConnectionString(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const size_t eq = s.find('=', i);
    if (eq == std::string::npos) break;
    // A piece without "=" is skipped whole, so that it does not swallow the key after it.
    const size_t stray = s.find(';', i);
    if (stray < eq) {
      i = stray + 1;
      continue;
    }
    std::string key = text::Trim(s.substr(i, eq - i));
    size_t j = eq + 1;
    while (j < s.size() && (s[j] == ' ' || s[j] == '\t')) ++j;
    std::string value;
    if (j < s.size() && (s[j] == '"' || s[j] == '\'')) {
      // An unterminated value takes the rest of the string.
      const size_t end = text::ReadQuoted(s, j, value);
      const size_t semi = end == std::string::npos ? end : s.find(';', end);
      i = semi == std::string::npos ? s.size() : semi + 1;
    } else {
      const size_t semi = s.find(';', j);
      const size_t end = semi == std::string::npos ? s.size() : semi;
      value = text::Trim(s.substr(j, end - j));
      i = semi == std::string::npos ? s.size() : semi + 1;
    }
    if (!key.empty()) Set(key, value);
  }
}

std::string ConnectionString::Get(const std::string& key) const {
  const std::string* value = FindValue(items_, key);
  return value != nullptr ? *value : std::string();
}

bool ConnectionString::Has(const std::string& key) const { return FindValue(items_, key) != nullptr; }

void ConnectionString::Set(const std::string& key, const std::string& value) {
  bool found = false;
  for (auto& kv : items_) {
    if (text::SameText(kv.first, key)) {
      kv.second = value;
      found = true;
    }
  }
  if (!found) items_.emplace_back(key, value);
  if (text::SameText(key, "Provider")) provider_ = value;
}

const std::string& ConnectionString::Provider() const { return provider_; }

namespace {

std::string QuoteIfNeeded(const std::string& v) {
  if (v.find(';') == std::string::npos && v.find('"') == std::string::npos &&
      (v.empty() || (v.front() != ' ' && v.back() != ' ' && v.front() != '\''))) {
    return v;
  }
  std::string quoted = "\"";
  quoted += text::ReplaceAll(v, "\"", "\"\"");
  quoted += '"';
  return quoted;
}

// "Password", "PWD" and the providers' own password keys ("Jet OLEDB:Database Password").
bool IsPasswordKey(const std::string& k) {
  const std::string key = text::Trim(k);
  return text::SameText(key, "PWD") || text::EndsWithText(key, "Password");
}

// Masks the value after every `key` followed by "=" in `message`: a quoted value up to its closing
// quote (doubled quotes inside it, and ";", belong to the value), any other up to the next ";" or
// line end.
void MaskKeyValues(std::string& message, std::string_view key) {
  size_t p = 0;
  while ((p = text::FindText(message, key, p)) != std::string::npos) {
    size_t q = p + key.size();
    while (q < message.size() && (message[q] == ' ' || message[q] == '\t')) ++q;
    if (q >= message.size() || message[q] != '=') {
      p = q;
      continue;
    }
    ++q;
    while (q < message.size() && (message[q] == ' ' || message[q] == '\t')) ++q;
    size_t end = std::string::npos;
    if (q < message.size() && (message[q] == '"' || message[q] == '\'')) {
      std::string value;
      end = text::ReadQuoted(message, q, value);
    } else {
      end = message.find_first_of(";\r\n", q);
    }
    if (end == std::string::npos) end = message.size();
    message.replace(q, end - q, "*****");
    p = q + 5;
  }
}

// Masks `value` where `message` repeats it as a word of its own (no letter or digit beside it), as
// a provider's message may. A value shorter than kShortestWord is left to MaskKeyValues: as a word
// it would hide the message's own words, and inside words it would garble them.
constexpr size_t kShortestWord = 4;

void MaskWordValue(std::string& message, const std::string& value) {
  if (value.size() < kShortestWord) return;
  const auto wordChar = [&message](size_t at) { return std::isalnum(static_cast<unsigned char>(message[at])) != 0; };
  size_t p = 0;
  while ((p = message.find(value, p)) != std::string::npos) {
    const size_t end = p + value.size();
    if ((p == 0 || !wordChar(p - 1)) && (end >= message.size() || !wordChar(end))) {
      message.replace(p, value.size(), "*****");
      p += 5;
    } else {
      ++p;
    }
  }
}

// The items as "key=value" pairs joined by ";", values quoted where needed; with aMaskPasswords
// the password's value shows as "*****".
std::string Render(const std::vector<std::pair<std::string, std::string>>& aItems,
                   bool aMaskPasswords) {
  std::string r;
  for (const auto& [k, v] : aItems) {
    if (!r.empty()) r += ";";
    r += k;
    r += '=';
    r += aMaskPasswords && IsPasswordKey(k) ? std::string("*****") : QuoteIfNeeded(v);
  }
  return r;
}

}  // namespace

std::string ConnectionString::ToString() const { return Render(items_, false); }

std::string ConnectionString::ToStringWithoutPassword() const { return Render(items_, true); }

std::string ConnectionString::MaskPasswords(const std::string& message) const {
  std::string out = message;
  for (const auto& [k, v] : items_) {
    if (IsPasswordKey(k)) MaskWordValue(out, v);
  }
  MaskKeyValues(out, "password");
  MaskKeyValues(out, "pwd");
  return out;
}

}  // namespace ado
