// Two sessions of one database at once: a batch that waits for another session's transaction.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/data/Provider.h"

// Runs `sql` on `waiting` in a thread of its own while `holder`, in an open transaction, keeps it
// waiting a moment, then commits: the batch runs once the commit is done. Returns the batch's
// results; `failure` gets its error's text.
inline std::vector<ado::StatementResult> RunWhileAnotherCommits(ado::IProviderSession& waiting,
                                                                ado::IProviderSession& holder,
                                                                const std::string& sql, std::string& failure) {
  std::vector<ado::StatementResult> results;
  std::thread batch([&] {
    try {
      results = waiting.Execute(sql);
    } catch (const std::exception& e) {
      failure = e.what();
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  holder.CommitTrans();
  batch.join();
  return results;
}
