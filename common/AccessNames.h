// The rules Access keeps for the names of its objects (tables, views, procedures, indexes,
// constraints) and fields: what its server refuses, and what a package bound for it must not hold.
#pragma once

#include <cstddef>
#include <string_view>

namespace access_names {

// The longest name, in characters.
inline constexpr size_t kMaxLength = 64;
// The characters no name may hold.
inline constexpr std::string_view kForbiddenCharacters = ".![]";

// Whether the name holds one of the forbidden characters.
inline bool HoldsForbiddenCharacter(std::string_view name) {
  return name.find_first_of(kForbiddenCharacters) != std::string_view::npos;
}

}  // namespace access_names
