// Catalogue queries of the SQL Server dialect, as the server's system tables answer them. The
// texts are sent exactly as they stand; restriction clauses are appended to them.
#pragma once

namespace sqlserver_queries {

constexpr const char* kTablesQuery =
    "select  CASE WHEN idx.groupId is null THEN 'PRIMARY'     ELSE "
    "fileGroup_Name(idx.groupid) END as TABLE_DBSPACE,  user_name(obj.uid) as "
    "TABLE_SCHEMA,  obj.name as TABLE_NAME,  case obj.xtype    when 'S' then 'SYSTEM "
    "TABLE'    when 'U' then 'TABLE'    when 'V' then      (case obj.category WHEN 0 "
    "THEN 'VIEW' WHEN 2 THEN 'SYSTEM VIEW' END)  end as TABLE_TYPE,  NULL as "
    "TABLE_GUID,  convert(nVarChar, prp.value) as DESCRIPTION,  NULL as "
    "TABLE_PROPID,  crDate as DATE_CREATED,  refDate as DATE_MODIFIED  from "
    "sysObjects obj  left outer join sysIndexes idx on idx.id = obj.id and    "
    "(idx.indId = 0 or idx.indId = 1)  left outer join sysProperties prp on prp.id = "
    "obj.id  and prp.name = 'MS_description' and prp.smallId = 0 where obj.xType in "
    "('S', 'U', 'V') and  permissions(obj.id) <> 0";
constexpr const char* kDefaultValuesQuery =
    "select so1.name as CONSTRAINT_NAME, so1.id,  user_name(so2.uid) as "
    "TABLE_SCHEMA,  so2.name as TABLE_NAME,  sc1.name as COLUMN_NAME, sc1.xUserType "
    "as COLUMN_TYPE,  sc2.text as TEXT  from sysObjects as so1  inner join "
    "sysObjects as so2 on so2.id = so1.parent_obj  inner join sysColumns as sc1 on "
    "sc1.cDefault = so1.id  inner join sysComments as sc2 on sc2.id = so1.id  where "
    "so1.xType = 'D' and so2.name <> 'dtProperties' ";
constexpr const char* kTableConstraintsQuery =
    "select db_name() as CONSTRAINT_CATALOG,  user_name(so1.uid) as "
    "CONSTRAINT_SCHEMA,  so1.name as CONSTRAINT_NAME,  db_name() as TABLE_CATALOG,  "
    "user_name(so2.uid) as TABLE_SCHEMA,  so2.name as TABLE_NAME,  case so1.xType    "
    "WHEN 'PK' THEN 'PRIMARY KEY'    WHEN 'C' THEN 'CHECK'    WHEN 'UQ' THEN "
    "'UNIQUE'    WHEN 'F' THEN 'FOREIGN KEY' END  AS CONSTRAINT_TYPE,  0 as "
    "IS_DEFERRABLE, 0 AS INITIALLY_DEFERRED,  sc2.text as TEXT  from sysObjects as "
    "so1  inner join sysObjects as so2 on so2.id = so1.parent_obj  LEFT OUTER JOIN "
    "sysComments as sc2 on sc2.id = so1.id  where (so1.xType = 'PK' or so1.xType = "
    "'C' or  so1.xType = 'UQ' or so1.xType = 'F') ";
constexpr const char* kColumnsQuery =
    "select db_name() as DATABASE_NAME,  user_name(obj.uid) as TABLE_SCHEMA,  "
    "obj.name as TABLE_NAME,  col.name as COLUMN_NAME,  col.colId as "
    "ORDINAL_POSITION,  com.text as COLUMN_DEFAULT, col.isNullable as IS_NULLABLE,  "
    "col.xUserType as COLUMN_TYPE, typ.name as COLUMN_TYPE_NAME,  col.prec as SIZE, "
    "col.xscale as SCALE,  CASE WHEN (col.status & 0x80) = 0x80 then 1 ELSE 0 END AS "
    "IS_IDENTITY,  CASE WHEN (obj.xType = 'U') THEN IDENT_SEED(obj.name) ELSE 1 END "
    "as IDENTITY_SEED,  CASE WHEN (obj.xType = 'U') THEN IDENT_INCR(obj.name) ELSE 1 "
    "END as IDENTITY_INCR,  col.collation as COLLATION_NAME,  convert(nVarChar, "
    "prp.value) as DESCRIPTION  from sysColumns col  inner join sysObjects obj on "
    "obj.id = col.id  inner join sysTypes typ on typ.xUserType = col.xUserType  LEFT "
    "OUTER join sysproperties prp on prp.id = obj.id    and prp.smallId = col.colId "
    "and prp.name = 'MS_description'  LEFT OUTER JOIN syscomments com    ON "
    "col.cdefault = com.id AND com.colid = 1  where obj.xtype IN ('U', 'V')  AND "
    "permissions(obj.id, col.name) != 0 ";
constexpr const char* kUsersQuery =
    "SELECT  case when (usg.uid is null) then 'public'  else usg.name end AS "
    "GROUP_NAME,  lo.loginname AS LOGIN_NAME,  usu.name AS USER_NAME,  usu.uid AS "
    "USER_ID  from sysusers\tusu left outer join  (sysmembers mem inner join sysusers "
    "usg on mem.groupuid = usg.uid)  on usu.uid = mem.memberuid  left outer join "
    "master.dbo.syslogins  lo on usu.sid = lo.sid  where (usu.islogin = 1 and "
    "usu.isaliased = 0 and usu.hasdbaccess = 1) and  (usg.issqlrole = 1 or usg.uid "
    "is null)";
constexpr const char* kDbSpaceIndexesQuery =
    "select  fileGroup_Name(idx.groupid) INDEX_DBSPACE,  user_name(obj.uid) as "
    "TABLE_SCHEMA,  obj.name as TABLE_NAME,  idx.name as INDEX_NAME  from sysIndexes "
    "idx  inner join sysObjects obj on idx.id = obj.id  where idx.indId <> 0 and "
    "idx.indId <> 255";
constexpr const char* kDbSpaceTextQuery =
    "select  fileGroup_Name(idx.groupid) TEXT_DBSPACE,  user_name(obj.uid) as "
    "TABLE_SCHEMA,  obj.name as TABLE_NAME  from sysIndexes idx  inner join "
    "sysObjects obj on idx.id = obj.id  where idx.indId = 255";
constexpr const char* kDbSpacesQuery =
    "select  grp.groupId as FILE_ID,  grp.groupName as DBSPACE_NAME,  fls.fileName "
    "as FILE_NAME,  CASE grp.status WHEN 16 then 1 ELSE 0 END AS DBSPACE_DEFAULT  "
    "from sysFileGroups grp  LEFT OUTER JOIN sysFiles fls on fls.GroupId = "
    "grp.groupId";
constexpr const char* kProceduresQuery =
    "select db_name() as PROCEDURE_CATALOG, user_name(obj.uid) AS PROCEDURE_SCHEMA, "
    "obj.name AS PROCEDURE_NAME, obj.xType as PROCEDURE_TYPE, sc.text AS "
    "PROCEDURE_DEFINITION,  '' as DESCRIPTION, CASE WHEN (sc.encrypted = 1) THEN 1 "
    "ELSE 0 END as ENCRYPTED, obj.crdate AS DATE_CREATED, obj.refdate AS "
    "DATE_MODIFIED, OBJECTPROPERTY(obj.id, 'ExecIsQuotedIdentOn') AS QUOTED_IDENTIFIER "
    "FROM sysobjects obj INNER JOIN syscomments sc ON sc.id = obj.id "
    "WHERE obj.category = 0";
constexpr const char* kViewsQuery =
    "SELECT db_name() AS TABLE_CATALOG,  user_name(obj.uid) AS TABLE_SCHEMA,  "
    "obj.name AS TABLE_NAME,  sc.text AS VIEW_DEFINITION,  '' AS CHECK_OPTION,  1 AS "
    "IS_UPDATABLE,  '' AS DESCRIPTION,  obj.crdate AS DATE_CREATED,  obj.refdate AS "
    "DATE_MODIFIED,  OBJECTPROPERTY(obj.id, 'ExecIsQuotedIdentOn') AS QUOTED_IDENTIFIER  "
    "FROM sysobjects obj  INNER JOIN syscomments sc ON sc.id = obj.id "
    "WHERE \tpermissions(obj.id) != 0  and (obj.xtype = 'V') and (obj.category = 0) ";
constexpr const char* kPrimaryKeyTablesQuery =
    "select TABLE_SCHEMA\t= user_name(o.uid), TABLE_NAME\t\t= o.name, i.keycnt as "
    "KEY_COUNT from\tsysindexes i, sysobjects o where\to.type in ('U') and \to.id = "
    "i.id and \t(i.status & 0x800) = 0x800 and\tpermissions(o.id) <> 0 ";
constexpr const char* kPrimaryKeyTablesOrder =
    " order by user_name(o.uid), o.name";
// The state of each foreign key, by owner and name.
constexpr const char* kForeignKeyStatesQuery =
    "SELECT user_name(obj.uid) AS KEY_SCHEMA, obj.name AS KEY_NAME, "
    "OBJECTPROPERTY(obj.id, 'CnstIsDisabled') AS IS_DISABLED FROM sysobjects obj WHERE obj.xtype = 'F'";
constexpr const char* kDatabaseNameQuery = "select db_name() as database_name";
constexpr const char* kDateFormatQuery =
    "SELECT dateformat FROM master.dbo.syslanguages WHERE (name = @@LANGUAGE) ";
constexpr const char* kLoginsQuery = "sp_helpLogins";

}  // namespace sqlserver_queries
