// Statements of users' own scripts around an update, answered by the Adaptive Server Anywhere
// stand-in as by the real server: the DUMMY table, autoincrement columns added to filled tables,
// columns an index holds, data definition committing, and passwords kept only as hashes.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "AsaFixture.h"
#include "servers/core/Sqlite.h"

namespace {

// One statement of a case: the rows it reads ("a,b;c,d"), or else its error code (0: runs).
struct Step {
  const char* sql;
  const char* rows;
  int code;
};

struct Case {
  const char* name;
  std::vector<Step> steps;
};

const Case kCases[] = {
    {"dummy",
     {{"SELECT count(*) FROM dummy WHERE CURRENT DATE = today()", "1", 0},
      {"SELECT 1 FROM SYS.DUMMY", "1", 0},
      {"SELECT creator, cname, coltype, nulls FROM sys.sysColumns WHERE tname = 'DUMMY'", "SYS,dummy_col,integer,N", 0},
      {"SELECT dummy_col FROM SYS.SYSDUMMY", "0", 0},
      {"INSERT INTO dummy VALUES (1)", nullptr, -192}}},
    {"autoincrement added to rows",
     {{"CREATE TABLE t (a varchar(5) NULL)", nullptr, 0},
      {"INSERT INTO t VALUES ('x'), ('y'), ('z')", nullptr, 0},
      {"ALTER TABLE t ADD id integer NOT NULL DEFAULT AUTOINCREMENT", nullptr, 0},
      {"SELECT a, id FROM t ORDER BY a", "x,1;y,2;z,3", 0},
      {"ALTER TABLE t ADD PRIMARY KEY (id)", nullptr, 0},
      {"INSERT INTO t (a) VALUES ('w')", nullptr, 0},
      {"SELECT max(id) FROM t", "4", 0},
      {"UPDATE t SET id = NULL WHERE a = 'x'", nullptr, -195},
      {"ALTER TABLE t ADD n integer NOT NULL", nullptr, -195},
      {"CREATE TABLE u (id integer DEFAULT AUTOINCREMENT)", nullptr, 0},
      {"CREATE TABLE v (v integer IDENTITY)", nullptr, 0},
      {"SELECT tname, cname, nulls FROM sys.sysColumns WHERE cname IN ('id', 'v') ORDER BY 1, 2",
       "t,id,N;u,id,N;v,v,N", 0}}},
    {"indexed columns keep their type",
     {{"CREATE TABLE p (a integer NOT NULL PRIMARY KEY, b integer NULL, c integer NOT NULL, d integer NULL, "
       "CONSTRAINT uq UNIQUE (c))", nullptr, 0},
      {"CREATE INDEX ix ON p (b)", nullptr, 0},
      {"CREATE TABLE ch (id integer NOT NULL PRIMARY KEY, pa integer NULL, FOREIGN KEY fk (pa) REFERENCES p (a))",
       nullptr, 0},
      {"ALTER TABLE p MODIFY b bigint", nullptr, -127},
      {"ALTER TABLE p MODIFY c bigint NOT NULL", nullptr, -127},
      {"ALTER TABLE ch MODIFY pa bigint", nullptr, -127},
      {"ALTER TABLE p MODIFY b NOT NULL", nullptr, 0},
      {"ALTER TABLE p MODIFY d bigint", nullptr, 0},
      {"DROP INDEX p.ix", nullptr, 0},
      {"ALTER TABLE p MODIFY b bigint", nullptr, 0}}},
    // A unique key the rebuilt table declares itself goes with its index.
    {"a dropped unique index stops holding after a rebuild",
     {{"CREATE TABLE k (id integer NOT NULL PRIMARY KEY, c integer NOT NULL)", nullptr, 0},
      {"CREATE UNIQUE INDEX ixc ON k (c)", nullptr, 0},
      {"ALTER TABLE k ADD e integer NULL", nullptr, 0},
      {"INSERT INTO k (id, c) VALUES (1, 1)", nullptr, 0},
      {"INSERT INTO k (id, c) VALUES (2, 1)", nullptr, -196},
      {"DROP INDEX k.ixc", nullptr, 0},
      {"INSERT INTO k (id, c) VALUES (2, 1)", nullptr, 0},
      {"INSERT INTO k (id, c) VALUES (2, 3)", nullptr, -193},
      {"SELECT count(*) FROM k", "2", 0}}},
    {"data definition commits",
     {{"CREATE TABLE t (a integer NULL)", nullptr, 0},
      {"BEGIN TRANSACTION", nullptr, 0},
      {"INSERT INTO t VALUES (1)", nullptr, 0},
      {"CREATE TABLE u (b integer NULL)", nullptr, 0},
      {"INSERT INTO u VALUES (2)", nullptr, 0},
      {"ROLLBACK", nullptr, 0},
      {"SELECT (SELECT count(*) FROM t), (SELECT count(*) FROM u)", "1,0", 0},
      // A definition refused commits what came before it all the same.
      {"BEGIN TRANSACTION", nullptr, 0},
      {"INSERT INTO t VALUES (3)", nullptr, 0},
      {"CREATE TABLE u (c integer NULL)", nullptr, -110},
      {"INSERT INTO t VALUES (4)", nullptr, 0},
      {"ROLLBACK", nullptr, 0},
      {"SELECT a FROM t ORDER BY a", "1;3", 0},
      {"BEGIN TRANSACTION", nullptr, 0},
      {"INSERT INTO t VALUES (5)", nullptr, 0},
      {"COMMENT ON COLUMN t.a IS 'the number'", nullptr, 0},
      {"COMMENT ON TABLE DBA.t IS 'numbers'", nullptr, 0},
      {"ROLLBACK", nullptr, 0},
      {"SELECT count(*) FROM t WHERE a = 5", "1", 0},
      {"SELECT remarks FROM sys.sysTable WHERE table_name = 't'", "numbers", 0},
      {"SELECT remarks FROM sys.sysColumns WHERE tname = 't' AND cname = 'a'", "the number", 0},
      {"COMMENT ON TABLE t IS NULL", nullptr, 0},
      {"SELECT remarks FROM sys.sysTable WHERE table_name = 't'", "NULL", 0},
      {"COMMENT ON COLUMN t.missing IS 'x'", nullptr, -143}}},
    {"passwords are hashes",
     {{"SELECT length(password) FROM SYS.SYSUSERPERM WHERE user_name = 'DBA'", "36", 0},
      {"SELECT count(*) FROM SYS.SYSUSERPERM WHERE password = 'SQL'", "0", 0},
      {"GRANT CONNECT TO u IDENTIFIED BY 'pw'", nullptr, 0},
      {"SELECT length(password) FROM SYS.SYSUSERPERM WHERE user_name = 'u'", "36", 0}}},
    {"concatenation and authorities",
     {{"SELECT 'x' || 'y'", "xy", 0},
      {"SELECT 'a' || 1 || 'b', 2 + 3 || 'c'", "a1b,5c", 0},
      {"SELECT 6 | 3", "7", 0},
      {"GRANT CONNECT TO u IDENTIFIED BY 'pw'", nullptr, 0},
      {"GRANT CONNECT TO w IDENTIFIED BY 'pw'", nullptr, 0},
      {"GRANT DBA TO u", nullptr, 0},
      {"GRANT RESOURCE TO w", nullptr, 0},
      {"SELECT user_name, dbaauth, resourceauth FROM SYS.SYSUSERPERM WHERE user_name IN ('u', 'w') ORDER BY 1",
       "u,Y,N;w,N,Y", 0},
      {"GRANT DBA, RESOURCE TO u, w", nullptr, 0},
      {"SELECT count(*) FROM SYS.SYSUSERPERM WHERE dbaauth = 'Y' AND resourceauth = 'Y' AND user_name IN ('u', 'w')",
       "2", 0},
      {"GRANT DBA TO nobody", nullptr, -140}}},
    // A unique index may hold NULLs, a unique constraint not.
    {"unique constraints over columns that allow NULL",
     {{"CREATE TABLE q (a integer NOT NULL PRIMARY KEY, b integer NULL, c integer NOT NULL, UNIQUE (b))", nullptr, -195},
      {"CREATE TABLE q (a integer NOT NULL PRIMARY KEY, b integer NULL UNIQUE)", nullptr, -195},
      {"CREATE TABLE q (a integer NOT NULL PRIMARY KEY, b integer NULL, c integer NOT NULL UNIQUE)", nullptr, 0},
      {"ALTER TABLE q ADD CONSTRAINT qb UNIQUE (b)", nullptr, -195},
      {"ALTER TABLE q ADD CONSTRAINT qbc UNIQUE (c, b)", nullptr, -195},
      {"CREATE UNIQUE INDEX qi ON q (b)", nullptr, 0},
      {"ALTER TABLE q MODIFY b NOT NULL", nullptr, 0},
      {"ALTER TABLE q ADD CONSTRAINT qb UNIQUE (b)", nullptr, 0},
      {"SELECT count(*) FROM SYS.SYSINDEX i JOIN SYS.SYSTABLE t ON t.table_id = i.table_id "
       "WHERE t.table_name = 'q' AND i.\"unique\" = 'U'", "2", 0}}},
};

TEST_F(AsaServer, EverydayStatementsAnswerAsTheRealServer) {
  int number = 0;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    auto db = NewDatabase("case" + std::to_string(++number));
    for (const Step& step : c.steps) {
      SCOPED_TRACE(step.sql);
      std::string message;
      if (step.rows != nullptr) {
        try {
          EXPECT_EQ(Rows(*db, step.sql), step.rows);
        } catch (const std::exception& e) {
          ADD_FAILURE() << e.what();
        }
      } else {
        EXPECT_EQ(Code(*db, step.sql, &message), step.code) << message;
        if (step.code == -127) {
          EXPECT_EQ(message, "Cannot alter a column in an index");
        }
      }
    }
  }
}

// Whether the file holds the text.
bool FileHolds(const std::filesystem::path& file, const std::string& text) {
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return bytes.find(text) != std::string::npos;
}

TEST_F(AsaServer, AnOlderDatabaseIsCompletedAndNoFileOrBackupHoldsAPasswordInClear) {
  const std::filesystem::path folder = std::filesystem::path(root_) / "srv" / "C" / "data";
  {
    auto db = NewDatabase("pw");
    db->Execute("GRANT CONNECT TO DBA IDENTIFIED BY 'Qz7NewSecret'");
  }
  EXPECT_THROW(Connect(";dbn=pw;UID=DBA;PWD=SQL"), ado::EOleException);
  Connect(";dbn=pw;UID=DBA;PWD=Qz7NewSecret")->Execute("BACKUP DATABASE TO 'C:\\data\\pw.bak'");
  // A database made before, with its password in clear and no DUMMY table, opens and is brought
  // up to date.
  {
    auto file = servers::OpenSqlite((folder / "pw.db").string(), false);
    servers::ExecSql(file.get(), "UPDATE SYSUSERPERM SET password = 'Qz7OldClear' WHERE user_name = 'DBA';"
                                 "DELETE FROM SYSCOLUMN WHERE table_id = (SELECT table_id FROM SYSTABLE WHERE "
                                 "table_name = 'DUMMY');DELETE FROM SYSTABLE WHERE table_name = 'DUMMY';DROP TABLE DUMMY");
  }
  auto db = Connect(";dbn=pw;UID=DBA;PWD=Qz7OldClear");
  EXPECT_EQ(Value(*db, "SELECT length(password) FROM SYS.SYSUSERPERM WHERE user_name = 'DBA'"), "36");
  EXPECT_EQ(Rows(*db, "SELECT dummy_col, (SELECT count(*) FROM sys.sysColumns WHERE tname = 'DUMMY') FROM dummy"), "0,1");
  db.reset();
  for (const char* name : {"pw.db", "pw.db-wal", "pw.bak"}) {
    EXPECT_FALSE(FileHolds(folder / name, "Qz7NewSecret")) << name;
    EXPECT_FALSE(FileHolds(folder / name, "Qz7OldClear")) << name;
  }
}

}  // namespace
