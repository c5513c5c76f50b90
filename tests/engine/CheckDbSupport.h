// Helpers of the CheckDb driver tests: an updater that notes its messages and progress steps, a
// check whose engine stays for inspection, and a byte picture of every database file of the
// embedded servers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "RoundTrip.h"

// Reads the engine's private state after a check.
class TdmStateProbe {
 public:
  explicit TdmStateProbe(Tdm& dm) : dm_(dm) {}
  const TOwnedStringList<TPkTablesChange>& PkTablesChange() const { return dm_.pkTablesChange_; }
  const std::vector<std::string>& DroppedTables() const { return dm_.droppedTables_; }

 private:
  Tdm& dm_;
};

namespace check_db_test {

// An updater that notes what the engine tells it, one line per call.
class NotingUpdater : public TOrvDbSchemaUpdater {
 public:
  std::vector<std::string> log;
  void WriteMessage(const std::string& aText) override { log.push_back("message " + aText); }
  void ProgressBeginCheckDb(int aMax) override { log.push_back("begin " + std::to_string(aMax)); }
  void ProgressStepLevel0(const std::string& aText) override { log.push_back("level0 " + aText); }
  void ProgressStepLevel1(const std::string& aText) override { log.push_back("level1 " + aText); }
  void ProgressResetLevel1(int aMax) override { log.push_back("reset1 " + std::to_string(aMax)); }
};

// An updater connected to `client`, checking against `folder` (instructions saved there too).
inline std::unique_ptr<NotingUpdater> ConnectedUpdater(const std::string& client, const std::string& folder,
                                                       const std::function<void(TOrvDbSchemaUpdater&)>& setUp = {}) {
  auto updater = std::make_unique<NotingUpdater>();
  updater->DirSchemas = folder;
  updater->DirSql = folder;
  if (setUp) setUp(*updater);
  updater->SetConnectionString(client);
  EXPECT_TRUE(updater->Initialize());
  updater->SetConnected(true);
  return updater;
}

inline std::vector<std::string> Errors(TOrvDbSchemaUpdater& updater) {
  std::vector<std::string> errors;
  for (const auto& error : updater.Errors().Items()) errors.push_back(error->Description + " | " + error->EMessage);
  return errors;
}

// Every database file of the embedded servers (SQL Server and Adaptive Server Anywhere folders,
// Access files), by path, with its bytes. Schema folders hold no database file; the shared-memory
// index beside a write-ahead log records who reads, not what the database holds.
inline std::map<std::string, std::string> DatabaseFiles() {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(getenv("SCHEMION_SERVERS"))) {
    if (!entry.is_regular_file()) continue;
    const std::string extension = entry.path().extension().string();
    if (extension == ".xml" || extension == ".sqlite-shm") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files[entry.path().string()] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

// The names of the files that differ between two pictures (added, removed or changed).
inline std::vector<std::string> Changed(const std::map<std::string, std::string>& before,
                                        const std::map<std::string, std::string>& after) {
  std::vector<std::string> changed;
  for (const auto& [path, bytes] : after) {
    auto it = before.find(path);
    if (it == before.end() || it->second != bytes) changed.push_back(path);
  }
  for (const auto& [path, bytes] : before) {
    if (after.find(path) == after.end()) changed.push_back(path);
  }
  return changed;
}

}  // namespace check_db_test
