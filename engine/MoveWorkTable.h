// The one-row work table through which the move of copied rows numbers a row on Access, and the
// three instructions of one use of it (make it, join it in the UPDATE, drop it), which only make
// sense together: the copy-data phase writes them, the update executor retries them as one.
#pragma once

#include <string>
#include <string_view>

namespace move_work_table {

inline constexpr std::string_view kName = "_ORV_MOVE_MAX";

enum class Role { None, Make, Join, Drop };

// The part an instruction plays in a use of the work table, read from the texts the copy-data
// phase writes.
inline Role RoleOf(std::string_view aSql) {
  const std::string name(kName);
  if (aSql.starts_with("SELECT ") && aSql.find(" INTO " + name + " FROM ") != std::string_view::npos) {
    return Role::Make;
  }
  if (aSql.starts_with("UPDATE ") && aSql.find(", " + name + " SET ") != std::string_view::npos) return Role::Join;
  if (aSql == "DROP TABLE " + name) return Role::Drop;
  return Role::None;
}

}  // namespace move_work_table
