#include "dialects/SchemaCriteria.h"

#include "dialects/uDbSpecific.h"

const ado::Variant& CheckedCriteria(const ado::Variant& criteria) {
  if (!criteria.IsNullOrEmpty() && !criteria.IsArray()) {
    throw EDbSpecificError("Schema restrictions must be an array of values");
  }
  return criteria;
}

ado::Variant CriteriaElement(const ado::Variant& criteria, size_t k) {
  if (CheckedCriteria(criteria).IsNullOrEmpty()) return {};
  const ado::VariantArray& elements = criteria.AsArray();
  return k < elements.size() ? elements[k] : ado::Variant();
}

bool HasCriteriaElement(const ado::Variant& criteria, size_t k) {
  return !CriteriaElement(criteria, k).IsNullOrEmpty();
}

std::string CriteriaClauses(const ado::Variant& criteria,
                            const std::vector<std::string>& expressions) {
  std::string sql;
  for (size_t k = 0; k < expressions.size(); ++k) {
    if (expressions[k].empty() || !HasCriteriaElement(criteria, k)) continue;
    sql += expressions[k] + SqlLiteral(CriteriaElement(criteria, k).AsString());
  }
  return sql;
}
