// The OLE DB schema rowsets of the Access stand-in, from its catalogue: no catalogue or schema
// names (null), Jet's type indicators and column flags, no clustered indexes.
#include "servers/core/Rowsets.h"

#include <cstdio>

#include "platform/data/SchemaRowsets.h"
#include "servers/access/JetError.h"
#include "servers/access/Session.h"

namespace servers::access {

namespace {

ado::Variant Null() { return ado::Variant::Null(); }
ado::Variant Int(int64_t v) { return ado::Variant(static_cast<long long>(v)); }

ado::Variant Date(const std::string& t) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  if (std::sscanf(t.c_str(), "%d-%d-%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &s, &ms) < 3) return Null();
  return ado::EncodeDateTime(y, mo, d, h, mi, s, ms);
}

// Column flags of the COLUMNS rowset.
constexpr int64_t kWrite = 0x4, kFixed = 0x10, kNullable = 0x20, kMaybeNull = 0x40, kIsLong = 0x80;
// A counter: not writable, write unknown, as Jet reports it.
constexpr int64_t kCounterFlags = 0x5A;

struct TypeFacts {
  const char* name;
  int indicator;
  bool fixed, isLong;
  int precision;  // 0: none
};

const TypeFacts& Facts(const std::string& type) {
  static const TypeFacts kFacts[] = {{"text", 130, false, false, 0},   {"memo", 130, false, true, 0},
                                     {"binary", 128, false, false, 0}, {"ole", 128, false, true, 0},
                                     {"datetime", 7, true, false, 0},  {"decimal", 131, true, false, 18},
                                     {"smallint", 2, true, false, 5},  {"int", 3, true, false, 10},
                                     {"real", 4, true, false, 7},      {"float", 5, true, false, 15},
                                     {"money", 6, true, false, 19},    {"bit", 11, true, false, 0},
                                     {"tinyint", 17, true, false, 3},  {"uniqueidentifier", 72, true, false, 0}};
  for (const auto& f : kFacts)
    if (type == f.name) return f;
  return kFacts[0];
}

// Every table's columns, or indexes, in one query each: tables by name, then in their order.
std::vector<std::pair<std::string, JetColumn>> AllColumns(sqlite3* db) {
  std::vector<std::pair<std::string, JetColumn>> out;
  Stmt q(db,
         "SELECT c.tbl, c.name, c.type, c.length, c.scale, c.required, c.counter, c.default_text "
         "FROM msys_columns c JOIN msys_objects o ON o.name = c.tbl AND o.type = 'TABLE' ORDER BY o.name, c.ordinal");
  while (q.Step()) {
    JetColumn c;
    c.name = q.Text(1);
    c.type = q.Text(2);
    c.length = static_cast<int>(q.Int(3));
    c.scale = static_cast<int>(q.Int(4));
    c.required = q.Int(5) != 0;
    c.counter = q.Int(6) != 0;
    c.defaultText = q.Text(7);
    out.emplace_back(q.Text(0), c);
  }
  return out;
}

std::vector<std::pair<std::string, JetIndex>> AllIndexes(sqlite3* db) {
  std::vector<std::pair<std::string, JetIndex>> out;
  Stmt q(db,
         "SELECT i.tbl, i.name, i.is_primary, i.is_unique, i.is_constraint, i.keys, i.descs "
         "FROM msys_indexes i JOIN msys_objects o ON o.name = i.tbl AND o.type = 'TABLE' ORDER BY o.name, i.ordinal");
  while (q.Step()) {
    JetIndex ix;
    ix.name = q.Text(1);
    ix.primary = q.Int(2) != 0;
    ix.unique = q.Int(3) != 0;
    ix.constraint = q.Int(4) != 0;
    ix.keys = SplitNames(q.Text(5));
    for (char d : q.Text(6)) ix.descending.push_back(d == '1');
    out.emplace_back(q.Text(0), ix);
  }
  return out;
}

void ColumnRows(sqlite3* db, ado::RowSet& rs) {
  std::string table;
  int ordinal = 0;
  for (const auto& [tableName, c] : AllColumns(db)) {
    if (tableName != table) ordinal = 0;
    table = tableName;
    {
      const TypeFacts& f = Facts(c.type);
      int64_t flags =
          kWrite | (f.fixed ? kFixed : 0) | (f.isLong ? kIsLong : 0) | (c.required ? 0 : kNullable | kMaybeNull);
      if (c.counter) flags = kCounterFlags;
      ado::Variant length = Null(), octets = Null(), precision = Null(), scale = Null();
      if (c.type == "text" || c.type == "binary") {
        length = Int(c.length);
        octets = Int(c.type == "text" ? 2 * c.length : c.length);
      } else if (f.isLong) {
        length = Int(0);
        octets = Int(0);
      }
      if (c.type == "decimal") {
        precision = Int(c.length);
        scale = Int(c.scale);
      } else if (f.precision > 0) {
        precision = Int(f.precision);
      }
      rs.Rows.push_back({Null(),
                         Null(),
                         tableName,
                         c.name,
                         Null(),
                         Null(),
                         Int(++ordinal),
                         !c.defaultText.empty(),
                         c.defaultText.empty() ? Null() : ado::Variant(c.defaultText),
                         Int(flags),
                         !c.required,
                         Int(f.indicator),
                         Null(),
                         length,
                         octets,
                         precision,
                         scale,
                         c.type == "datetime" ? Int(0) : Null(),
                         Null(),
                         Null(),
                         Null(),
                         Null(),
                         Null(),
                         Null(),
                         Null(),
                         Null(),
                         Null(),
                         Null()});
    }
  }
}

void IndexRows(sqlite3* db, ado::RowSet& rs) {
  for (const auto& [table, ix] : AllIndexes(db))
    for (size_t k = 0; k < ix.keys.size(); ++k) {
      const bool desc = k < ix.descending.size() && ix.descending[k];
      rs.Rows.push_back({Null(),
                         Null(),
                         table,
                         Null(),
                         Null(),
                         ix.name,
                         ix.primary,
                         ix.unique || ix.primary,
                         false,
                         Int(1),
                         Null(),
                         Null(),
                         Int(ix.primary ? 1 : 0),
                         false,
                         true,
                         Int(4),
                         Int(static_cast<int64_t>(k) + 1),
                         ix.keys[k],
                         Null(),
                         Null(),
                         Int(desc ? 2 : 1),
                         Null(),
                         Null(),
                         Null(),
                         false});
    }
}

// The name of the index that a relationship's referenced columns use in the parent.
std::string KeyName(const JetTable* parent, const JetRelation& r) {
  if (!parent) return {};
  for (const auto& ix : parent->indexes)
    if ((ix.primary || ix.unique) && ix.keys.size() == r.refColumns.size()) {
      bool same = true;
      for (size_t i = 0; i < ix.keys.size(); ++i) same = same && ix.keys[i] == r.refColumns[i];
      if (same) return ix.name;
    }
  return {};
}

}  // namespace

ado::RowSet Session::OpenSchema(ado::TSchemaInfo kind, const std::vector<ado::Variant>& restrictions) {
  ado::RowSet rs;
  rs.Fields = ado::SchemaRowsetColumns(kind);
  if (rs.Fields.empty()) JetFail(3251, "Operation is not supported for this type of object.");
  switch (kind) {
    case ado::siCatalogs:
      rs.Rows.push_back({path_, Null()});
      break;
    case ado::siTables: {
      Stmt q(Db(),
             "SELECT name, type, created, modified FROM msys_objects WHERE type IN ('TABLE', 'VIEW') ORDER BY 2, 1");
      while (q.Step())
        rs.Rows.push_back(
            {Null(), Null(), q.Text(0), q.Text(1), Null(), Null(), Null(), Date(q.Text(2)), Date(q.Text(3))});
      break;
    }
    case ado::siColumns:
      ColumnRows(Db(), rs);
      break;
    case ado::siIndexes:
      IndexRows(Db(), rs);
      break;
    case ado::siPrimaryKeys:
      for (const auto& [table, ix] : AllIndexes(Db()))
        if (ix.primary)
          for (size_t k = 0; k < ix.keys.size(); ++k)
            rs.Rows.push_back(
                {Null(), Null(), table, ix.keys[k], Null(), Null(), Int(static_cast<int64_t>(k) + 1), ix.name});
      break;
    case ado::siForeignKeys:
      for (const auto& r : Relations(Db())) {
        auto parent = LoadTable(Db(), r.refTable);
        const std::string key = KeyName(parent ? &*parent : nullptr, r);
        for (size_t k = 0; k < r.columns.size() && k < r.refColumns.size(); ++k)
          rs.Rows.push_back({Null(), Null(), r.refTable, r.refColumns[k], Null(), Null(), Null(), Null(), r.table,
                             r.columns[k], Null(), Null(), Int(static_cast<int64_t>(k) + 1),
                             std::string(r.updateCascade ? "CASCADE" : "NO ACTION"),
                             std::string(r.deleteCascade ? "CASCADE" : "NO ACTION"),
                             key.empty() ? Null() : ado::Variant(key), r.name, Int(3)});
      }
      break;
    case ado::siTableConstraints:
      for (const auto& [table, ix] : AllIndexes(Db()))
        if (ix.constraint || ix.primary)
          rs.Rows.push_back({Null(), Null(), ix.name, Null(), Null(), table,
                             std::string(ix.primary ? "PRIMARY KEY" : "UNIQUE"), false, false, Null()});
      for (const auto& r : Relations(Db()))
        rs.Rows.push_back(
            {Null(), Null(), r.name, Null(), Null(), r.table, std::string("FOREIGN KEY"), false, false, Null()});
      break;
    case ado::siViews:
    case ado::siProcedures: {
      const bool views = kind == ado::siViews;
      Stmt q(Db(), std::string("SELECT name, definition, created, modified FROM msys_objects WHERE type = '") +
                       (views ? "VIEW" : "PROCEDURE") + "' ORDER BY name");
      while (q.Step()) {
        if (views)
          rs.Rows.push_back(
              {Null(), Null(), q.Text(0), q.Text(1), false, false, Null(), Date(q.Text(2)), Date(q.Text(3))});
        else
          rs.Rows.push_back({Null(), Null(), q.Text(0), Int(3), q.Text(1), Null(), Date(q.Text(2)), Date(q.Text(3))});
      }
      break;
    }
  }
  RestrictRowset(rs, kind, restrictions);
  return rs;
}

}  // namespace servers::access
