// Unattended runs of Schemion32 that cannot succeed: each ends with status 1, its log names the
// cause, and the client keeps its schema and rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/dmMain.h"

namespace {

namespace fs = std::filesystem;
using app_test::Lines;
using round_trip::Server;

const std::string kGeneric = "Error: Error Updating Package, please check Error Manager.";

std::string ReadBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

// The shop's master packaged once; its package's bytes.
const std::string& ShopPackage() {
  static const std::string bytes = [] {
    const std::string master = round_trip::CreateDatabase(Server::SqlServer, "BatchShop", app_test::kShopMaster);
    TdmMain dm(app_test::AppFolder("batch-build"));
    return ReadBytes(dm.BuildPackage(master));
  }();
  return bytes;
}

// The shop's package unpacked into a folder, changed by `aChange`, and packed again.
std::string RepackedShop(const std::string& aName, void (*aChange)(const std::string& folder)) {
  const std::string folder = app_test::AppFolder("batch-repack-" + aName);
  WriteBytes(folder + "/Shop.upd", ShopPackage());
  fs::create_directories(folder + "/files");
  TdmFilesUtils files;
  std::string first, written;
  files.UnzipPackage(folder + "/Shop.upd", folder + "/files", first, false);
  aChange(folder + "/files");
  files.ZipFiles(folder + "/New.upd", folder + "/files/*.*", written, false);
  return ReadBytes(folder + "/New.upd");
}

struct RunResult {
  int status;
  Lines log;
};

// Runs Schemion32 in a fresh application folder holding `aPackage` as Shop.upd (prepared by
// `aPrepare` when given) on `aClient`; a run that hangs is ended by the timeout.
RunResult RunShop(const std::string& aName, const std::string& aPackage, const std::string& aClient,
            void (*aPrepare)(const std::string& app) = nullptr) {
  const std::string app = app_test::AppFolder("batch-" + aName);
  fs::create_directories(app + "/SchmPackages");
  WriteBytes(app + "/SchmPackages/Shop.upd", aPackage);
  if (aPrepare != nullptr) aPrepare(app);
  const std::string program = app_test::PlaceProgram(app);
  const int status = app_test::RunCommand({"timeout", "120", program, "connection=" + aClient, "upd=Shop.upd"});
  fs::remove(program);  // a copy per case would crowd the disk
  return {status, app_test::FileLines(app + "/SchemionAppLog.txt")};
}

Lines ClientColumns(const std::string& aClient) {
  return round_trip::Rows(aClient,
                          "SELECT c.name FROM syscolumns c JOIN sysobjects o ON o.id = c.id "
                          "WHERE o.name = 'Customers' ORDER BY c.colid");
}

std::string ClientOf(const std::string& aName) {
  return round_trip::CreateDatabase(Server::SqlServer, aName, app_test::kShopClient);
}

}  // namespace

// A package that is not a whole ZIP was unpacked into nothing, or into part of its files, and the
// run failed with no cause in the log (or could run on a partial schema).
TEST(BatchFailures, ABrokenPackageFailsWithTheArchiveError) {
  const std::string good = ShopPackage();
  std::string corrupt = good;
  // A byte inside the first entry's compressed data.
  const size_t data = 30 + static_cast<uint8_t>(good[26]) + 256 * static_cast<uint8_t>(good[27]) +
                      static_cast<uint8_t>(good[28]) + 256 * static_cast<uint8_t>(good[29]);
  corrupt[data + 20] = static_cast<char>(corrupt[data + 20] ^ 0xff);
  struct Case {
    std::string name, bytes, cause;  // cause: what the last log line begins with
  } cases[] = {
      {"empty", "", "Error: Header not found. File may be corrupt: "},
      {"text", "not a package\n", "Error: Header not found. File may be corrupt: "},
      {"truncated", good.substr(0, good.size() / 2), "Error: Header not found. File may be corrupt: "},
      {"corrupt", corrupt, "Error: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string client = ClientOf("BrokenPackage" + c.name);
    const RunResult run = RunShop("broken-" + c.name, c.bytes, client);
    EXPECT_EQ(run.status, rsFailed);
    ASSERT_FALSE(run.log.empty());
    EXPECT_TRUE(run.log.back().starts_with(c.cause)) << run.log.back();
    EXPECT_NE(run.log.back(), kGeneric);
    EXPECT_EQ(ClientColumns(client), (Lines{"CustomerId", "Name"}));
  }
}

// The cause of a failed connection, check or backup sat only in the error manager, which no one
// opens in an unattended run: the log said only "please check Error Manager". A master table
// listed without columns dropped the client table's columns.
TEST(BatchFailures, TheCauseOfAFailedCheckOrBackupIsLogged) {
  const std::string shop = ShopPackage();
  const std::string noSchema = RepackedShop("none", [](const std::string& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) fs::remove(entry.path());
    std::ofstream(folder + "/readme.txt") << "no schema here";
  });
  const std::string badXml = RepackedShop("xml", [](const std::string& folder) {
    std::ofstream(folder + "/vsiColumns.xml", std::ios::trunc) << "<xml><broken";
  });
  const std::string noColumns = RepackedShop("columns", [](const std::string& folder) {
    std::ifstream in(folder + "/vsiColumns.xml");
    std::string kept;
    for (std::string line; std::getline(in, line);) {
      if (line.find("TABLE_NAME='Customers'") == std::string::npos) kept += line + "\n";
    }
    in.close();
    std::ofstream(folder + "/vsiColumns.xml", std::ios::trunc) << kept;
  });
  // A folder where the backup file belongs: the backup cannot replace it.
  const auto backupFileIsAFolder = [](const std::string& app) { fs::create_directories(app + "/SchmBackUp/FailedCheck"); };
  const std::string client = ClientOf("FailedCheck");
  struct Case {
    std::string name, package, client;
    void (*prepare)(const std::string&);
    std::string cause;  // found in the line before the last
  } cases[] = {
      {"password", shop,
       "Provider=SQLOLEDB.1;User ID=sa;Password=wrong;Initial Catalog=FailedCheck;Data Source=" +
           std::string(dialect_test::kServer),
       nullptr, "Error occourred during connection to DB: Login failed for user 'sa'."},
      {"database", shop, dialect_test::ConnectionStringFor("NoSuchClient"), nullptr, "Database does not exists"},
      // A mistyped server name reached a new, empty server, and the update ran there.
      {"server", shop, "Provider=SQLOLEDB.1;Integrated Security=SSPI;Initial Catalog=master;Data Source=DialectTest",
       nullptr, "SQL Server does not exist or access denied."},
      {"engine", shop, "Provider=ASAProv.90;Eng=RoundTripAs;dbn=FailedCheck", nullptr, "Database server not found"},
      {"schema", noSchema, client, nullptr, "DirectivesFromProducer.xml does not exists"},
      {"xml", badXml, client, nullptr, "vsiColumns.xml': malformed XML"},
      {"columns", noColumns, client, nullptr, "Master table without columns: Customers"},
      {"backup", shop, client, backupFileIsAFolder, "Error during deleting of the previous backup database "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult run = RunShop("cause-" + c.name, c.package, c.client, c.prepare);
    EXPECT_EQ(run.status, rsFailed);
    ASSERT_GE(run.log.size(), 2u);
    EXPECT_EQ(run.log.back(), kGeneric);
    std::string logged;
    for (const std::string& line : run.log) logged += line + "\n";
    EXPECT_NE(logged.find(c.cause), std::string::npos) << logged;
    EXPECT_EQ(logged.find("wrong"), std::string::npos) << logged;
    EXPECT_EQ(ClientColumns(client), (Lines{"CustomerId", "Name"}));
  }
}

// A log file that could not be written left a failed run with no message anywhere.
TEST(BatchFailures, AnUnwritableLogFileLeavesTheLinesOnTheErrorStream) {
  const std::string app = app_test::AppFolder("batch-no-log");
  fs::create_directories(app + "/SchemionAppLog.txt");  // a folder where the log file belongs
  const std::string program = app_test::PlaceProgram(app);
  const std::string errors = app + "/errors.txt";
  EXPECT_EQ(app_test::RunCommand({"timeout", "120", "sh", "-c", "\"$0\" \"$1\" \"$2\" 2>\"$3\"", program,
                                  "connection=Provider=SQLOLEDB.1;Password=secret", "upd=none.upd", errors}),
            rsNotStarted);
  fs::remove(program);
  const Lines lines = app_test::FileLines(errors);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "Cannot write the log file " + app + "/SchemionAppLog.txt");
  EXPECT_NE(std::find(lines.begin(), lines.end(), app + "/SchmPackages/none.upd"), lines.end());
  for (const std::string& line : lines) EXPECT_EQ(line.find("secret"), std::string::npos) << line;
}

// A package kept in the working schema folder was deleted by its own run before it was read.
TEST(BatchFailures, APackageInTheSchemaFolderIsReadAndKept) {
  const std::string client = ClientOf("KeptPackage");
  const std::string app = app_test::AppFolder("batch-kept");
  const std::string package = app + "/SchmSchemas/Shop.upd";
  fs::create_directories(app + "/SchmSchemas");
  WriteBytes(package, ShopPackage());
  const std::string program = app_test::PlaceProgram(app);
  EXPECT_EQ(app_test::RunCommand({"timeout", "120", program, "connection=" + client, "upd=" + package}), rsSucceeded);
  fs::remove(program);
  EXPECT_EQ(ReadBytes(package), ShopPackage());
  EXPECT_EQ(ClientColumns(client), (Lines{"CustomerId", "Name", "City"}));
}
