// Catalogue queries of the Adaptive Server Anywhere dialect, over the server's SYS tables and
// views. The texts are sent exactly as they stand; restriction clauses are appended to them.
#pragma once

namespace asa_queries {

constexpr const char* kTablesQuery =
    "select dbSpaceName as TABLE_DBSPACE, creator as TABLE_SCHEMA, tName as "
    "TABLE_NAME, if (creator = 'SYS') or (creator = 'dbo') or  (creator = "
    "'rs_sys_tabgroup') or (creator = 'rs_systabgroup')   then 'SYSTEM ' + tableType "
    "   else TableType endif as TABLE_TYPE,  NULL as TABLE_GUID,  remarks as "
    "DESCRIPTION,  NULL as TABLE_PROPID,  NULL as DATE_CREATED,  NULL as "
    "DATE_MODIFIED  from sys.sysCatalog  where tableType in ('TABLE', 'VIEW', 'GBL "
    "TEMP') ";
constexpr const char* kColumnsQuery =
    "select '' as DATABASE_NAME, user_name(tab.creator) as TABLE_SCHEMA, "
    "tab.table_name as TABLE_NAME, col.column_name as COLUMN_NAME, col.column_id as "
    "ORDINAL_POSITION, col.\"default\" as COLUMN_DEFAULT, if (col.nulls = 'Y') then 1 "
    "else 0 endif as IS_NULLABLE, if (col.user_type is null) then col.domain_id else "
    "col.user_type endif as COLUMN_TYPE, if (col.user_type is null) then "
    "so.domain_name else sut.type_name endif as COLUMN_TYPE_NAME, col.width as SIZE, "
    "col.scale as SCALE, if (col.\"default\" is not null and col.\"default\" = "
    "'autoincrement')    then 1 else 0 endif as IS_IDENTITY, 1 as IDENTITY_SEED, 1 "
    "as IDENTITY_INCR, '' as COLLATION_NAME, col.remarks as DESCRIPTION from "
    "sys.syscolumn col inner join sys.systable tab on col.table_id = tab.table_id "
    "left outer join sys.sysdomain so on col.domain_id = so.domain_id left outer "
    "join sys.sysusertype sut on sut.type_id = col.user_type where col.column_type = "
    "'R' ";
constexpr const char* kDefaultValuesQuery =
    "select '' as CONSTRAINT_NAME, null as ID,  c1.creator as TABLE_SCHEMA,  "
    "c1.tName as TABLE_NAME,  c1.cName as COLUMN_NAME,  c1.colType as "
    "COLUMN_TYPE_NAME,  c1.default_Value as TEXT  from sys.sysColumns c1  where "
    "c1.column_kind = 'R' and c1.default_value is not null";
constexpr const char* kProcedurePart =
    "select '' AS PROCEDURE_CATALOG,  sup.user_name as PROCEDURE_SCHEMA,  proc_name "
    "as PROCEDURE_NAME,  if substr(proc_defn, 1, 15) = 'create function' then 'FN'   "
    "  else 'P' endif AS PROCEDURE_TYPE,  proc_defn as PROCEDURE_DEFINITION,  "
    "prc.remarks as DESCRIPTION,  0 as ENCRYPTED,  NULL AS DATE_CREATED,  NULL AS "
    "DATE_MODIFIED  from sys.sysProcedure prc  inner join sys.sysUserPerm sup on "
    "sup.user_id = prc.creator  where (sup.user_name <> 'SYS') and (sup.user_name <> "
    "'dbo')  and (sup.user_name <> 'rs_systabgroup') ";
constexpr const char* kTriggerPart =
    "select '' AS PROCEDURE_CATALOG,  owner AS PROCEDURE_SCHEMA,  trigName AS "
    "PROCEDURE_NAME,  'TR' as PROCEDURE_TYPE,  trigDefn AS PROCEDURE_DEFINITION,  '' "
    "as DESCRIPTION,  0 as ENCRYPTED,  NULL AS DATE_CREATED,  NULL AS DATE_MODIFIED  "
    "FROM sys.sysTriggers WHERE (owner <> 'dbo') and (owner <> 'SYS')  and (owner <> "
    "'rs_systabgroup') ";
constexpr const char* kUsersQuery =
    "SELECT  usu2.user_name as GROUP_NAME,  '' AS LOGIN_NAME,  usu.user_name AS "
    "USER_NAME,  usu.user_id AS USER_ID  from sys.sysUserPerm usu inner join  "
    "(sys.sysGroup grp inner join sys.sysUserPerm usu2   on grp.group_id = "
    "usu2.user_id)  on usu.user_id = grp.group_member ";
constexpr const char* kDbSpaceIndexesQuery =
    "select  usr.user_name as TABLE_SCHEMA,  tab.table_name as TABLE_NAME,  "
    "sf.dbSpace_name INDEX_DBSPACE,  idx.index_name as INDEX_NAME  from sys.sysIndex "
    "idx  inner join sys.sysFile sf on sf.file_id = idx.file_id  inner join "
    "sys.systable tab on tab.table_Id = idx.table_id  inner join sys.SysUserPerm usr "
    "on idx.creator = usr.user_id";
constexpr const char* kDbSpacesQuery =
    "select FILE_ID, FILE_NAME, DBSPACE_NAME, if (dbspace_name = 'SYSTEM') then 1 "
    "else 0 endif as DBSPACE_DEFAULT  from sys.sysFile";
constexpr const char* kClusterIndexFirstSelect =
    " select '' AS TABLE_CATALOG,  user_name(tab.creator) as TABLE_SCHEMA,  "
    "tab.table_name as TABLE_NAME,  '' AS INDEX_CATALOG,  user_name(idx.creator) as "
    "INDEX_SCHEMA,  idx.index_name as INDEX_NAME   from sys.sysindex idx  inner join "
    "sys.sysTable tab on tab.table_id = idx.table_id  inner join sys.sysattribute "
    "attr on attr.object_id = idx.table_id and attr.attribute_value = idx.index_id  "
    "where object_type = 'T' ";
constexpr const char* kClusterIndexSecondSelect =
    " select '' AS TABLE_CATALOG,  user_name(tab.creator) as TABLE_SCHEMA,  "
    "tab.table_name as TABLE_NAME,  '' AS INDEX_CATALOG,  user_name(tab.creator) as "
    "INDEX_SCHEMA,  tab.table_name as INDEX_NAME  from sys.sysTable tab  inner join "
    "sys.sysattribute attr on attr.object_id = tab.table_id  where object_type = 'T' "
    " and attr.attribute_value = 0 ";
constexpr const char* kDbSpaceTextQuery =
    "SELECT  '' AS TEXT_DBSPACE,  '' as TABLE_SCHEMA,  ''  as TABLE_NAME ";
constexpr const char* kCatalogsQuery =
    "SELECT  '' AS CATALOG_NAME,  '' AS DESCRIPTION ";
// The server marks a unique constraint's index "U" and a unique index "Y": the constraints are
// the "U" ones.
constexpr const char* kUniqueConstraintsPart =
    " select db_name() as CONSTRAINT_CATALOG,  user_name(idx.creator) as "
    "CONSTRAINT_SCHEMA,  idx.index_name as CONSTRAINT_NAME,  db_name() as "
    "TABLE_CATALOG,  user_name(tab.creator) as TABLE_SCHEMA,  tab.table_name as "
    "TABLE_NAME,  'UNIQUE' as CONSTRAINT_TYPE,  0 as IS_DEFERRABLE, 0 AS "
    "INITIALLY_DEFERRED,  idx.remarks as TEXT  from sys.sysIndex as idx  inner join "
    "sys.sysTable as tab on tab.table_id = idx.table_id  where idx.\"unique\" = 'U' ";
constexpr const char* kPrimaryKeyConstraintsPart =
    " select distinct db_name() as CONSTRAINT_CATALOG,  user_name(tab.creator) as "
    "CONSTRAINT_SCHEMA,  tab.table_name as CONSTRAINT_NAME,  db_name() as "
    "TABLE_CATALOG,  user_name(tab.creator) as TABLE_SCHEMA,  tab.table_name as "
    "TABLE_NAME,  'PRIMARY KEY' as CONSTRAINT_TYPE,  0 as IS_DEFERRABLE, 0 AS "
    "INITIALLY_DEFERRED,  '' as TEXT  from sys.sysTable as tab  inner join "
    "sys.sysColumn col on col.table_id = tab.table_id  where col.pkey = 'Y' ";
constexpr const char* kForeignKeyConstraintsPart =
    " select db_name() as CONSTRAINT_CATALOG,  user_name(tab.creator) as "
    "CONSTRAINT_SCHEMA,  fk.role as CONSTRAINT_NAME,  db_name() as TABLE_CATALOG,  "
    "user_name(tab.creator) as TABLE_SCHEMA,  tab.table_name as TABLE_NAME,  "
    "'FOREIGN KEY' as CONSTRAINT_TYPE,  0 as IS_DEFERRABLE, 0 AS INITIALLY_DEFERRED, "
    " fk.remarks as TEXT  from sys.sysForeignKey as fk  inner join sys.sysTable tab "
    "on tab.table_id = fk.foreign_table_id ";
constexpr const char* kDatabaseNameQuery = "select db_name() as database_name";
constexpr const char* kDateFormatQuery = "select CONNECTION_PROPERTY ('date_format') as dateFormat";

}  // namespace asa_queries
