// A text picture of a database's schema and rows: every catalogue table and every user table,
// row by row, so that two states can be compared exactly.
#pragma once

#include <string>

#include "platform/data/Provider.h"

inline std::string RowSetText(const ado::RowSet& rs) {
  std::string out;
  for (const auto& f : rs.Fields) out += f.Name + "|";
  out += "\n";
  for (const auto& row : rs.Rows) {
    for (const auto& v : row) out += (v.IsNull() ? std::string("<null>") : v.AsString()) + "|";
    out += "\n";
  }
  return out;
}

inline std::string Snapshot(ado::IProviderSession& s) {
  static const char* const kCatalog[] = {
      "sysobjects order by id", "syscolumns order by id, colid", "syscomments order by id, colid",
      "sysindexes order by id, indid", "sysindexkeys order by id, indid, keyno", "sysusers order by uid",
      "sysmembers order by memberuid, groupuid", "sysfilegroups order by groupid", "sysfiles order by fileid",
      "sysproperties order by id, smallid, name", "sysforeignkeys order by constid, keyno",
      "sysreferences order by constid", "sysconstraints order by constid"};
  std::string out;
  for (const char* t : kCatalog) {
    auto r = s.Execute(std::string("select * from ") + t);
    out += std::string("== ") + t + "\n" + RowSetText(r.at(0).Rows);
  }
  auto tables = s.Execute("select name, user_name(uid) from sysobjects where xtype = 'U' order by name, uid");
  for (const auto& row : tables.at(0).Rows.Rows) {
    std::string name = row[0].AsString();
    std::string quoted;
    for (const std::string& part : {row[1].AsString(), name}) {
      quoted += quoted.empty() ? "[" : ".[";
      for (char c : part) quoted += c == ']' ? std::string("]]") : std::string(1, c);
      quoted += "]";
    }
    size_t columns = s.Execute("select * from " + quoted + " where 1 = 0").at(0).Rows.Fields.size();
    std::string order;
    for (size_t i = 1; i <= columns; ++i) order += (i > 1 ? ", " : "") + std::to_string(i);
    auto r = s.Execute("select * from " + quoted + " order by " + order);
    out += "== " + quoted + "\n" + RowSetText(r.at(0).Rows);
  }
  return out;
}
