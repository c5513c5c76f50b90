// Unattended runs of Schemion32 that cannot succeed: each ends with status 1, its log names the
// cause, and the client keeps its schema and rows.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
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

// The shop's older client on the server, with its rows.
std::string ClientOf(const std::string& aName, Server aServer = Server::SqlServer) {
  return round_trip::CreateDatabase(aServer, aName, aServer == Server::SqlServer ? app_test::kShopClient : app_test::kShopAsaClient);
}

// Replaces the first `aFrom` in the file by `aTo`.
void Replace(const std::string& aFile, const std::string& aFrom, const std::string& aTo) {
  std::string text = ReadBytes(aFile);
  const size_t at = text.find(aFrom);
  ASSERT_NE(at, std::string::npos) << aFile << ": " << aFrom;
  WriteBytes(aFile, text.replace(at, aFrom.size(), aTo));
}

// Puts `aCount` times `aChar` after the first `aAt` in the file, written piece by piece: the test's
// own memory must stay small, since a program it starts is counted from it.
void InsertRun(const std::string& aFile, const std::string& aAt, char aChar, size_t aCount) {
  const std::string text = ReadBytes(aFile);
  const size_t at = text.find(aAt);
  ASSERT_NE(at, std::string::npos) << aFile << ": " << aAt;
  std::ofstream out(aFile, std::ios::binary | std::ios::trunc);
  out << text.substr(0, at + aAt.size());
  const std::string piece(1 << 20, aChar);
  for (size_t left = aCount; left > 0; left -= std::min(left, piece.size())) out.write(piece.data(), std::min(left, piece.size()));
  out << text.substr(at + aAt.size());
}

// Keeps the lines of the file that hold none of `aText`, and `aCopies` more copies of each line
// that does.
void KeepRows(const std::string& aFile, const std::string& aText, int aCopies) {
  std::string kept;
  for (const std::string& line : app_test::FileLines(aFile)) {
    const bool holds = line.find(aText) != std::string::npos;
    for (int i = 0; i < (holds ? aCopies : 1); ++i) kept += line + "\n";
  }
  WriteBytes(aFile, kept);
}

// Declares 1,024 more fields in the file and puts 100,000 empty rows in place of its rows.
void Widen(const std::string& aFile) {
  std::string text = ReadBytes(aFile);
  std::string fields;
  for (int i = 0; i < 1024; ++i) {
    fields += "<s:AttributeType name='EXTRA" + std::to_string(i) + "' rs:number='" + std::to_string(100 + i) +
              "' rs:nullable='true'><s:datatype dt:type='string' dt:maxLength='10'/></s:AttributeType>";
  }
  const std::string row = "rs:updatable='true'>";
  text.insert(text.find(row) + row.size(), fields);
  const size_t data = text.find("<rs:data>") + 9;
  std::string rows;
  for (int i = 0; i < 100000; ++i) rows += "<z:row/>\n";
  text.replace(data, text.find("</rs:data>") - data, rows);
  WriteBytes(aFile, text);
}

std::unique_ptr<TDatabaseSpecific> DialectOf(Server aServer) {
  switch (aServer) {
    case Server::SqlServer: return std::make_unique<TSqlServerSpecific>();
    case Server::Asa: return std::make_unique<TAsaSpecific>();
    case Server::Access: return std::make_unique<TAccessSpecific>();
  }
  return nullptr;
}

// The client's columns as its server's catalogue gives them, and the rows of Customers.
Lines ClientState(Server aServer, const std::string& aClient) {
  const std::unique_ptr<TDatabaseSpecific> dialect = DialectOf(aServer);
  Lines state;
  {
    ado::TConnection connection(aClient);
    connection.Open();
    ado::TDataSet columns;
    columns.SetConnection(&connection);
    dialect->OpenSchema(vsiColumns, ado::Variant(), ado::Variant(), columns);
    for (columns.First(); !columns.Eof(); columns.Next()) {
      state.push_back(columns.FieldByName("TABLE_NAME").AsString() + "." + columns.FieldByName("COLUMN_NAME").AsString() +
                      " " + columns.FieldByName("COLUMN_TYPE_NAME").AsString() + " " + columns.FieldByName("SIZE").AsString());
    }
  }
  for (const std::string& row : round_trip::Rows(aClient, "SELECT CustomerId, Name FROM Customers ORDER BY CustomerId")) {
    state.push_back(row);
  }
  return state;
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
      {"columns", noColumns, client, nullptr, "vsiIndexes.xml, row 1, field COLUMN_NAME names the column CustomerId"},
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

// A package whose ZIP was sound but whose schema files were damaged or hostile got through the
// check and ran: an empty table list dropped every client table, a column without a name was
// added as "ADD  varchar (80)", a 100 MiB name ran for ever in gigabytes, a column without a size
// was written "varchar ()", a size of 0 or past the largest ran on Adaptive Server Anywhere, an
// unknown table type left the table out unsaid, a type name that contradicted its code changed a
// column's type, a key whose index was missing dropped the client's key, a table listed twice ran
// its changes twice, a name that was no UTF-8 text reached the catalogue, and 1,024 declared
// fields of 100,000 empty rows took 1.6 GB. Each is refused before anything is compared, naming
// the file, the row and the field.
TEST(BatchFailures, ADamagedSchemaFileIsRefusedBeforeAnythingRuns) {
  using Damage = void (*)(const std::string& folder);
  struct Case {
    std::string name;
    Damage damage;
    Server server;
    std::string cause;  // found in the log
  } cases[] = {
      {"no-column-name", [](const std::string& f) { Replace(f + "/vsiColumns.xml", " COLUMN_NAME='City'", ""); },
       Server::SqlServer, "Damaged package: vsiColumns.xml, row 3, field COLUMN_NAME has no value"},
      {"no-type", [](const std::string& f) { Replace(f + "/vsiColumns.xml", "COLUMN_TYPE_NAME='varchar'", "COLUMN_TYPE_NAME=''"); },
       Server::SqlServer, "vsiColumns.xml, row 2, field COLUMN_TYPE_NAME has no value"},
      {"negative-size", [](const std::string& f) { Replace(f + "/vsiColumns.xml", "SIZE='80'", "SIZE='-80'"); },
       Server::SqlServer, "vsiColumns.xml, row 2, field SIZE holds -80, which is negative"},
      // The value is cut in the message.
      {"size-no-number",
       [](const std::string& f) { Replace(f + "/vsiColumns.xml", "SIZE='80'", "SIZE='" + std::string(100000, 'e') + "'"); },
       Server::SqlServer,
       "vsiColumns.xml': row 2: value '" + std::string(64, 'e') + "...' of field 'SIZE' is not a valid integer"},
      {"long-name",
       [](const std::string& f) { Replace(f + "/vsiTables.xml", "TABLE_NAME='Orders'", "TABLE_NAME='" + std::string(129, 'O') + "'"); },
       Server::SqlServer, "field TABLE_NAME is 129 characters long, longer than the server allows (128 characters)"},
      {"refused-character", [](const std::string& f) { Replace(f + "/vsiColumns.xml", "COLUMN_NAME='City'", "COLUMN_NAME='Ci.ty'"); },
       Server::Access, "vsiColumns.xml, row 3, field COLUMN_NAME holds the character '.', which the server never accepts"},
      {"no-table-list", [](const std::string& f) { KeepRows(f + "/vsiTables.xml", "<z:row", 0); },
       Server::SqlServer, "vsiColumns.xml, row 1, field TABLE_NAME names the table Customers, but vsiTables.xml lists no table"},
      {"index-of-no-table", [](const std::string& f) { Replace(f + "/vsiIndexes.xml", "TABLE_NAME='Orders'", "TABLE_NAME='Nowhere'"); },
       Server::SqlServer, "vsiIndexes.xml, row 2, field TABLE_NAME names the table Nowhere, which vsiTables.xml lacks"},
      {"key-column-of-nothing",
       [](const std::string& f) { Replace(f + "/vsiPrimaryKeys.xml", "COLUMN_NAME='CustomerId'", "COLUMN_NAME='Nobody'"); },
       Server::SqlServer, "vsiPrimaryKeys.xml, row 1, field COLUMN_NAME names the column Nobody"},
      {"copy-item-of-no-table",
       [](const std::string& f) {
         Replace(f + "/DirectivesFromProducer.xml", "<CopyData />", "<CopyData><Table0><TableName>Nowhere</TableName></Table0></CopyData>");
       },
       Server::SqlServer, "DirectivesFromProducer.xml, row 1, field TableName names the table Nowhere"},
      // Before the huge values, whose peak would hide this one's.
      {"wide", [](const std::string& f) { Widen(f + "/vsiColumns.xml"); },
       Server::SqlServer, "vsiColumns.xml, row 1, field TABLE_NAME has no value"},
      {"huge-name",
       [](const std::string& f) { InsertRun(f + "/vsiColumns.xml", "COLUMN_NAME='City", 'x', 100 << 20); },
       Server::SqlServer, "vsiColumns.xml': row 3: the value of field 'COLUMN_NAME' is longer than 1048576 bytes"},
      {"huge-definition",
       [](const std::string& f) {
         Replace(f + "/vsiViews.xml", "<rs:data>", "<rs:data><z:row TABLE_NAME='Big' VIEW_DEFINITION=''/>");
         InsertRun(f + "/vsiViews.xml", "VIEW_DEFINITION='", ' ', 2 << 20);
       },
       Server::SqlServer, "vsiViews.xml': row 1: the value of field 'VIEW_DEFINITION' is longer than 1048576 bytes"},
      {"no-size", [](const std::string& f) { Replace(f + "/vsiColumns.xml", " SIZE='40'", ""); },
       Server::SqlServer, "vsiColumns.xml, row 3, field SIZE has no value"},
      {"size-zero", [](const std::string& f) { Replace(f + "/vsiColumns.xml", "SIZE='40'", "SIZE='0'"); },
       Server::SqlServer, "vsiColumns.xml, row 3, field SIZE holds 0, but the server takes varchar of a size from 1 to 8000"},
      {"size-past-largest", [](const std::string& f) { Replace(f + "/vsiColumns.xml", "SIZE='40'", "SIZE='99999999999'"); },
       Server::SqlServer, "vsiColumns.xml, row 3, field SIZE holds 99999999999, but the server takes varchar of a size from 1 to 8000"},
      // A size is held to what the client's server takes for the type the column becomes there.
      {"asa-size-zero", [](const std::string& f) { Replace(f + "/vsiColumns.xml", "SIZE='40'", "SIZE='0'"); },
       Server::Asa, "vsiColumns.xml, row 3, field SIZE holds 0, but the server takes varchar of a size from 1 to 32767"},
      {"asa-size-past-largest", [](const std::string& f) { Replace(f + "/vsiColumns.xml", "SIZE='40'", "SIZE='32768'"); },
       Server::Asa, "vsiColumns.xml, row 3, field SIZE holds 32768, but the server takes varchar of a size from 1 to 32767"},
      {"unknown-table-type",
       [](const std::string& f) { Replace(f + "/vsiTables.xml", "TABLE_TYPE='TABLE'", "TABLE_TYPE='nosuchtype'"); },
       Server::SqlServer, "vsiTables.xml, row 20, field TABLE_TYPE holds 'nosuchtype', which is none of the values"},
      {"numeric-table-type", [](const std::string& f) { Replace(f + "/vsiTables.xml", "TABLE_TYPE='TABLE'", "TABLE_TYPE='-1'"); },
       Server::SqlServer, "vsiTables.xml, row 20, field TABLE_TYPE holds '-1', which is none of the values"},
      {"type-contradicts-code",
       [](const std::string& f) { Replace(f + "/vsiColumns.xml", "COLUMN_TYPE_NAME='money'", "COLUMN_TYPE_NAME='image'"); },
       Server::SqlServer, "vsiColumns.xml, row 6, field COLUMN_TYPE holds 60, the code of type money, but COLUMN_TYPE_NAME names image"},
      {"key-without-index", [](const std::string& f) { KeepRows(f + "/vsiIndexes.xml", "INDEX_NAME='PK__Orders", 0); },
       Server::SqlServer, "vsiPrimaryKeys.xml, row 2, field PK_NAME names the index PK__Orders"},
      {"table-twice", [](const std::string& f) { KeepRows(f + "/vsiTables.xml", "TABLE_NAME='Orders'", 2); },
       Server::SqlServer, "vsiTables.xml, row 22, field TABLE_NAME holds Orders, as row 21 does"},
      {"document-type",
       [](const std::string& f) { WriteBytes(f + "/vsiColumns.xml", "<!DOCTYPE xml [<!ENTITY x 'City'>]>\n" + ReadBytes(f + "/vsiColumns.xml")); },
       Server::SqlServer, "vsiColumns.xml': the document declares a document type"},
      {"name-not-utf8", [](const std::string& f) { Replace(f + "/vsiColumns.xml", "COLUMN_NAME='City'", "COLUMN_NAME='Ci\xC3(ty'"); },
       Server::SqlServer, "vsiColumns.xml, row 3, field COLUMN_NAME holds a byte (at 3) that is no UTF-8 text"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string package = RepackedShop(c.name, c.damage);
    fs::remove_all(app_test::AppFolder("batch-repack-" + c.name));
    const std::string client = ClientOf("Damaged" + c.name, c.server);
    const Lines before = ClientState(c.server, client);
    const RunResult run = RunShop("damaged-" + c.name, package, client);
    EXPECT_EQ(run.status, rsFailed);
    std::string logged;
    for (const std::string& line : run.log) logged += line + "\n";
    EXPECT_NE(logged.find(c.cause), std::string::npos) << logged.substr(0, 2000);
    EXPECT_EQ(ClientState(c.server, client), before);
#ifndef __SANITIZE_ADDRESS__  // the sanitizer's shadow memory is no measure of the program's own
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 200 * 1024) << "kB at most in one run";
#endif
  }
}
