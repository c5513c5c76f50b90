// The OLE DB schema rowsets of the stand-in that its dialect reads through the provider:
// INDEXES (primary keys as "<table> (primary key)", no foreign keys), VIEWS, FOREIGN_KEYS and
// PRIMARY_KEYS (named after their tables).
#include "platform/data/SchemaRowsets.h"
#include "servers/asa/Errors.h"
#include "servers/asa/Session.h"
#include "servers/core/Rowsets.h"

namespace servers::asa {

namespace {

ado::Variant Text(Stmt& q, int col) { return q.IsNull(col) ? ado::Variant::Null() : ado::Variant(q.Text(col)); }
ado::Variant Int(Stmt& q, int col) {
  return q.IsNull(col) ? ado::Variant::Null() : ado::Variant(static_cast<long long>(q.Int(col)));
}
ado::Variant Null() { return ado::Variant::Null(); }

// The user tables and their owners, as a join source.
const char* const kTables = "SYSTABLE t JOIN SYSUSERPERM u ON u.user_id = t.creator";

}  // namespace

ado::RowSet Session::OpenSchema(ado::TSchemaInfo kind, const std::vector<ado::Variant>& restrictions) {
  ado::RowSet rs;
  rs.Fields = ado::SchemaRowsetColumns(kind);
  ado::Variant db(database_);
  switch (kind) {
    case ado::siIndexes: {
      // Index rows, then the primary keys' rows.
      Stmt q(Db(), std::string("SELECT u.user_name, t.table_name, i.index_name, i.\"unique\" <> 'N', EXISTS (SELECT 1 "
                               "FROM SYSATTRIBUTE a WHERE a.object_id = t.table_id AND a.object_type = 'T' AND "
                               "a.attribute_value = i.index_id), x.sequence + 1, c.column_name, x.\"order\" = 'D', 0 "
                               "FROM ") + kTables + " JOIN SYSINDEX i ON i.table_id = t.table_id JOIN SYSIXCOL x ON "
                   "x.table_id = i.table_id AND x.index_id = i.index_id JOIN SYSCOLUMN c ON c.table_id = x.table_id "
                   "AND c.column_id = x.column_id UNION ALL SELECT u.user_name, t.table_name, t.table_name || ' (primary "
                   "key)', 1, EXISTS (SELECT 1 FROM SYSATTRIBUTE a WHERE a.object_id = t.table_id AND a.object_type = "
                   "'T' AND a.attribute_value = 0), (SELECT count(*) FROM SYSCOLUMN p WHERE p.table_id = t.table_id AND "
                   "p.pkey = 'Y' AND p.column_id <= c.column_id), c.column_name, 0, 1 FROM " + kTables +
                   " JOIN SYSCOLUMN c ON c.table_id = t.table_id WHERE c.pkey = 'Y' ORDER BY 2, 3, 6");
      while (q.Step()) {
        bool clustered = q.Int(4) != 0;
        rs.Rows.push_back({db, Text(q, 0), Text(q, 1), db, Text(q, 0), Text(q, 2), ado::Variant(q.Int(8) != 0),
                           ado::Variant(q.Int(3) != 0), ado::Variant(clustered), ado::Variant(1), Null(), Null(),
                           ado::Variant(0), ado::Variant(false), ado::Variant(true), ado::Variant(4), Int(q, 5),
                           Text(q, 6), Null(), Null(), ado::Variant(q.Int(7) ? 2 : 1), Null(), Null(), Null(),
                           ado::Variant(clustered)});
      }
      break;
    }
    case ado::siViews: {
      Stmt q(Db(), std::string("SELECT u.user_name, t.table_name, t.view_def FROM ") + kTables +
                       " WHERE t.table_type = 'VIEW' AND t.view_def IS NOT NULL ORDER BY 2");
      while (q.Step())
        rs.Rows.push_back({db, Text(q, 0), Text(q, 1), Text(q, 2), ado::Variant(false), ado::Variant(true), Null(),
                           Null(), Null()});
      break;
    }
    case ado::siForeignKeys: {
      Stmt q(Db(), "SELECT pu.user_name, pt.table_name, pc.column_name, fu.user_name, ft.table_name, fc.column_name, "
                   "(SELECT count(*) FROM SYSFKCOL o WHERE o.foreign_table_id = k.foreign_table_id AND "
                   "o.foreign_key_id = k.foreign_key_id AND o.foreign_column_id <= k.foreign_column_id), f.role, "
                   // A key's referential actions are its system triggers on the referenced table.
                   "(SELECT CASE r.referential_action WHEN 'C' THEN 'CASCADE' WHEN 'N' THEN 'SET NULL' WHEN 'D' THEN "
                   "'SET DEFAULT' END FROM SYSTRIGGER r WHERE r.foreign_table_id = f.foreign_table_id AND "
                   "r.foreign_key_id = f.foreign_key_id AND r.event = 'U'), (SELECT CASE r.referential_action WHEN 'C' "
                   "THEN 'CASCADE' WHEN 'N' THEN 'SET NULL' WHEN 'D' THEN 'SET DEFAULT' END FROM SYSTRIGGER r WHERE "
                   "r.foreign_table_id = f.foreign_table_id AND r.foreign_key_id = f.foreign_key_id AND r.event = 'D') "
                   "FROM SYSFOREIGNKEY f JOIN SYSFKCOL k ON k.foreign_table_id = f.foreign_table_id AND "
                   "k.foreign_key_id = f.foreign_key_id JOIN SYSTABLE pt ON pt.table_id = f.primary_table_id JOIN "
                   "SYSUSERPERM pu ON pu.user_id = pt.creator JOIN SYSTABLE ft ON ft.table_id = f.foreign_table_id "
                   "JOIN SYSUSERPERM fu ON fu.user_id = ft.creator JOIN SYSCOLUMN pc ON pc.table_id = pt.table_id AND "
                   "pc.column_id = k.primary_column_id JOIN SYSCOLUMN fc ON fc.table_id = ft.table_id AND "
                   "fc.column_id = k.foreign_column_id ORDER BY 5, 8, 7");
      while (q.Step())
        rs.Rows.push_back({db, Text(q, 0), Text(q, 1), Text(q, 2), Null(), Null(), db, Text(q, 3), Text(q, 4),
                           Text(q, 5), Null(), Null(), Int(q, 6), ado::Variant(q.IsNull(8) ? "RESTRICT" : q.Text(8)),
                           ado::Variant(q.IsNull(9) ? "RESTRICT" : q.Text(9)),
                           Text(q, 1), Text(q, 7), ado::Variant(3)});
      break;
    }
    case ado::siPrimaryKeys: {
      Stmt q(Db(), std::string("SELECT u.user_name, t.table_name, c.column_name, (SELECT count(*) FROM SYSCOLUMN p "
                               "WHERE p.table_id = t.table_id AND p.pkey = 'Y' AND p.column_id <= c.column_id) FROM ") +
                       kTables + " JOIN SYSCOLUMN c ON c.table_id = t.table_id WHERE c.pkey = 'Y' ORDER BY 2, 4");
      while (q.Step())
        rs.Rows.push_back({db, Text(q, 0), Text(q, 1), Text(q, 2), Null(), Null(), Int(q, 3), Text(q, 1)});
      break;
    }
    default:
      Fail(-134, "Feature 'schema rowset' not implemented");
  }
  RestrictRowset(rs, kind, restrictions);
  return rs;
}

}  // namespace servers::asa
