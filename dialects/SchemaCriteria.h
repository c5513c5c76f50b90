// Restriction criteria of the schema rowsets: the variant array handed to OpenSchema, and the
// WHERE clauses the dialects' own catalogue queries append for its elements.
#pragma once

#include <string>
#include <vector>

#include "platform/data/Variant.h"

// The criteria as given when they are empty or an array; anything else raises EDbSpecificError.
const ado::Variant& CheckedCriteria(const ado::Variant& criteria);

// Element k of the criteria; an empty variant past the end or without criteria.
ado::Variant CriteriaElement(const ado::Variant& criteria, size_t k);

// True when element k restricts the rowset (present and neither empty nor null).
bool HasCriteriaElement(const ado::Variant& criteria, size_t k);

// For each element k that restricts and has an expression: expressions[k] + the element as a
// quoted literal (" and obj.name = 'x'"). Empty expressions are skipped.
std::string CriteriaClauses(const ado::Variant& criteria, const std::vector<std::string>& expressions);
