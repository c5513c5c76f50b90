// Support for the update executor's tests: hand-written list files in the shape the engine saves
// them, an updater that records its progress and console lines, and a snapshot of a database
// (catalogue and rows) to compare states before and after an update.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RoundTrip.h"
#include "components/DbSchemaUpdater.h"
#include "engine/uDm.h"
#include "platform/data/Connection.h"
#include "platform/data/DataSet.h"

namespace update_test {

using round_trip::Server;

// The SQL that differs between the three servers.
struct ServerSql {
  Server server;
  const char* integer;   // an integer column type
  const char* identity;  // an identity column "id" that is the primary key
};

inline const ServerSql kServers[] = {
    {Server::SqlServer, "int", "id int IDENTITY (1, 1) NOT NULL PRIMARY KEY"},
    {Server::Asa, "integer", "id integer NOT NULL DEFAULT AUTOINCREMENT PRIMARY KEY"},
    {Server::Access, "integer", "id COUNTER NOT NULL PRIMARY KEY"},
};

struct Row {
  int id = 0;
  std::string sql;
  int block = 0;
};

struct Block {
  int id = 0;
  std::string name;
  std::string kind;
  bool undo = false;
};

// instructions.xml as the engine saves it, rows in the order given.
inline void WriteInstructions(const std::string& folder, const std::vector<Row>& rows) {
  ado::TDataSet set;
  set.FieldDefs() = {{"id", ado::FieldType::ftInteger},
                     {"instruction", ado::FieldType::ftMemo},
                     {"IdBlockUndoDelete", ado::FieldType::ftInteger}};
  set.CreateDataSet();
  for (const Row& row : rows) {
    set.Append();
    set.FieldByName("id").SetAsInteger(row.id);
    set.FieldByName("instruction").SetAsString(row.sql);
    set.FieldByName("IdBlockUndoDelete").SetAsInteger(row.block);
    set.Post();
  }
  set.SaveToFile(folder + "/instructions.xml");
}

// BlockUndoDelete.xml as the engine saves it.
inline void WriteBlocks(const std::string& folder, const std::vector<Block>& blocks) {
  ado::TDataSet set;
  set.FieldDefs() = {{"id", ado::FieldType::ftInteger},
                     {"ObjectName", ado::FieldType::ftString, 40},
                     {"Kind", ado::FieldType::ftString, 20},
                     {"undoDelete", ado::FieldType::ftBoolean}};
  set.CreateDataSet();
  for (const Block& block : blocks) {
    set.Append();
    set.FieldByName("id").SetAsInteger(block.id);
    set.FieldByName("ObjectName").SetAsString(block.name);
    set.FieldByName("Kind").SetAsString(block.kind);
    set.FieldByName("undoDelete").SetAsBoolean(block.undo);
    set.Post();
  }
  set.SaveToFile(folder + "/BlockUndoDelete.xml");
}

// A list of hand-written rows with ids 1, 2 ... and no blocks.
inline void WriteList(const std::string& folder, const std::vector<std::string>& statements) {
  std::vector<Row> rows;
  for (const std::string& sql : statements) rows.push_back({static_cast<int>(rows.size()) + 1, sql, 0});
  WriteInstructions(folder, rows);
  WriteBlocks(folder, {});
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// An updater that records what it shows: "L0:" and "L1:" the update's progress steps, "C:" the
// console lines, "I:" the progress window's info texts. ConfirmDelete answers `confirm` when set.
class RecordingUpdater : public TOrvDbSchemaUpdater {
 public:
  std::vector<std::string> lines;
  std::function<bool()> confirm;
  int confirmCalls = 0;

  void WriteMessage(const std::string& aText) override {
    lines.push_back("C:" + aText);
    TOrvDbSchemaUpdater::WriteMessage(aText);
  }
  void SetProgressInfoText(const std::string& aText) override { lines.push_back("I:" + aText); }
  void ProgressStepUpdateLevel0(const std::string& aText) override { lines.push_back("L0:" + aText); }
  void ProgressStepUpdateLevel1(const std::string& aText) override { lines.push_back("L1:" + aText); }
  bool ConfirmDelete() override {
    ++confirmCalls;
    return confirm ? confirm() : TOrvDbSchemaUpdater::ConfirmDelete();
  }

  // The recorded lines that start with `prefix`, without it.
  std::vector<std::string> Lines(const std::string& prefix) const {
    std::vector<std::string> result;
    for (const std::string& line : lines) {
      if (line.rfind(prefix, 0) == 0) result.push_back(line.substr(prefix.size()));
    }
    return result;
  }
  // "description | message" of every listed error.
  std::vector<std::string> ErrorTexts() const {
    std::vector<std::string> texts;
    for (const auto& error : Errors().Items()) texts.push_back(error->Description + " | " + error->EMessage);
    return texts;
  }
};

// An updater of `folder` (schemas and SQL) connected to `client`, without a backup before the
// update; `setUp` may change it before it connects.
inline std::unique_ptr<RecordingUpdater> NewUpdater(const std::string& client, const std::string& folder,
                                                    const std::function<void(RecordingUpdater&)>& setUp = {}) {
  auto updater = std::make_unique<RecordingUpdater>();
  updater->DirSchemas = folder;
  updater->DirSql = folder;
  updater->DirBackup = folder;
  updater->UpdaterDirectives().BackupBeforeUpdate = beNo;
  if (setUp) setUp(*updater);
  updater->SetConnectionString(client);
  EXPECT_TRUE(updater->Initialize());
  updater->SetConnected(true);
  return updater;
}

inline std::string FieldText(const ado::TDataSet& set, const char* name) {
  const ado::TField* field = set.FindField(name);
  if (field == nullptr) return "-";
  return field->IsNull() ? "<null>" : field->AsString();
}

// The user tables of the database, their columns and indexes (read through the server's
// dialect), and the rows of every table, each a sorted line; `probe` statements run last (e.g. an
// insert that shows an identity counter) and the rows they select are part of the snapshot.
inline std::vector<std::string> Snapshot(const std::string& database, const std::vector<std::string>& probe = {}) {
  std::vector<std::string> lines;
  Tdm dm;
  dm.SetConnectionString(database, false);
  dm.SetConnected(true);
  ado::TDataSet set;
  set.SetConnection(&dm.ac);
  std::vector<std::string> tables;
  dm.OpenSchemaOf(vsiTables, ado::Variant(), set);
  for (set.First(); !set.Eof(); set.Next()) {
    if (FieldText(set, "TABLE_TYPE") != "TABLE") continue;
    tables.push_back(FieldText(set, "TABLE_NAME"));
    lines.push_back("table " + tables.back());
  }
  const auto isUserTable = [&](const ado::TDataSet& row) {
    return std::find(tables.begin(), tables.end(), FieldText(row, "TABLE_NAME")) != tables.end();
  };
  dm.OpenSchemaOf(vsiColumns, ado::Variant(), set);
  for (set.First(); !set.Eof(); set.Next()) {
    if (!isUserTable(set)) continue;
    std::string line = "column";
    for (const char* field : {"TABLE_NAME", "COLUMN_NAME", "ORDINAL_POSITION", "COLUMN_TYPE_NAME", "SIZE",
                              "IS_NULLABLE", "IS_IDENTITY", "COLUMN_DEFAULT"}) {
      line += " " + FieldText(set, field);
    }
    lines.push_back(line);
  }
  dm.OpenSchemaOf(vsiIndexes, ado::Variant(), set);
  for (set.First(); !set.Eof(); set.Next()) {
    if (!isUserTable(set)) continue;
    lines.push_back("index " + FieldText(set, "TABLE_NAME") + "." + FieldText(set, "INDEX_NAME") + " " +
                    FieldText(set, "COLUMN_NAME") + " " + FieldText(set, "UNIQUE"));
  }
  set.Close();
  std::vector<std::string> statements;
  for (const std::string& table : tables) statements.push_back("SELECT * FROM " + table);
  for (const std::string& sql : probe) statements.push_back(sql);
  for (const std::string& sql : statements) {
    if (sql.rfind("SELECT", 0) != 0) {
      dm.ac.Execute(sql);
      continue;
    }
    ado::TDataSet rows;
    dm.ac.Query(sql, rows);
    for (rows.First(); !rows.Eof(); rows.Next()) {
      std::string line = sql + ":";
      for (int f = 0; f < rows.FieldCount(); ++f) {
        line += "|" + (rows.Fields(f).IsNull() ? std::string("<null>") : rows.Fields(f).AsString());
      }
      lines.push_back(line);
    }
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

}  // namespace update_test
