// The system's shared enumerations, with their value names both ways: settings, directives and
// schema files store enumerated values by name, so every enum here converts to and from its names.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

enum TDbType { dbtNone, dbtAccess, dbtSqlServer, dbtAsa };

// The 15 schema kinds; a value's name is also the base name of its schema file.
enum TOrvSchemaInfo {
  vsiCatalogs,
  vsiTables,
  vsiColumns,
  vsiViews,
  vsiTableConstraints,
  vsiIndexes,
  vsiProcedures,
  vsiForeignKeys,
  vsiPrimaryKeys,
  vsiDefaultValues,
  vsiUsers,
  vsiDbSpaceIndexes,
  vsiDbSpaceText,
  vsiClusterIndexes,
  vsiDbSpaces
};

// Three-valued switch of every directive; beUndefined defers to the updater's own setting.
enum TBooleanExtended { beYes, beNo, beUndefined };

enum TProgressInfoKind { pikSilent, pikWinMsg, pikConsole, pikBoth, pikUpdaterSetting };

enum TDbErrorManager {
  demStopOnFirstError,
  demSkipInstructionError,
  demEnqueueInstructionError,
  demUpdaterSetting
};

enum TDbPKChangedTreatment { pctNone, pctList, pctAll, pctUpdaterSetting };

enum TDbFkPendingData { fpdNone, fpdDelete, fpdUpdaterSetting };

enum TCopyDataTreatment { cdtUnchange, cdtUpdate, cdtChange, cdtMove, cdtDelete };

// Phase in which an error arose.
enum TDbContext { dbcUnknown, dbcExtractSchema, dbcCheckDb, dbcUpdate };

// France and Spanish load the English texts.
enum TDbLanguageKind { dlkEnglish, dlkFrance, dlkItalian, dlkSpanish };

enum TInstructionKind {
  ikUnknown,
  ikCreateDbSpace,
  ikDropDbSpace,
  ikCreateUser,
  ikDropUser,
  ikCreateTable,
  ikDropTable,
  ikAlterTable,
  ikUpdateTable,
  ikRenameTable,
  ikDeleteFrom,
  ikAddField,
  ikAlterField,
  ikDropField,
  ikRenameField,
  ikCreateConstraint,
  ikDropConstraint,
  ikCreateIndex,
  ikDropIndex,
  ikCreateForeignKey,
  ikCreatePrimaryKey,
  ikDropProcedure,
  ikDropView,
  ikCreateDefaultValue
};

namespace enum_names {

// The value names of enumeration E, in declaration order.
template <typename E>
struct Names;

#define SCHEMION_ENUM_NAMES(E, ...)                                            \
  template <>                                                                  \
  struct Names<E> {                                                            \
    static constexpr std::string_view kValues[] = {__VA_ARGS__};               \
  };

SCHEMION_ENUM_NAMES(TDbType, "dbtNone", "dbtAccess", "dbtSqlServer", "dbtAsa")
SCHEMION_ENUM_NAMES(TOrvSchemaInfo, "vsiCatalogs", "vsiTables", "vsiColumns", "vsiViews",
                    "vsiTableConstraints", "vsiIndexes", "vsiProcedures", "vsiForeignKeys",
                    "vsiPrimaryKeys", "vsiDefaultValues", "vsiUsers", "vsiDbSpaceIndexes",
                    "vsiDbSpaceText", "vsiClusterIndexes", "vsiDbSpaces")
SCHEMION_ENUM_NAMES(TBooleanExtended, "beYes", "beNo", "beUndefined")
SCHEMION_ENUM_NAMES(TProgressInfoKind, "pikSilent", "pikWinMsg", "pikConsole", "pikBoth",
                    "pikUpdaterSetting")
SCHEMION_ENUM_NAMES(TDbErrorManager, "demStopOnFirstError", "demSkipInstructionError",
                    "demEnqueueInstructionError", "demUpdaterSetting")
SCHEMION_ENUM_NAMES(TDbPKChangedTreatment, "pctNone", "pctList", "pctAll", "pctUpdaterSetting")
SCHEMION_ENUM_NAMES(TDbFkPendingData, "fpdNone", "fpdDelete", "fpdUpdaterSetting")
SCHEMION_ENUM_NAMES(TCopyDataTreatment, "cdtUnchange", "cdtUpdate", "cdtChange", "cdtMove",
                    "cdtDelete")
SCHEMION_ENUM_NAMES(TDbContext, "dbcUnknown", "dbcExtractSchema", "dbcCheckDb", "dbcUpdate")
SCHEMION_ENUM_NAMES(TDbLanguageKind, "dlkEnglish", "dlkFrance", "dlkItalian", "dlkSpanish")
SCHEMION_ENUM_NAMES(TInstructionKind, "ikUnknown", "ikCreateDbSpace", "ikDropDbSpace",
                    "ikCreateUser", "ikDropUser", "ikCreateTable", "ikDropTable", "ikAlterTable",
                    "ikUpdateTable", "ikRenameTable", "ikDeleteFrom", "ikAddField", "ikAlterField",
                    "ikDropField", "ikRenameField", "ikCreateConstraint", "ikDropConstraint",
                    "ikCreateIndex", "ikDropIndex", "ikCreateForeignKey", "ikCreatePrimaryKey",
                    "ikDropProcedure", "ikDropView", "ikCreateDefaultValue")

#undef SCHEMION_ENUM_NAMES

bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace enum_names

// Number of values of enumeration E.
template <typename E>
constexpr int EnumCount() {
  return static_cast<int>(std::size(enum_names::Names<E>::kValues));
}

// The value name of v ("vsiTables"); an out-of-range value gives an empty name.
template <typename E>
std::string EnumName(E v) {
  const int i = static_cast<int>(v);
  if (i < 0 || i >= EnumCount<E>()) return {};
  return std::string(enum_names::Names<E>::kValues[i]);
}

// The value whose name is `name` (case ignored); nullopt for an unknown name.
template <typename E>
std::optional<E> EnumFromName(std::string_view name) {
  for (int i = 0; i < EnumCount<E>(); ++i) {
    if (enum_names::EqualsIgnoreCase(enum_names::Names<E>::kValues[i], name)) {
      return static_cast<E>(i);
    }
  }
  return std::nullopt;
}

// The value whose name is `name`, or `fallback` when the name is unknown.
template <typename E>
E EnumFromName(std::string_view name, E fallback) {
  return EnumFromName<E>(name).value_or(fallback);
}
