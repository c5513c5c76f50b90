#include "common/SchemionTypes.h"

#include "common/Text.h"

namespace enum_names {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) { return text::SameText(a, b); }

}  // namespace enum_names
