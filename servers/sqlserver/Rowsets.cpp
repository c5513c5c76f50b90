// The OLE DB schema rowsets of the SQL Server stand-in, computed from the catalogue.
#include <strings.h>

#include <cstdio>

#include "platform/data/SchemaRowsets.h"
#include "servers/core/Rowsets.h"
#include "servers/sqlserver/Session.h"
#include "servers/sqlserver/SqlError.h"
#include "servers/sqlserver/Tokenizer.h"
#include "servers/sqlserver/Types.h"
#include "servers/sqlserver/UserTypes.h"

namespace servers::sqlserver {

namespace {

ado::Variant Text(Stmt& q, int col) { return q.IsNull(col) ? ado::Variant::Null() : ado::Variant(q.Text(col)); }
ado::Variant Int(Stmt& q, int col) {
  return q.IsNull(col) ? ado::Variant::Null() : ado::Variant(static_cast<long long>(q.Int(col)));
}
ado::Variant Date(Stmt& q, int col) {
  if (q.IsNull(col)) return ado::Variant::Null();
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  std::string t = q.Text(col);
  if (std::sscanf(t.c_str(), "%d-%d-%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &s, &ms) < 3) return ado::Variant::Null();
  return ado::EncodeDateTime(y, mo, d, h, mi, s, ms);
}
ado::Variant Null() { return ado::Variant::Null(); }
// Appends a row of the values, moved in rather than copied from a list.
template <class... Values>
void AddRow(ado::RowSet& rs, Values&&... values) {
  ado::Row row;
  row.reserve(sizeof...(Values));
  (row.emplace_back(std::forward<Values>(values)), ...);
  rs.Rows.push_back(std::move(row));
}

// True for a view text that ends in WITH CHECK OPTION (comments and a final ";" aside).
bool HasCheckOption(const std::string& text) {
  std::vector<Token> toks;
  try {
    toks = Tokenize(text);
  } catch (const ado::EOleException&) {
    return false;
  }
  toks.pop_back();  // the end marker
  if (!toks.empty() && toks.back().IsSymbol(";")) toks.pop_back();
  size_t n = toks.size();
  return n >= 3 && toks[n - 3].Is("WITH") && toks[n - 2].Is("CHECK") && toks[n - 1].Is("OPTION");
}


}  // namespace

ado::RowSet Session::OpenSchema(ado::TSchemaInfo kind, const std::vector<ado::Variant>& restrictions) {
  ado::RowSet rs;
  rs.Fields = ado::SchemaRowsetColumns(kind);
  if (rs.Fields.empty()) Fail(0, "The provider does not support the schema rowset requested.");
  ado::Variant db(database_);
  try {
    switch (kind) {
      case ado::siCatalogs: {
        Stmt q(Db(), std::string("SELECT name FROM ") + (InMaster() ? "" : "master.") + "sysdatabases ORDER BY name");
        while (q.Step()) AddRow(rs, Text(q, 0), Null());
        break;
      }
      case ado::siTables: {
        Stmt q(Db(), "SELECT u.name, o.name, CASE rtrim(o.xtype) WHEN 'U' THEN 'TABLE' WHEN 'V' THEN 'VIEW' ELSE 'SYSTEM TABLE' END, "
                     "o.crdate, o.refdate, p.value FROM sysobjects o LEFT JOIN sysusers u ON u.uid = o.uid "
                     "LEFT JOIN sysproperties p ON p.id = o.id AND p.smallid = 0 AND p.name = 'MS_Description' "
                     "WHERE o.xtype IN ('U', 'V', 'S') ORDER BY 3, 1, 2");
        while (q.Step())
          AddRow(rs, db, Text(q, 0), Text(q, 1), Text(q, 2), Null(), Text(q, 5), Null(), Date(q, 3), Date(q, 4));
        break;
      }
      case ado::siColumns: {
        Stmt q(Db(), "SELECT u.name, o.name, c.name, c.colid, c.cdefault, "
                     "(SELECT group_concat(text, '') FROM (SELECT text FROM syscomments m WHERE m.id = c.cdefault ORDER BY colid)), "
                     "c.isnullable, c.xusertype, c.length, c.prec, c.xscale, c.status, c.collation, p.value, c.xtype "
                     "FROM syscolumns c JOIN sysobjects o ON o.id = c.id LEFT JOIN sysusers u ON u.uid = o.uid "
                     "LEFT JOIN sysproperties p ON p.id = c.id AND p.smallid = c.colid AND p.name = 'MS_Description' "
                     "WHERE o.xtype IN ('U', 'V') ORDER BY 2, 1, 4");
        while (q.Step()) {
          const SqlType* t = BaseTypeOf(static_cast<int>(q.Int(14)), static_cast<int>(q.Int(7)));
          int ado = t ? t->adoType : 12;
          int64_t length = q.Int(8), prec = q.Int(9), scale = q.Int(10), status = q.Int(11);
          bool nullable = q.Int(6) != 0;
          bool isLong = t && IsLongType(t->xtype);
          int64_t flags = (nullable ? 0x60 : 0) | (isLong ? 0x80 : 0) |
                          ((status & 0x80) || (t && t->xtype == 189) ? 0 : 0x8) |
                          (t && !t->sized && !isLong ? 0x10 : 0);
          ado::Variant charMax = Null(), octet = Null(), numPrec = Null(), numScale = Null(), dtPrec = Null();
          if (t && (t->sized || isLong || t->xusertype == 256)) {
            charMax = static_cast<long long>(isLong ? prec : (t->character ? prec : length));
            octet = static_cast<long long>(isLong ? (t->xtype == 99 ? 2147483646 : 2147483647) : length);
          }
          if (t && (t->decimal || t->xtype == 48 || t->xtype == 52 || t->xtype == 56 || t->xtype == 127 ||
                    t->xtype == 59 || t->xtype == 62 || t->xtype == 60 || t->xtype == 122))
            numPrec = static_cast<long long>(prec);
          if (t && t->decimal) numScale = static_cast<long long>(scale);
          if (t && (t->xtype == 61 || t->xtype == 58)) dtPrec = static_cast<long long>(t->xtype == 61 ? 3 : 0);
          AddRow(rs, db, Text(q, 0), Text(q, 1), Text(q, 2), Null(), Null(), Int(q, 3),
                     ado::Variant(q.Int(4) != 0), Text(q, 5), ado::Variant(static_cast<long long>(flags)),
                     ado::Variant(nullable), ado::Variant(ado), Null(), charMax, octet, numPrec, numScale, dtPrec,
                     Null(), Null(), Null(), Null(), Null(), Text(q, 12), Null(), Null(), Null(), Text(q, 13));
        }
        break;
      }
      case ado::siIndexes: {
        Stmt q(Db(), "SELECT u.name, o.name, i.name, i.status, i.indid, i.OrigFillFactor, k.keyno, c.name, "
                     "hex(substr(i.keys, k.keyno, 1)) = '01' "
                     "FROM sysindexes i JOIN sysobjects o ON o.id = i.id LEFT JOIN sysusers u ON u.uid = o.uid "
                     "JOIN sysindexkeys k ON k.id = i.id AND k.indid = i.indid "
                     "JOIN syscolumns c ON c.id = k.id AND c.colid = k.colid "
                     "WHERE o.xtype = 'U' AND i.indid BETWEEN 1 AND 254 ORDER BY i.id, i.indid, k.keyno");
        while (q.Step()) {
          int64_t status = q.Int(3);
          bool clustered = q.Int(4) == 1;
          AddRow(rs, db, Text(q, 0), Text(q, 1), db, Text(q, 0), Text(q, 2), ado::Variant((status & 0x800) != 0),
                     ado::Variant((status & 2) != 0), ado::Variant(clustered), ado::Variant(1), Int(q, 5), Null(),
                     ado::Variant(0), ado::Variant(false), ado::Variant(true), ado::Variant(4), Int(q, 6),
                     Text(q, 7), Null(), Null(), ado::Variant(q.Int(8) ? 2 : 1), Null(), Null(), Null(), ado::Variant(clustered));
        }
        break;
      }
      case ado::siForeignKeys: {
        Stmt q(Db(), "SELECT pu.name, po.name, pc.name, fu.name, fo.name, fc.name, k.keyno, r.updatecascade, r.deletecascade, "
                     "pi.name, co.name FROM sysforeignkeys k JOIN sysreferences r ON r.constid = k.constid "
                     "JOIN sysobjects co ON co.id = k.constid JOIN sysobjects po ON po.id = k.rkeyid "
                     "JOIN sysobjects fo ON fo.id = k.fkeyid LEFT JOIN sysusers pu ON pu.uid = po.uid "
                     "LEFT JOIN sysusers fu ON fu.uid = fo.uid JOIN syscolumns pc ON pc.id = k.rkeyid AND pc.colid = k.rkey "
                     "JOIN syscolumns fc ON fc.id = k.fkeyid AND fc.colid = k.fkey "
                     "LEFT JOIN sysindexes pi ON pi.id = r.rkeyid AND pi.indid = r.rkeyindid ORDER BY 5, 11, 7");
        while (q.Step())
          AddRow(rs, db, Text(q, 0), Text(q, 1), Text(q, 2), Null(), Null(), db, Text(q, 3), Text(q, 4), Text(q, 5),
                     Null(), Null(), Int(q, 6), ado::Variant(q.Int(7) ? "CASCADE" : "NO ACTION"),
                     ado::Variant(q.Int(8) ? "CASCADE" : "NO ACTION"), Text(q, 9), Text(q, 10), ado::Variant(3));
        break;
      }
      case ado::siPrimaryKeys: {
        Stmt q(Db(), "SELECT u.name, o.name, c.name, k.keyno, i.name FROM sysindexes i JOIN sysobjects o ON o.id = i.id "
                     "LEFT JOIN sysusers u ON u.uid = o.uid JOIN sysindexkeys k ON k.id = i.id AND k.indid = i.indid "
                     "JOIN syscolumns c ON c.id = k.id AND c.colid = k.colid WHERE (i.status & 2048) <> 0 ORDER BY 2, 4");
        while (q.Step()) AddRow(rs, db, Text(q, 0), Text(q, 1), Text(q, 2), Null(), Null(), Int(q, 3), Text(q, 4));
        break;
      }
      case ado::siTableConstraints: {
        Stmt q(Db(), "SELECT u.name, c.name, t.name, CASE rtrim(c.xtype) WHEN 'PK' THEN 'PRIMARY KEY' WHEN 'UQ' THEN 'UNIQUE' "
                     "WHEN 'F' THEN 'FOREIGN KEY' ELSE 'CHECK' END FROM sysobjects c JOIN sysobjects t ON t.id = c.parent_obj "
                     "LEFT JOIN sysusers u ON u.uid = c.uid WHERE c.xtype IN ('PK', 'UQ', 'F', 'C') ORDER BY 3, 2");
        while (q.Step())
          AddRow(rs, db, Text(q, 0), Text(q, 1), db, Text(q, 0), Text(q, 2), Text(q, 3), ado::Variant(false),
                     ado::Variant(false), Null());
        break;
      }
      case ado::siViews: {
        Stmt q(Db(), "SELECT u.name, o.name, (SELECT CASE WHEN max(encrypted) = 1 THEN NULL ELSE group_concat(text, '') END "
                     "FROM (SELECT text, encrypted FROM syscomments m WHERE m.id = o.id ORDER BY colid)), o.crdate, o.refdate "
                     "FROM sysobjects o LEFT JOIN sysusers u ON u.uid = o.uid WHERE o.xtype = 'V' ORDER BY 2");
        while (q.Step())
          AddRow(rs, db, Text(q, 0), Text(q, 1), Text(q, 2), ado::Variant(HasCheckOption(q.Text(2))),
                     ado::Variant(true), Null(), Date(q, 3), Date(q, 4));
        break;
      }
      case ado::siProcedures: {
        Stmt q(Db(), "SELECT u.name, o.name, rtrim(o.xtype), o.crdate, o.refdate FROM sysobjects o "
                     "LEFT JOIN sysusers u ON u.uid = o.uid WHERE o.xtype IN ('P', 'FN', 'IF', 'TF') ORDER BY 2");
        while (q.Step()) {
          bool proc = q.Text(2) == "P";
          AddRow(rs, db, Text(q, 0), ado::Variant(q.Text(1) + (proc ? ";1" : ";0")), ado::Variant(proc ? 2 : 3),
                     Null(), Null(), Date(q, 3), Date(q, 4));
        }
        break;
      }
    }
  } catch (const ESqliteError& e) {
    FailUnmapped(e, 1, std::string(), database_);
  }
  RestrictRowset(rs, kind, restrictions);
  return rs;
}

}  // namespace servers::sqlserver
