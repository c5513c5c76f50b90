// A command of the data-access layer: one statement text run through a connection. The layer has
// no command parameters, so the text always runs as written (":name", "?" and "@p" included).
#pragma once

#include <cstdint>
#include <string>

#include "platform/data/Connection.h"
#include "platform/data/DataErrors.h"

namespace ado {

// Execute options, combined with "|".
using TExecuteOptions = unsigned;
constexpr TExecuteOptions eoExecuteNoRecords = 1;  // rows the statement returns are discarded

class TCommand {
 public:
  TConnection* Connection = nullptr;  // not owned
  std::string CommandText;
  TExecuteOptions ExecuteOptions = 0;
  bool ParamCheck = true;  // kept for hosts; nothing in the text is ever read as a parameter

  // Runs CommandText; returns the rows affected, -1 when no statement counts rows. Raises
  // EDatabaseError without a connection and the server's EOleException on failure.
  int64_t Execute() {
    if (Connection == nullptr) throw EDatabaseError("Missing Connection or ConnectionString");
    return Connection->Execute(CommandText);
  }
};

}  // namespace ado
