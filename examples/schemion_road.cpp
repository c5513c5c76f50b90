// The main road on one master and one client: the producer extracts the master's schema into a
// schema folder, the updater checks the client against it (the instructions it would run are
// printed), checks and updates the client, and checks it once more.
//   schemion-road <master connection string> <client connection string> <schema folder>
#include <exception>
#include <iostream>
#include <string>

#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "platform/data/ConnectionString.h"
#include "platform/data/DataSet.h"
#include "servers/EmbeddedServers.h"

namespace {

void PrintErrors(const TOrvSchemion& component) {
  for (const auto& e : component.Errors().Items()) {
    std::cout << "  error: " << e->Description;
    if (!e->EMessage.empty()) std::cout << ": " << e->EMessage;
    std::cout << "\n";
  }
}

// Prints the instruction list the last check saved; answers how many it holds.
int PrintInstructions(const std::string& folder) {
  ado::TDataSet instructions;
  instructions.LoadFromFile(folder + "/instructions.xml");
  int count = 0;
  for (instructions.First(); !instructions.Eof(); instructions.Next(), ++count) {
    std::cout << "  " << instructions.FieldByName("id").AsString() << ": "
              << instructions.FieldByName("instruction").AsString() << "\n";
  }
  return count;
}

bool Check(TOrvDbSchemaUpdater& updater, const std::string& client, const std::string& folder) {
  const bool ok = updater.CheckDb(client);
  std::cout << "CheckDb: " << (ok ? "True" : "False") << "\n";
  PrintErrors(updater);
  if (ok) std::cout << "  " << PrintInstructions(folder) << " instruction(s)\n";
  return ok;
}

int Road(const std::string& master, const std::string& client, const std::string& folder) {
  TOrvDbSchemaProducer producer;
  producer.DirSchemas = folder;
  producer.SetConnectionString(master);
  producer.Initialize();
  producer.SetConnected(true);
  const bool extracted = producer.ExtractSchema();
  std::cout << "ExtractSchema of " << ado::ConnectionString(master).ToStringWithoutPassword() << ": "
            << (extracted ? "True" : "False") << "\n";
  PrintErrors(producer);
  if (!extracted) return 1;

  TOrvDbSchemaUpdater updater;
  updater.DirSchemas = folder;
  updater.DirSql = folder;
  updater.DirBackup = folder;
  updater.UpdaterDirectives().ProgressInfoKind = pikSilent;
  updater.Initialize();
  std::cout << "Client " << ado::ConnectionString(client).ToStringWithoutPassword() << "\n";
  if (!Check(updater, client, folder)) return 1;
  const bool updated = updater.CheckAndUpdate(client);
  std::cout << "CheckAndUpdate: " << (updated ? "True" : "False") << "\n";
  PrintErrors(updater);
  if (!Check(updater, client, folder)) return 1;
  return updated ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: schemion-road <master connection string> <client connection string> <schema folder>\n";
    return 2;
  }
  try {
    servers::RegisterEmbeddedServers();
    return Road(argv[1], argv[2], argv[3]);
  } catch (const std::exception& e) {
    std::cerr << "Error: " << e.what() << "\n";
    return 1;
  }
}
