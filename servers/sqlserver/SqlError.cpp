#include "servers/sqlserver/SqlError.h"

namespace servers::sqlserver {

void Fail(int number, const std::string& message) {
  throw ado::EOleException(message, number, "Microsoft OLE DB Provider for SQL Server");
}

void FailSyntax(int line, const std::string& nearText) {
  Fail(170, "Line " + std::to_string(line) + ": Incorrect syntax near '" + nearText + "'.");
}

void DuplicateObject(const std::string& name) {
  Fail(2714, "There is already an object named '" + name + "' in the database.");
}

}  // namespace servers::sqlserver
