#include "servers/access/JetError.h"

#include "common/AccessNames.h"
#include "platform/data/DataErrors.h"

namespace servers::access {

void JetFail(int number, const std::string& message) {
  throw ado::EOleException(message, number, "Microsoft JET Database Engine");
}

void NoInputTable(const std::string& name) {
  JetFail(3078, "The Microsoft Jet database engine cannot find the input table or query '" + name +
                    "'.  Make sure it exists and that its name is spelled correctly.");
}

void InvalidName(const std::string& start) {
  JetFail(3125, "'" + start +
                    "' is not a valid name. Make sure that it does not include invalid characters "
                    "or punctuation and that it is not too long.");
}

void RefuseInvalidName(const std::string& name) {
  if (access_names::HoldsForbiddenCharacter(name)) InvalidName(name);
}

void DuplicateValues() {
  JetFail(3022,
          "The changes you requested to the table were not successful because they would create "
          "duplicate values in the index, primary key, or relationship.  Change the data in the "
          "field or fields that contain duplicate data, remove the index, or redefine the index to "
          "permit duplicate entries and try again.");
}

}  // namespace servers::access
