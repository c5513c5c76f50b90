#include "servers/sqlserver/InformationSchema.h"

#include <strings.h>

#include "servers/sqlserver/SqlError.h"
#include "servers/core/Sqlite.h"

namespace servers::sqlserver {

namespace {

// "@db" stands for the database's name as a literal.
const char* const kTables =
    "SELECT @db AS TABLE_CATALOG, u.name AS TABLE_SCHEMA, o.name AS TABLE_NAME, "
    "CASE rtrim(o.xtype) WHEN 'U' THEN 'BASE TABLE' ELSE 'VIEW' END AS TABLE_TYPE "
    "FROM sysobjects o JOIN sysusers u ON u.uid = o.uid WHERE o.xtype IN ('U', 'V')";

// Character, binary and number columns by the system type (bt) they are stored as.
const char* const kColumns =
    "SELECT @db AS TABLE_CATALOG, u.name AS TABLE_SCHEMA, o.name AS TABLE_NAME, c.name AS COLUMN_NAME, "
    "c.colid AS ORDINAL_POSITION, (SELECT group_concat(text, '') FROM (SELECT text FROM syscomments m "
    "WHERE m.id = c.cdefault ORDER BY m.colid)) AS COLUMN_DEFAULT, "
    "CASE c.isnullable WHEN 0 THEN 'NO' ELSE 'YES' END AS IS_NULLABLE, bt.name AS DATA_TYPE, "
    "CASE WHEN bt.xtype IN (167, 175, 231, 239) THEN c.prec WHEN bt.xtype IN (165, 173) THEN c.length "
    "WHEN bt.xtype IN (34, 35) THEN 2147483647 WHEN bt.xtype = 99 THEN 1073741823 END AS CHARACTER_MAXIMUM_LENGTH, "
    "CASE WHEN bt.xtype IN (165, 167, 173, 175, 231, 239) THEN c.length WHEN bt.xtype IN (34, 35) THEN 2147483647 "
    "WHEN bt.xtype = 99 THEN 2147483646 END AS CHARACTER_OCTET_LENGTH, "
    "CASE WHEN bt.xtype IN (48, 52, 56, 59, 60, 62, 106, 108, 122, 127) THEN c.xprec END AS NUMERIC_PRECISION, "
    "CASE WHEN bt.xtype IN (59, 62) THEN 2 WHEN bt.xtype IN (48, 52, 56, 60, 106, 108, 122, 127) THEN 10 END "
    "AS NUMERIC_PRECISION_RADIX, "
    "CASE WHEN bt.xtype IN (48, 52, 56, 60, 106, 108, 122, 127) THEN c.xscale END AS NUMERIC_SCALE, "
    "CASE bt.xtype WHEN 61 THEN 3 WHEN 58 THEN 0 END AS DATETIME_PRECISION, "
    "CASE WHEN bt.xtype IN (35, 99, 167, 175, 231, 239) THEN 'master' END AS CHARACTER_SET_CATALOG, "
    "CASE WHEN bt.xtype IN (35, 99, 167, 175, 231, 239) THEN 'dbo' END AS CHARACTER_SET_SCHEMA, "
    "CASE WHEN bt.xtype IN (35, 167, 175) THEN 'iso_1' WHEN bt.xtype IN (99, 231, 239) THEN 'UNICODE' END "
    "AS CHARACTER_SET_NAME, "
    "CASE WHEN c.collation IS NOT NULL THEN 'master' END AS COLLATION_CATALOG, "
    "CASE WHEN c.collation IS NOT NULL THEN 'dbo' END AS COLLATION_SCHEMA, c.collation AS COLLATION_NAME, "
    "CASE WHEN c.xusertype >= 256 THEN @db END AS DOMAIN_CATALOG, "
    "CASE WHEN c.xusertype >= 256 THEN (SELECT tu.name FROM sysusers tu WHERE tu.uid = ut.uid) END AS DOMAIN_SCHEMA, "
    "CASE WHEN c.xusertype >= 256 THEN ut.name END AS DOMAIN_NAME "
    "FROM syscolumns c JOIN sysobjects o ON o.id = c.id JOIN sysusers u ON u.uid = o.uid "
    "LEFT JOIN systypes ut ON ut.xusertype = c.xusertype "
    "LEFT JOIN systypes bt ON bt.xusertype = CASE WHEN c.xusertype >= 256 THEN c.xtype ELSE c.xusertype END "
    "WHERE o.xtype IN ('U', 'V')";

const char* const kViews =
    "SELECT @db AS TABLE_CATALOG, u.name AS TABLE_SCHEMA, o.name AS TABLE_NAME, "
    "(SELECT m.text FROM syscomments m WHERE m.id = o.id AND m.colid = 1) AS VIEW_DEFINITION, "
    "CASE WHEN (SELECT group_concat(m.text, '') FROM syscomments m WHERE m.id = o.id) LIKE '%WITH CHECK OPTION%' "
    "THEN 'CASCADE' ELSE 'NONE' END AS CHECK_OPTION, 'NO' AS IS_UPDATABLE "
    "FROM sysobjects o JOIN sysusers u ON u.uid = o.uid WHERE o.xtype = 'V'";

const char* const kRoutines =
    "SELECT @db AS SPECIFIC_CATALOG, u.name AS SPECIFIC_SCHEMA, o.name AS SPECIFIC_NAME, @db AS ROUTINE_CATALOG, "
    "u.name AS ROUTINE_SCHEMA, o.name AS ROUTINE_NAME, "
    "CASE rtrim(o.xtype) WHEN 'P' THEN 'PROCEDURE' ELSE 'FUNCTION' END AS ROUTINE_TYPE, "
    "NULL AS MODULE_CATALOG, NULL AS MODULE_SCHEMA, NULL AS MODULE_NAME, NULL AS UDT_CATALOG, NULL AS UDT_SCHEMA, "
    "NULL AS UDT_NAME, CASE WHEN rtrim(o.xtype) IN ('IF', 'TF') THEN 'TABLE' END AS DATA_TYPE, "
    "NULL AS CHARACTER_MAXIMUM_LENGTH, NULL AS CHARACTER_OCTET_LENGTH, NULL AS COLLATION_CATALOG, "
    "NULL AS COLLATION_SCHEMA, NULL AS COLLATION_NAME, NULL AS CHARACTER_SET_CATALOG, NULL AS CHARACTER_SET_SCHEMA, "
    "NULL AS CHARACTER_SET_NAME, NULL AS NUMERIC_PRECISION, NULL AS NUMERIC_PRECISION_RADIX, NULL AS NUMERIC_SCALE, "
    "NULL AS DATETIME_PRECISION, NULL AS INTERVAL_TYPE, NULL AS INTERVAL_PRECISION, NULL AS TYPE_UDT_CATALOG, "
    "NULL AS TYPE_UDT_SCHEMA, NULL AS TYPE_UDT_NAME, NULL AS SCOPE_CATALOG, NULL AS SCOPE_SCHEMA, NULL AS SCOPE_NAME, "
    "NULL AS MAXIMUM_CARDINALITY, NULL AS DTD_IDENTIFIER, 'SQL' AS ROUTINE_BODY, "
    "(SELECT m.text FROM syscomments m WHERE m.id = o.id AND m.colid = 1) AS ROUTINE_DEFINITION, "
    "NULL AS EXTERNAL_NAME, NULL AS EXTERNAL_LANGUAGE, NULL AS PARAMETER_STYLE, 'NO' AS IS_DETERMINISTIC, "
    "CASE rtrim(o.xtype) WHEN 'P' THEN 'MODIFIES' ELSE 'READS' END AS SQL_DATA_ACCESS, "
    "CASE rtrim(o.xtype) WHEN 'P' THEN NULL ELSE 'NO' END AS IS_NULL_CALL, NULL AS SQL_PATH, "
    "'YES' AS SCHEMA_LEVEL_ROUTINE, CASE rtrim(o.xtype) WHEN 'P' THEN -1 ELSE 0 END AS MAX_DYNAMIC_RESULT_SETS, "
    "'NO' AS IS_USER_DEFINED_CAST, 'NO' AS IS_IMPLICITLY_INVOCABLE, o.crdate AS CREATED, o.crdate AS LAST_ALTERED "
    "FROM sysobjects o JOIN sysusers u ON u.uid = o.uid WHERE o.xtype IN ('P', 'FN', 'IF', 'TF')";

const char* const kTableConstraints =
    "SELECT @db AS CONSTRAINT_CATALOG, u.name AS CONSTRAINT_SCHEMA, o.name AS CONSTRAINT_NAME, "
    "@db AS TABLE_CATALOG, tu.name AS TABLE_SCHEMA, t.name AS TABLE_NAME, "
    "CASE rtrim(o.xtype) WHEN 'PK' THEN 'PRIMARY KEY' WHEN 'UQ' THEN 'UNIQUE' WHEN 'F' THEN 'FOREIGN KEY' "
    "ELSE 'CHECK' END AS CONSTRAINT_TYPE, 'NO' AS IS_DEFERRABLE, 'NO' AS INITIALLY_DEFERRED "
    "FROM sysobjects o JOIN sysusers u ON u.uid = o.uid JOIN sysobjects t ON t.id = o.parent_obj "
    "JOIN sysusers tu ON tu.uid = t.uid WHERE o.xtype IN ('PK', 'UQ', 'F', 'C')";

const char* const kKeyColumnUsage =
    "SELECT @db AS CONSTRAINT_CATALOG, u.name AS CONSTRAINT_SCHEMA, o.name AS CONSTRAINT_NAME, "
    "@db AS TABLE_CATALOG, tu.name AS TABLE_SCHEMA, t.name AS TABLE_NAME, c.name AS COLUMN_NAME, "
    "k.keyno AS ORDINAL_POSITION FROM sysobjects o JOIN sysusers u ON u.uid = o.uid "
    "JOIN sysobjects t ON t.id = o.parent_obj JOIN sysusers tu ON tu.uid = t.uid "
    "JOIN sysindexes i ON i.id = t.id AND i.name = o.name JOIN sysindexkeys k ON k.id = i.id AND k.indid = i.indid "
    "JOIN syscolumns c ON c.id = k.id AND c.colid = k.colid WHERE o.xtype IN ('PK', 'UQ') "
    "UNION ALL "
    "SELECT @db, u.name, o.name, @db, tu.name, t.name, c.name, f.keyno FROM sysobjects o "
    "JOIN sysusers u ON u.uid = o.uid JOIN sysforeignkeys f ON f.constid = o.id "
    "JOIN sysobjects t ON t.id = f.fkeyid JOIN sysusers tu ON tu.uid = t.uid "
    "JOIN syscolumns c ON c.id = f.fkeyid AND c.colid = f.fkey WHERE o.xtype = 'F'";

const char* const kReferentialConstraints =
    "SELECT @db AS CONSTRAINT_CATALOG, u.name AS CONSTRAINT_SCHEMA, o.name AS CONSTRAINT_NAME, "
    "@db AS UNIQUE_CONSTRAINT_CATALOG, ru.name AS UNIQUE_CONSTRAINT_SCHEMA, i.name AS UNIQUE_CONSTRAINT_NAME, "
    "'SIMPLE' AS MATCH_OPTION, CASE r.updatecascade WHEN 1 THEN 'CASCADE' ELSE 'NO ACTION' END AS UPDATE_RULE, "
    "CASE r.deletecascade WHEN 1 THEN 'CASCADE' ELSE 'NO ACTION' END AS DELETE_RULE "
    "FROM sysreferences r JOIN sysobjects o ON o.id = r.constid JOIN sysusers u ON u.uid = o.uid "
    "JOIN sysobjects ro ON ro.id = r.rkeyid JOIN sysusers ru ON ru.uid = ro.uid "
    "LEFT JOIN sysindexes i ON i.id = r.rkeyid AND i.indid = r.rkeyindid";

}  // namespace

std::string InformationSchemaView(const std::string& name, const std::string& database) {
  struct View {
    const char* name;
    const char* sql;
  };
  static const View kViewsByName[] = {
      {"TABLES", kTables}, {"COLUMNS", kColumns}, {"VIEWS", kViews}, {"ROUTINES", kRoutines},
      {"TABLE_CONSTRAINTS", kTableConstraints}, {"KEY_COLUMN_USAGE", kKeyColumnUsage},
      {"REFERENTIAL_CONSTRAINTS", kReferentialConstraints}};
  for (const auto& v : kViewsByName) {
    if (strcasecmp(v.name, name.c_str()) != 0) continue;
    std::string sql = v.sql;
    const std::string db = SqlLiteral(database);
    for (size_t at = sql.find("@db"); at != std::string::npos; at = sql.find("@db", at + db.size()))
      sql.replace(at, 3, db);
    return "(" + sql + ")";
  }
  Fail(208, "Invalid object name 'INFORMATION_SCHEMA." + name + "'.");
}

}  // namespace servers::sqlserver
