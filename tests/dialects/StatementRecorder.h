// A provider for the dialect tests that records what a dialect sends (connection strings and
// statements) and answers every statement with rows the test sets. It shows the texts the
// dialects write for servers that are not embedded yet; catalogue behaviour is checked on the
// embedded servers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/Text.h"
#include "platform/data/DataErrors.h"
#include "platform/data/Provider.h"

namespace dialect_test {

struct Recording {
  std::vector<std::string> connections;  // connection strings opened, without passwords
  std::vector<std::string> statements;
  ado::RowSet answer;   // the rows every statement returns
  bool refuse = false;  // every session refuses to open
  std::string refuseOpening;  // sessions whose connection string holds this text refuse to open
  std::string failing;        // statements that hold this text fail ...
  int failingPasses = 0;      // ... once this many of them have passed
  void Clear() {
    connections.clear();
    statements.clear();
    answer = {{{"value", ado::FieldType::ftString, 50}}, {}};
    refuse = false;
    refuseOpening.clear();
    failing.clear();
    failingPasses = 0;
  }
};

class RecordingSession : public ado::IProviderSession {
 public:
  explicit RecordingSession(Recording& log) : log_(log) {}
  std::vector<ado::StatementResult> Execute(const std::string& sql) override {
    log_.statements.push_back(sql);
    if (!log_.failing.empty() && sql.find(log_.failing) != std::string::npos &&
        log_.failingPasses-- <= 0) {
      throw ado::EOleException("Statement refused");
    }
    ado::StatementResult result;
    result.HasRows = true;
    result.Rows = log_.answer;
    return {result};
  }
  void BeginTrans() override {}
  void CommitTrans() override {}
  void RollbackTrans() override {}
  bool InTransaction() const override { return false; }
  ado::RowSet OpenSchema(ado::TSchemaInfo, const std::vector<ado::Variant>&) override {
    return {};
  }
  std::string CurrentDatabase() const override { return "recorded"; }

 private:
  Recording& log_;
};

// Answers the provider names given ("ASAProv", "StatementRecorder" ...).
class RecordingProvider : public ado::IProvider {
 public:
  RecordingProvider(Recording& log, std::vector<std::string> names)
      : log_(log), names_(std::move(names)) {}
  bool Accepts(const std::string& name) const override {
    for (const std::string& n : names_) {
      if (text::StartsWithText(name, n)) return true;
    }
    return false;
  }
  std::unique_ptr<ado::IProviderSession> Open(const ado::ConnectionString& cs) override {
    const std::string text = cs.ToStringWithoutPassword();
    log_.connections.push_back(text);
    const bool refused =
        !log_.refuseOpening.empty() && text.find(log_.refuseOpening) != std::string::npos;
    if (log_.refuse || refused) throw ado::EOleException("Database server not found");
    return std::make_unique<RecordingSession>(log_);
  }

 private:
  Recording& log_;
  std::vector<std::string> names_;
};

// The recording of this test program, cleared; the provider answers "StatementRecorder" and
// the Adaptive Server Anywhere provider's name.
inline Recording& FreshRecording() {
  static Recording log;
  static bool registered = false;
  if (!registered) {
    const std::vector<std::string> names = {"StatementRecorder", "ASAProv"};
    ado::ProviderRegistry::Instance().Register(std::make_unique<RecordingProvider>(log, names));
    registered = true;
  }
  log.Clear();
  return log;
}

inline constexpr const char* kRecorderConnection = "Provider=StatementRecorder";

}  // namespace dialect_test
