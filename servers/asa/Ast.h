// The parsed form of the SQL the Adaptive Server Anywhere stand-in understands: the shared
// expressions and queries, and the server's data, definition and control statements.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "servers/core/Ast.h"

namespace servers::asa {

struct KeyDef {
  enum Kind { PrimaryKey, Unique, ForeignKey, Check };
  Kind kind = PrimaryKey;
  std::string name;
  std::vector<std::string> columns;
  std::vector<bool> descending;
  ObjectName refTable;
  std::vector<std::string> refColumns;
  std::optional<bool> clustered;
  std::string checkText;
  // Referential actions of a foreign key: 'C' cascade, 'N' set null, 'D' set default, 'R' restrict.
  char updateAction = 'R';
  char deleteAction = 'R';
};

struct ColumnDef {
  std::string name;
  TypeSpec type;
  bool identity = false;  // IDENTITY or DEFAULT AUTOINCREMENT
  std::optional<bool> nullable;
  std::string defaultText;  // as written, without DEFAULT
  std::vector<KeyDef> keys;  // column constraints
};

struct Statement {
  enum Kind {
    kSelect, kInsert, kUpdate, kDelete, kCreateTable, kAlterTable, kDrop, kCreateIndex, kAlterIndex,
    kCreateModule, kIf, kBlock, kCommit, kRollback, kBegin, kSetOption, kCreateDbSpace, kDropDbSpace, kGrantConnect,
    kGrantAuthority, kRevokeConnect, kCreateDatabase, kStartDatabase, kStopDatabase, kBackup, kRestore, kAlterDatabase, kCall,
    kComment, kNoOp
  };
  explicit Statement(Kind k) : kind(k) {}
  virtual ~Statement() = default;
  Kind kind;
  size_t begin = 0, end = 0;
  int line = 1;
};
using StatementPtr = std::unique_ptr<Statement>;

struct SelectStmt : Statement {
  SelectStmt() : Statement(kSelect) {}
  std::unique_ptr<Select> select;
};

struct InsertStmt : Statement {
  InsertStmt() : Statement(kInsert) {}
  ObjectName table;
  std::vector<std::string> columns;
  std::vector<std::vector<ExprPtr>> rows;
  std::unique_ptr<Select> select;
};

struct UpdateStmt : Statement {
  UpdateStmt() : Statement(kUpdate) {}
  ObjectName table;
  std::vector<std::pair<std::string, ExprPtr>> sets;
  ExprPtr where;
};

struct DeleteStmt : Statement {
  DeleteStmt() : Statement(kDelete) {}
  ObjectName table;
  ExprPtr where;
};

struct CreateTableStmt : Statement {
  CreateTableStmt() : Statement(kCreateTable) {}
  ObjectName table;
  bool globalTemporary = false;
  bool preserveRows = false;  // ON COMMIT PRESERVE ROWS; a temporary table's rows go at commit otherwise
  std::vector<ColumnDef> columns;
  std::vector<KeyDef> keys;
  std::string dbspace;
};

// One clause of ALTER TABLE.
struct AlterClause {
  enum Kind { AddColumn, AddKey, Modify, RenameColumn, RenameTable, DropColumn, DropPrimaryKey, DropConstraint };
  Kind kind = AddColumn;
  ColumnDef column;       // AddColumn, Modify (a type when written, else only nullability/default)
  bool typeWritten = false;
  KeyDef key;             // AddKey
  std::string name, newName;
};

struct AlterTableStmt : Statement {
  AlterTableStmt() : Statement(kAlterTable) {}
  ObjectName table;
  std::vector<AlterClause> clauses;
};

struct DropStmt : Statement {
  DropStmt() : Statement(kDrop) {}
  std::string what;  // TABLE, VIEW, PROCEDURE, FUNCTION, TRIGGER, INDEX
  ObjectName name;   // for INDEX: owner = table's owner, db = table? (see parser)
  std::string table; // INDEX: the table, when written
};

struct CreateIndexStmt : Statement {
  CreateIndexStmt() : Statement(kCreateIndex) {}
  bool unique = false;
  bool clustered = false;
  std::string name;
  ObjectName table;
  std::vector<std::string> columns;
  std::vector<bool> descending;
  std::string dbspace;
};

struct AlterIndexStmt : Statement {
  AlterIndexStmt() : Statement(kAlterIndex) {}
  ObjectName table;
  bool clustered = false;
};

// CREATE VIEW, PROCEDURE, FUNCTION or TRIGGER: kept as written; a view's query also runs.
struct CreateModuleStmt : Statement {
  CreateModuleStmt() : Statement(kCreateModule) {}
  std::string what;
  ObjectName name;
  ObjectName table;  // a trigger's table
  std::string event, time;
  std::string text;
  std::unique_ptr<Select> select;  // a view's query
};

// COMMENT ON TABLE [owner.]table | COLUMN [owner.]table.column IS {'text' | NULL}.
struct CommentStmt : Statement {
  CommentStmt() : Statement(kComment) {}
  bool column = false;
  ObjectName table;
  std::string columnName;
  std::optional<std::string> text;  // none: NULL
};

struct IfStmt : Statement {
  IfStmt() : Statement(kIf) {}
  ExprPtr condition;
  std::vector<StatementPtr> then, otherwise;
};

struct SetOptionStmt : Statement {
  SetOptionStmt() : Statement(kSetOption) {}
  std::string user;  // empty: the connected user; "PUBLIC"
  std::string option;
  std::string value;
};

// CREATE / DROP DBSPACE, GRANT / REVOKE CONNECT, CREATE / START / STOP / ALTER DATABASE, BACKUP
// (value: the file), RESTORE (name: the database file, value: the backup), CALL of a system
// procedure (name).
struct NamedStmt : Statement {
  explicit NamedStmt(Kind k) : Statement(k) {}
  std::string name, value, as;
  std::vector<std::string> names;  // GRANT DBA, RESOURCE TO ...: the users; `value` the authorities
};

std::vector<StatementPtr> ParseBatch(const std::string& sql);

}  // namespace servers::asa
