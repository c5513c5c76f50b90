// The copy-data phase: the rows a producer exported for its copy list, carried to the client by
// each item's treatment.
#include "engine/uDm.h"

bool Tdm::UpdateCopyData() { return true; }
