// Access database files on the embedded server for the tests: a fresh temporary
// folder per test program, new files made by the provider, filled by a script
// run statement by statement, read through the Access dialect.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dialects/uDbSpecific.h"
#include "platform/data/Connection.h"
#include "platform/data/DataSet.h"
#include "platform/data/Provider.h"
#include "servers/EmbeddedServers.h"

namespace access_test {

struct TempFolder {
  std::string path;
  TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "schemion-access-XXXXXX")
            .string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) != nullptr)
      path = buffer.data();
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path.empty())
      std::filesystem::remove_all(path, ec);
  }
};

// The program's folder of database files; the servers are registered once.
inline const std::string &Folder() {
  static TempFolder folder;
  servers::RegisterEmbeddedServers();
  return folder.path;
}

inline std::string PathOf(const std::string &file) {
  return Folder() + "/" + file;
}

inline std::string ConnectionStringFor(const std::string &file) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + PathOf(file);
}

// Makes the database file (it must not exist) and opens a connection to it.
inline std::unique_ptr<ado::TConnection>
CreateAndConnect(const std::string &file) {
  ado::ProviderRegistry::Instance().CreateDatabase(ConnectionStringFor(file));
  auto connection =
      std::make_unique<ado::TConnection>(ConnectionStringFor(file));
  connection->Open();
  return connection;
}

// Runs each statement on its own; a failure names the statement.
inline void RunScript(ado::TConnection &connection,
                      const std::vector<std::string> &script) {
  for (const std::string &sql : script) {
    try {
      connection.Execute(sql);
    } catch (const std::exception &e) {
      ADD_FAILURE() << "statement failed: " << sql << "\n  " << e.what();
    }
  }
}

// The rowset of a schema kind read through the dialect, as text: field names,
// then each row; the creation and change dates are left out. A data set left
// closed reads "(closed)".
inline std::string KindText(TDatabaseSpecific &dialect,
                            ado::TConnection &connection, TOrvSchemaInfo kind) {
  ado::TDataSet data;
  data.SetConnection(&connection);
  dialect.OpenSchema(kind, ado::Variant(), ado::Variant(), data);
  if (!data.Active())
    return "(closed)\n";
  std::vector<int> kept;
  std::string out;
  for (int i = 0; i < data.FieldCount(); ++i) {
    const std::string name = data.Fields(i).FieldName();
    if (name == "DATE_CREATED" || name == "DATE_MODIFIED")
      continue;
    kept.push_back(i);
    out += name + "|";
  }
  out += "\n";
  for (data.First(); !data.Eof(); data.Next()) {
    for (int i : kept) {
      const ado::Variant v = data.Fields(i).Value();
      out += (v.IsNull() ? std::string("<null>") : v.AsString()) + "|";
    }
    out += "\n";
  }
  return out;
}

// Every one of the 15 kinds, in order.
inline std::string AllKinds(TDatabaseSpecific &dialect,
                            ado::TConnection &connection) {
  std::string out;
  for (int k = vsiCatalogs; k <= vsiDbSpaces; ++k)
    out += "== " + std::to_string(k) + "\n" +
           KindText(dialect, connection, static_cast<TOrvSchemaInfo>(k));
  return out;
}

} // namespace access_test
