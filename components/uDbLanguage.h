// The message set of a producer or updater: the 52 texts that the components and the engine write
// to the console, the progress window and the error list, in English or Italian. A host may set its
// own wording text by text; setting another language reloads a whole built-in set.
#pragma once

#include <array>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

#include "common/SchemionTypes.h"

class TDbLanguageOptions {
 public:
  // Holds the English set and dlkEnglish.
  TDbLanguageOptions();

  // The texts, in their published order. Placeholders: "%s" takes a text, "%d" a number.
  std::string ErrConnectDb;
  std::string ErrBeforeExtractSchema;
  std::string ErrExtractSchema;
  std::string ErrAfterExtractSchema;
  std::string ErrDataExtraction;
  std::string msgBeforeExtractSchema;
  std::string msgAfterExtractSchema;
  std::string msgBeforeExtractParameters;
  std::string msgAfterExtractParameters;
  std::string msgBeforeExtractData;
  std::string msgAfterExtractData;
  std::string ErrBeforeCheckDb;
  std::string ErrCheckDb;
  std::string ErrAfterCheckDb;
  std::string ErrColumnSchema;
  std::string msgStartCheckDb;
  std::string msgInitializeCheckDb;
  std::string msgRenameTables;
  std::string msgRenameFields;
  std::string msgClearTables;
  std::string msgUpdateTables;
  std::string msgDeleteTables;
  std::string msgCopyData;
  std::string msgUpdateIndexes;
  std::string msgUpdateConstraints;
  std::string msgUpdateViews;
  std::string msgUpdateStoreProcedures;
  std::string msgUpdateStoreFunctions;
  std::string msgUpdateTriggers;
  std::string ErrBeforeUpdate;
  std::string ErrAfterUpdate;
  std::string ErrExecuteInstruction;
  std::string ErrReExecuteInstruction;
  std::string ErrGenericBeforeUpdate;
  std::string ErrUDFBeforeUpdate;
  std::string ErrUDFAfterUpdate;
  std::string ErrGenericAfterUpdate;
  std::string ErrBackup;
  std::string ErrDeleteBackupFile;
  std::string BackupComplete;
  std::string msgAddInstruction;
  std::string MsgNoFile;
  std::string msgDone;
  std::string msgUpdating;
  std::string msgDeleting;
  std::string ConsoleReady;
  std::string ConsoleError;
  std::string ConsoleDescription;
  std::string ConsoleErrMsg;
  std::string ConsoleInstrNumber;
  std::string ConsoleCommandText;
  std::string PInfoMsg;

  TDbLanguageKind Language() const { return language_; }
  // Stores the language; only a change of language reloads the built-in set, so texts set after
  // choosing a language survive setting the same language again.
  void SetLanguage(TDbLanguageKind aLanguage);

  // Loads the built-in set of the current language (France and Spanish load English).
  void ApplyLanguage();

  // Name and member of every text, in published order, for hosts that stream the texts by name.
  struct TextProperty {
    std::string_view name;
    std::string TDbLanguageOptions::*text;
  };
  static constexpr int kTextCount = 52;
  static const std::array<TextProperty, kTextCount>& TextProperties();

 private:
  TDbLanguageKind language_ = dlkEnglish;
};

// One argument of DbFormat: a text or a number.
using TFormatArg = std::variant<std::string, long long>;

// Fills the placeholders of a message text in order: "%s" and "%d" each take the next argument
// (a number prints in decimal, a text as it is), "%%" gives "%". The texts may come from a host,
// so nothing in them is trusted: a placeholder without an argument stays as written, surplus
// arguments are ignored and any other "%" sequence is copied unchanged.
std::string DbFormat(std::string_view aFormat, std::initializer_list<TFormatArg> aArgs);
