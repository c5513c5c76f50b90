// Dialects for the classifier tests: an owner that answers one current dialect, and the dialect
// of each server kind.
#pragma once

#include <memory>

#include "dialects/uDbSpecific.h"

namespace classifier_test {

class OneDialectOwner : public IDialectOwner {
 public:
  TDatabaseSpecific* Dialect = nullptr;
  TDatabaseSpecific* CurrentDialect() const override { return Dialect; }
  void ReportError(TDbContext, const std::string&, const std::string&) override {}
  std::string BackupErrorText() const override { return {}; }
};

// Stand-ins for the Adaptive Server Anywhere and Access dialects while those are not on this
// branch: the quote characters and the statement recognisers of each server.
class AsaDialect : public TSqlServerSpecific {
 public:
  explicit AsaDialect(IDialectOwner* owner) : TSqlServerSpecific(owner) {
    QuoteOpen = "\"";
    QuoteClose = "\"";
  }
  bool IsDbSpaceStatement(const std::string& sql, TInstructionKind& kind, std::string& name,
                          std::string& second) override {
    second.clear();
    if (text::StartsWithText(sql, "CREATE DBSPACE")) {
      kind = ikCreateDbSpace;
      const std::string rest = text::Trim(sql.substr(14));
      name = text::Trim(rest.substr(0, rest.find(' ')));
      for (const char* word : {" AS ", " AT "}) {
        const size_t p = text::FindText(rest, word);
        if (p != std::string::npos) second = text::Trim(rest.substr(p + 4));
      }
      return true;
    }
    if (text::StartsWithText(sql, "DROP DBSPACE")) {
      kind = ikDropDbSpace;
      name = text::Trim(sql.substr(12));
      return true;
    }
    return false;
  }
  bool IsUserStatement(const std::string& sql, TInstructionKind& kind, std::string& user,
                       std::string& second) override {
    second.clear();
    if (text::StartsWithText(sql, "GRANT CONNECT TO")) {
      kind = ikCreateUser;
      const size_t p = text::FindText(sql, "IDENTIFIED BY");
      user = text::Trim(sql.substr(16, p == std::string::npos ? std::string::npos : p - 16));
      if (p != std::string::npos) second = text::Trim(sql.substr(p + 13));
      return true;
    }
    if (text::StartsWithText(sql, "REVOKE CONNECT FROM")) {
      kind = ikDropUser;
      user = text::Trim(sql.substr(19));
      return true;
    }
    return false;
  }
};

class AccessDialect : public TSqlServerSpecific {
 public:
  explicit AccessDialect(IDialectOwner* owner) : TSqlServerSpecific(owner) {}
  bool IsDbSpaceStatement(const std::string& sql, TInstructionKind& kind, std::string& name,
                          std::string& second) override {
    return TDatabaseSpecific::IsDbSpaceStatement(sql, kind, name, second);
  }
  bool IsUserStatement(const std::string& sql, TInstructionKind& kind, std::string& user,
                       std::string& second) override {
    return TDatabaseSpecific::IsUserStatement(sql, kind, user, second);
  }
};

inline std::unique_ptr<TDatabaseSpecific> MakeDialect(TDbType kind, IDialectOwner* owner) {
  switch (kind) {
    case dbtAsa: return std::make_unique<AsaDialect>(owner);
    case dbtAccess: return std::make_unique<AccessDialect>(owner);
    default: return std::make_unique<TSqlServerSpecific>(owner);
  }
}

}  // namespace classifier_test
