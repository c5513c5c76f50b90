// The parsed form of the T-SQL the server understands: the shared expressions and SELECT, and
// the data, definition and control statements. The parser builds it; the executor walks it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "servers/core/Ast.h"

namespace servers::sqlserver {

using servers::Expr;
using servers::ExprPtr;
using servers::ObjectName;
using servers::OrderItem;
using servers::Select;
using servers::SelectItem;
using servers::TableRef;
using servers::TypeSpec;

struct ConstraintDef {
  enum Kind { PrimaryKey, Unique, ForeignKey, Check, Default };
  Kind kind = PrimaryKey;
  std::string name;
  std::optional<bool> clustered;
  std::vector<std::string> columns;
  std::vector<bool> descending;  // key columns written DESC
  ObjectName refTable;
  std::vector<std::string> refColumns;
  bool deleteCascade = false, updateCascade = false;
  ExprPtr expr;          // check condition or default value
  std::string exprText;  // its source text as the catalogue keeps it
  std::string forColumn; // ADD CONSTRAINT ... DEFAULT ... FOR column
  std::string fileGroup;
};

struct ColumnDef {
  std::string name;
  TypeSpec type;
  bool identity = false;
  int64_t seed = 1, increment = 1;
  std::optional<bool> nullable;
  std::string collation;
  bool rowGuid = false;
  std::vector<ConstraintDef> constraints;  // column constraints, defaults included
};

struct FileSpec {
  std::string name, fileName, size, maxSize, growth, newName;
};

struct Statement {
  enum Kind {
    kSelect, kInsert, kUpdate, kDelete, kCreateTable, kAlterTable, kDropTable, kCreateIndex,
    kDropIndex, kCreateModule, kDropModule, kIf, kExecText, kExecProc, kSetIdentityInsert,
    kSetOption, kUse, kCreateDatabase, kAlterDatabase, kDropDatabase, kBackup, kRestoreFileList,
    kRestore, kBeginTran, kCommit, kRollback, kBlock, kTruncate, kPrint, kDeclare, kSetVariable,
    kSaveTran, kRaiserror, kNoOp, kCheckIdent, kPermission
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
  std::vector<std::vector<ExprPtr>> values;
  std::unique_ptr<Select> select;
  StatementPtr exec;  // INSERT ... EXEC procedure: the rows of its first result set
  bool defaultValues = false;
};

struct UpdateStmt : Statement {
  UpdateStmt() : Statement(kUpdate) {}
  ObjectName table;
  std::vector<std::pair<std::vector<std::string>, ExprPtr>> sets;
  std::vector<std::unique_ptr<TableRef>> from;
  ExprPtr where;
};

struct DeleteStmt : Statement {
  DeleteStmt() : Statement(kDelete) {}
  ObjectName table;
  std::vector<std::unique_ptr<TableRef>> from;
  ExprPtr where;
};

struct CreateTableStmt : Statement {
  CreateTableStmt() : Statement(kCreateTable) {}
  ObjectName table;
  std::vector<ColumnDef> columns;
  std::vector<ConstraintDef> constraints;
  std::string fileGroup, textImageGroup;
};

struct AlterTableStmt : Statement {
  enum Action { AddItems, AlterColumn, DropColumns, DropConstraints, CheckConstraints };
  AlterTableStmt() : Statement(kAlterTable) {}
  ObjectName table;
  Action action = AddItems;
  std::vector<ColumnDef> columns;
  std::vector<ConstraintDef> constraints;
  std::vector<std::string> names;
  bool withNoCheck = false;
  bool withCheck = false;
  bool enableConstraints = false;  // CHECK CONSTRAINT (NOCHECK disables)
};

struct DropStmt : Statement {
  explicit DropStmt(Kind k) : Statement(k) {}
  std::string what;  // TABLE, VIEW, PROCEDURE, FUNCTION, TRIGGER, DEFAULT, RULE, INDEX, DATABASE
  std::vector<ObjectName> names;  // for indexes: owner = table owner, db unused, name split below
  std::vector<std::pair<ObjectName, std::string>> indexes;  // table, index
};

struct CreateIndexStmt : Statement {
  CreateIndexStmt() : Statement(kCreateIndex) {}
  bool unique = false;
  std::optional<bool> clustered;
  std::string name;
  ObjectName table;
  std::vector<std::string> columns;
  std::vector<bool> descending;  // key columns written DESC
  std::string fileGroup;
};

struct CreateModuleStmt : Statement {
  CreateModuleStmt() : Statement(kCreateModule) {}
  std::string what;  // VIEW, PROCEDURE, FUNCTION, TRIGGER
  bool alter = false;
  ObjectName name;
  ObjectName parentTable;  // triggers
  bool encrypted = false;
  bool tableFunction = false;
  bool inlineFunction = false;         // RETURNS TABLE AS RETURN ...: type IF
  bool checkOption = false;            // view WITH CHECK OPTION
  std::vector<std::string> viewColumns;  // CREATE VIEW v (a, b) AS ...
  std::vector<std::string> parameters;   // functions: the parameters' names, in order
  std::unique_ptr<Select> viewSelect;  // the query of a view or inline function, when it parsed
  std::string text;                    // whole source text
};

struct IfStmt : Statement {
  IfStmt() : Statement(kIf) {}
  ExprPtr condition;
  StatementPtr then, otherwise;
};

struct BlockStmt : Statement {
  BlockStmt() : Statement(kBlock) {}
  std::vector<StatementPtr> body;
};

struct ExecTextStmt : Statement {
  ExecTextStmt() : Statement(kExecText) {}
  ExprPtr text;
};

struct ExecProcStmt : Statement {
  ExecProcStmt() : Statement(kExecProc) {}
  ObjectName proc;
  std::vector<ExprPtr> args;
};

struct SetStmt : Statement {
  explicit SetStmt(Kind k) : Statement(k) {}
  ObjectName table;  // IDENTITY_INSERT
  std::string option, value;
  std::vector<std::string> more;  // further options a SET names with the first (lower case)
  bool on = false;
};

struct UseStmt : Statement {
  UseStmt() : Statement(kUse) {}
  std::string db;
};

struct DatabaseStmt : Statement {
  explicit DatabaseStmt(Kind k) : Statement(k) {}
  std::string db;
  std::vector<FileSpec> dataFiles, logFiles;
  std::string action;  // ALTER DATABASE: ADD FILEGROUP, REMOVE FILEGROUP, MODIFY FILE, ADD FILE
  std::string group;
  std::string disk;
  std::vector<std::pair<std::string, std::string>> moves;
};

// DECLARE @a int [= value], ...; SET @a = value (one variable, no type).
struct VariableStmt : Statement {
  explicit VariableStmt(Kind k) : Statement(k) {}
  struct Item {
    std::string name;
    TypeSpec type;
    ExprPtr value;
  };
  std::vector<Item> items;
};

// BEGIN, COMMIT, ROLLBACK and SAVE TRAN[SACTION] with the transaction or savepoint name.
struct TranStmt : Statement {
  explicit TranStmt(Kind k) : Statement(k) {}
  std::string name;
};

// RAISERROR (message, severity, state [, argument ...]) [WITH option ...].
struct RaiserrorStmt : Statement {
  RaiserrorStmt() : Statement(kRaiserror) {}
  std::vector<ExprPtr> args;
  bool withLog = false;
};

// DBCC CHECKIDENT (table [, RESEED [, value] | NORESEED]).
struct CheckIdentStmt : Statement {
  CheckIdentStmt() : Statement(kCheckIdent) {}
  ObjectName table;
  std::string option;  // "", "RESEED" or "NORESEED"
  ExprPtr value;
};

// GRANT, REVOKE and DENY of object or statement permissions.
struct PermissionStmt : Statement {
  PermissionStmt() : Statement(kPermission) {}
  std::string verb;                  // GRANT, REVOKE, DENY
  std::vector<std::string> actions;  // upper case: SELECT, EXECUTE, CREATE TABLE, ALL ...
  ObjectName object;                 // empty for statement permissions
  std::vector<std::string> columns;
  std::vector<std::string> grantees;
  bool withGrantOption = false;
};

struct SimpleStmt : Statement {
  explicit SimpleStmt(Kind k) : Statement(k) {}
  ObjectName table;
  ExprPtr expr;
};

// Parses a batch into statements; raises the server's syntax errors (170 and kin) naming the
// place. Statement spans point into `sql`. With `quotedIdentifier` off, "text" is a string.
std::vector<StatementPtr> ParseBatch(const std::string& sql, bool quotedIdentifier = true);

}  // namespace servers::sqlserver
