// The Access stand-in's refusals: Jet's error numbers and message texts, raised as the
// data-access layer's provider exception.
#pragma once

#include <string>

namespace servers::access {

// Raises ado::EOleException with Jet's message and error number.
[[noreturn]] void JetFail(int number, const std::string& message);

// 3078: a statement names a table or query that does not exist.
[[noreturn]] void NoInputTable(const std::string& name);
// 3125: a name too long, or one given to a new object or field that holds a character Access
// names may not hold (see common/AccessNames.h); `start` is the name or its start.
[[noreturn]] void InvalidName(const std::string& start);
// InvalidName for a new object's or field's name that holds such a character.
void RefuseInvalidName(const std::string& name);
// 3022: a duplicate value in a primary key or unique index.
[[noreturn]] void DuplicateValues();

}  // namespace servers::access
