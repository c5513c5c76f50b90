// Writes the stand-in's parsed expressions and queries as SQLite SQL: the shared translation with
// the server's tables (its SYS tables and views, owners' tables), functions and refusals.
#pragma once

#include <functional>
#include <string>

#include "servers/core/Translator.h"

namespace servers::asa {

class Translator : public QueryTranslator {
 public:
  // `table` gives the quoted SQLite name of a table or view (raising -141 when there is none);
  // `property` the value of a connection property; `user` the connected user.
  Translator(std::string database, std::string user, std::function<std::string(const ObjectName&)> table,
             std::function<std::string(const std::string&)> property)
      : QueryTranslator(std::move(database)), user_(std::move(user)), table_(std::move(table)),
        property_(std::move(property)) {}

  std::string Table(const ObjectName& name) const override { return table_(name); }
  // number(*) in an UPDATE numbers the rows of this SQLite table (named `alias` there) in their order.
  void NumberRowsOf(const std::string& physical, const std::string& alias) {
    numbered_ = physical;
    alias_ = alias;
  }

 protected:
  void Refuse(Refusal what, const std::string& name) const override;
  std::string Function(const Expr& e) const override;
  std::string Variable(const Expr& e) const override;

 private:
  std::string user_;
  std::function<std::string(const ObjectName&)> table_;
  std::function<std::string(const std::string&)> property_;
  std::string numbered_, alias_;
};

}  // namespace servers::asa
