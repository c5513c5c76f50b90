// A generated schema for the scale benchmarks: N tables of 8 to 12 mixed columns with a key, one or
// two indexes, defaults and a foreign key to an earlier table, and N/50 views; written as a script
// for the SQL Server stand-in (batches split by GO) or as the same DDL for plain SQLite. A client
// variant differs in every tenth table: a column missing, a column of another size, a default
// missing and an index missing.
#pragma once

#include <string>

namespace bench {

struct SchemaOptions {
  int tables = 0;
  bool client = false;  // the variant that differs in every tenth table
  bool sqlite = false;  // plain SQLite DDL, one statement a line, instead of the server's script
};

namespace generated {

struct Column {
  std::string name, type, sqliteType, def;  // def: the default expression, empty for none
};

// `narrower`: the client's column of another size, ten characters less.
inline Column ColumnOf(int table, int col, bool narrower) {
  const std::string n = "C" + std::to_string(col);
  switch ((table + col) % 6) {
    case 0: return {n, "int NULL", "int", col % 3 == 0 ? "(0)" : ""};
    case 1: return {n, narrower ? "nvarchar (30) NULL" : "nvarchar (40) NULL", "nvarchar(40)", ""};
    case 2: return {n, "decimal (10, 2) NULL", "decimal(10,2)", col % 2 == 0 ? "(1.5)" : ""};
    case 3: return {n, "datetime NULL", "datetime", ""};
    case 4: return {n, "bit NOT NULL", "bit NOT NULL", "(0)"};
    default: return {n, narrower ? "varchar (10) NULL" : "varchar (20) NULL", "varchar(20)", col % 2 == 0 ? "('x')" : ""};
  }
}

// The table's first character column the client has, the one of another size there.
inline int SizedColumn(int table, int columns) {
  for (int c = 1; c < columns - 2; ++c)
    if ((table + c) % 6 == 1 || (table + c) % 6 == 5) return c;
  return 0;
}

}  // namespace generated

// The script of the schema; the server's batches are separated by lines of GO.
inline std::string SchemaScript(const SchemaOptions& o) {
  using generated::Column;
  std::string out;
  const std::string end = o.sqlite ? ";\n" : "\nGO\n";
  for (int t = 0; t < o.tables; ++t) {
    const std::string name = "T" + std::to_string(t);
    const bool differs = o.client && t % 10 == 5;
    const int columns = 8 + t % 5;
    std::string create = "CREATE TABLE " + name + " (Id int NOT NULL" + (o.sqlite ? " PRIMARY KEY" : "") +
                         ", ParentId int NULL";
    std::string after;
    const int sized = differs ? generated::SizedColumn(t, columns) : 0;
    for (int c = 1; c < columns - 1; ++c) {
      if (differs && c == columns - 2) continue;  // the column the client lacks
      const Column col = generated::ColumnOf(t, c, c == sized);
      create += ", " + col.name + " " + (o.sqlite ? col.sqliteType : col.type);
      if (col.def.empty() || (differs && c == 2)) continue;  // the default the client lacks
      if (o.sqlite) {
        create += " DEFAULT " + col.def;
      } else if (c % 2) {
        create += " CONSTRAINT DF_" + name + "_" + col.name + " DEFAULT " + col.def;
      } else {
        after += "ALTER TABLE " + name + " ADD CONSTRAINT DF_" + name + "_" + col.name + " DEFAULT " + col.def +
                 " FOR " + col.name + end;
      }
    }
    if (o.sqlite && t > 0) create += ", FOREIGN KEY (ParentId) REFERENCES T" + std::to_string(t / 2) + " (Id)";
    out += create + ")" + end;
    if (!o.sqlite) {
      out += "ALTER TABLE " + name + " ADD CONSTRAINT PK_" + name + " PRIMARY KEY (Id)" + end;
      out += after;
      if (t > 0)
        out += "ALTER TABLE " + name + " ADD CONSTRAINT FK_" + name + " FOREIGN KEY (ParentId) REFERENCES T" +
               std::to_string(t / 2) + " (Id)" + end;
    }
    out += "CREATE INDEX IX_" + name + "_C1 ON " + name + " (C1)" + end;
    if (t % 2 && !differs) out += "CREATE INDEX IX_" + name + "_C2 ON " + name + " (C2, C3)" + end;
  }
  for (int v = 0; v < o.tables / 50; ++v) {
    const std::string a = "T" + std::to_string(v * 50 + 1), b = "T" + std::to_string(v * 25);
    out += "CREATE VIEW V" + std::to_string(v) + " AS SELECT a.Id, a.C1, b.C2 FROM " + a + " a JOIN " + b +
           " b ON b.Id = a.ParentId" + end;
  }
  return out;
}

}  // namespace bench
