// Splits a SQL script into batches the way the servers' command-line clients do: a line holding
// only "GO" (any case, blanks around it allowed) ends a batch.
#pragma once

#include <string>
#include <vector>

namespace sqlclient {

struct SqlBatch {
  std::string Text;
  int Number = 0;     // 1-based, counting only batches that hold a statement
  int StartLine = 0;  // 1-based line of the script where the batch's text begins
};

// Batches that hold something besides blanks, in script order.
std::vector<SqlBatch> SplitBatches(const std::string& script);

}  // namespace sqlclient
