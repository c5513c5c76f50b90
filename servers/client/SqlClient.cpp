#include "servers/client/SqlClient.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "common/Text.h"
#include "platform/data/DataErrors.h"
#include "platform/data/Provider.h"
#include "servers/client/ResultTable.h"
#include "servers/client/SqlBatches.h"

namespace sqlclient {

namespace {

struct Options {
  std::string connection;
  std::string inputFile;
  std::string query;
  bool hasQuery = false;
  bool stopOnError = false;
  bool createDatabase = false;
  bool createServer = false;
};

const char* const kUsage =
    "usage: schemion-sql -c \"<connection string>\" [-i script.sql] [-q \"statement\"] [-b] [-n] [-s]\n";

// Parses the arguments; returns false (with a message on err) when they are wrong.
bool ParseArgs(const std::vector<std::string>& args, Options& o, std::ostream& err) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) {
        err << "schemion-sql: option " << a << " needs a value\n" << kUsage;
        return false;
      }
      into = args[++i];
      return true;
    };
    if (a == "-c") {
      if (!value(o.connection)) return false;
    } else if (a == "-i") {
      if (!value(o.inputFile)) return false;
    } else if (a == "-q") {
      if (!value(o.query)) return false;
      o.hasQuery = true;
    } else if (a == "-b") {
      o.stopOnError = true;
    } else if (a == "-n") {
      o.createDatabase = true;
    } else if (a == "-s") {
      o.createServer = true;
    } else {
      err << "schemion-sql: unknown option " << a << "\n" << kUsage;
      return false;
    }
  }
  if (o.connection.empty()) {
    err << "schemion-sql: a connection string (-c) is required\n" << kUsage;
    return false;
  }
  if (o.hasQuery && !o.inputFile.empty()) {
    err << "schemion-sql: give either -i or -q, not both\n" << kUsage;
    return false;
  }
  return true;
}

bool ReadScript(const Options& o, std::istream& in, std::string& script, std::ostream& err) {
  if (o.hasQuery) {
    script = o.query;
    return true;
  }
  // Making a server is a step of its own: it reads no statements from the console.
  if (o.createServer && o.inputFile.empty()) return true;
  std::ostringstream buf;
  if (!o.inputFile.empty()) {
    std::error_code ec;
    std::ifstream f;
    // A folder opens as a stream on this system and reads as empty: it is no script.
    if (!std::filesystem::is_directory(o.inputFile, ec)) f.open(o.inputFile, std::ios::binary);
    if (!f.is_open()) {
      err << "schemion-sql: cannot read the script file " << o.inputFile << "\n";
      return false;
    }
    buf << f.rdbuf();
  } else {
    buf << in.rdbuf();
  }
  // Scripts saved by the era's query tools are UTF-16 with a byte-order mark.
  script = text::TextOfFile(buf.str());
  return true;
}

void PrintResults(const std::vector<ado::StatementResult>& results, std::ostream& out) {
  for (const ado::StatementResult& r : results) {
    if (!r.Message.empty()) {
      out << r.Message << '\n';
    } else if (r.HasRows) {
      PrintRowSet(r.Rows, out, r.Counted);
      out << '\n';
    } else if (r.RowsAffected >= 0) {
      out << '(' << r.RowsAffected << (r.RowsAffected == 1 ? " row" : " rows") << " affected)\n";
    }
  }
}

// Reports a failed batch. A server that grades its errors is quoted as its own tools do:
// "Msg 208, Level 16, State 1, Line 3", then the text (without the "Line n: " that syntax errors
// begin with) and the server's messages that followed it; anything else with the batch's number and the script line where it starts.
// `text` is the error's message with any password masked.
void ReportFailure(const std::exception& e, const std::string& text, const SqlBatch& batch,
                   std::ostream& err) {
  const auto* ole = dynamic_cast<const ado::EOleException*>(&e);
  if (!ole || ole->Severity() <= 0) {
    err << "Batch " << batch.Number << " (line " << batch.StartLine << "): " << text << "\n";
    return;
  }
  std::string message = text;
  int line = ole->Line();
  int written = 0, consumed = 0;
  if (std::sscanf(message.c_str(), "Line %d: %n", &written, &consumed) == 1 && consumed > 0) {
    if (line <= 0) line = written;
    message = message.substr(static_cast<size_t>(consumed));
  }
  err << "Msg " << ole->NativeError() << ", Level " << ole->Severity() << ", State " << ole->State()
      << ", Line " << (line > 0 ? line : 1) << "\n"
      << message << "\n";
  for (const std::string& info : ole->Messages()) err << info << "\n";
}

}  // namespace

int RunSqlClient(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                 std::ostream& err) {
  Options o;
  if (!ParseArgs(args, o, err)) return 2;
  std::string script;
  if (!ReadScript(o, in, script, err)) return 2;

  // No message that reaches the console shows the connection's password.
  const ado::ConnectionString connection(o.connection);
  std::unique_ptr<ado::IProviderSession> session;
  if (o.createServer) {
    try {
      ado::ProviderRegistry::Instance().CreateServer(o.connection);
    } catch (const std::exception& e) {
      err << "schemion-sql: cannot make the server: " << connection.MaskPasswords(e.what()) << "\n";
      return 2;
    }
  }
  try {
    if (o.createDatabase) ado::ProviderRegistry::Instance().CreateDatabase(o.connection);
    // A server made with nothing to run on it needs no login.
    if (o.createServer && !o.hasQuery && o.inputFile.empty()) return 0;
    session = ado::ProviderRegistry::Instance().Open(o.connection);
  } catch (const std::exception& e) {
    err << "schemion-sql: cannot connect: " << connection.MaskPasswords(e.what()) << "\n";
    return 2;
  }

  bool failed = false;
  for (const SqlBatch& batch : SplitBatches(script)) {
    try {
      PrintResults(session->Execute(batch.Text), out);
    } catch (const std::exception& e) {
      failed = true;
      ReportFailure(e, connection.MaskPasswords(e.what()), batch, err);
      if (o.stopOnError) break;
    }
  }
  out.flush();
  return failed ? 1 : 0;
}

}  // namespace sqlclient
