// OLE DB connection strings ("key=value;key=value"): keys ignore case, values may be quoted
// with double or single quotes, and "Provider" picks the provider.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ado {

class ConnectionString {
 public:
  ConnectionString() = default;
  explicit ConnectionString(const std::string& text);

  // The value of `key` (case ignored, surrounding blanks trimmed), or "" when absent.
  std::string Get(const std::string& key) const;
  bool Has(const std::string& key) const;
  void Set(const std::string& key, const std::string& value);
  const std::string& Provider() const;

  const std::vector<std::pair<std::string, std::string>>& Items() const { return items_; }
  // The string again, "key=value" pairs joined by ";".
  std::string ToString() const;
  // The string with the password's value replaced, for logs and messages.
  std::string ToStringWithoutPassword() const;
  // `message` with the value of every "password=" or "pwd=" written in it (the providers' own
  // password keys included, and a key the string did not parse, for want of a ";"), and this
  // string's password where the message repeats it as a word of its own (four characters or
  // more), shown as "*****"; every other character stays as it is.
  std::string MaskPasswords(const std::string& message) const;

 private:
  std::vector<std::pair<std::string, std::string>> items_;
  std::string provider_;
};

}  // namespace ado
