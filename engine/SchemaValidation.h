// What the check asks of the master's schema files before it compares anything.
#pragma once

#include <cstddef>

namespace schema_validation {

// The longest value a field of a schema file may hold, in bytes: a definition text of 1 MB. A
// longer value is refused while the file is read, so that no single field can exhaust memory. The
// copied table data ("CPFP_" files) has no such limit.
constexpr std::size_t kMaxFieldBytes = 1024 * 1024;

}  // namespace schema_validation
