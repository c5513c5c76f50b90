// Jet's SQL as the Access stand-in reads it: one statement per command (a trailing ";" allowed),
// the engine's definition statements, INSERT, UPDATE, DELETE and SELECT, over the shared
// expression grammar with Jet's tokens ([names], '...' and "..." strings, #dates#).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "servers/core/Ast.h"
#include "servers/core/Tokenizer.h"

namespace servers::access {

struct JetConstraint {
  enum Kind { PrimaryKey, Unique, ForeignKey };
  Kind kind = PrimaryKey;
  std::string name;  // empty when the statement gives none
  std::vector<std::string> columns;
  std::string refTable;
  std::vector<std::string> refColumns;
  bool updateCascade = false, deleteCascade = false;
};

struct JetColumnDef {
  std::string name;
  std::string type;  // the native name of the type table: text, memo, int, counter ...
  int length = -1, scale = -1;
  bool counter = false;
  bool notNull = false;
  std::string defaultText;  // the default as written, empty for none
  ExprPtr defaultExpr;
  std::vector<JetConstraint> constraints;  // written on the column
};

struct JetStatement {
  enum Kind {
    Select,
    Insert,
    Update,
    Delete,
    CreateTable,
    AddColumn,
    AlterColumn,
    DropColumn,
    AddConstraint,
    DropConstraint,
    CreateIndex,
    DropIndex,
    DropTable,
    CreateView,
    CreateProcedure,
    DropView,
    DropProcedure
  };
  Kind kind = Select;
  std::string table;  // the table changed or defined; the view or procedure created or dropped
  std::string name;   // the column, constraint or index
  std::vector<JetColumnDef> columns;
  std::vector<JetConstraint> constraints;
  std::unique_ptr<servers::Select> select;
  std::vector<std::string> insertColumns;
  std::vector<ExprPtr> values;
  std::vector<std::pair<std::string, ExprPtr>> sets;
  ExprPtr where;
  std::string alias;                // UPDATE: the alias of the table changed
  std::string joinTable, joinAlias;  // UPDATE's second table (INNER JOIN or ","), its alias
  ExprPtr joinOn;                    // null for the "," form: every row of the second table
  bool unique = false, primary = false;
  std::vector<std::string> keys;
  std::vector<bool> descending;
  std::string text;  // the whole statement as written
};

// Jet's tokens; an open quote or bracket raises Jet's error naming the text after it.
std::vector<Token> JetTokenize(const std::string& sql);

// Parses one statement. Raises Jet's errors: 3129 for an empty or unknown statement, 3142 for
// text after its end, the syntax error of the statement's kind otherwise.
JetStatement ParseJetStatement(const std::string& sql);

// Parses an expression alone (a default value); raises Jet's syntax error.
ExprPtr ParseJetExpression(const std::string& sql);

}  // namespace servers::access
