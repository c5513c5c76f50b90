#include "servers/asa/Errors.h"

#include "platform/data/DataErrors.h"

namespace servers::asa {

namespace {
const char* const kSource = "ASA OLE DB Provider";
}  // namespace

void Fail(int sqlcode, const std::string& message) { throw ado::EOleException(message, sqlcode, kSource); }

void FailSyntax(const std::string& nearText, int line) {
  Fail(-131, "Syntax error near '" + nearText + "' on line " + std::to_string(line));
}

}  // namespace servers::asa
