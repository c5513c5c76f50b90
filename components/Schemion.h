// The instruction classifier: TInstruction describes one SQL instruction of the instruction list
// (its number, text, kind and the names of the objects it touches) for the instruction events and
// error reports of a running update.
#pragma once

#include <string>
#include <string_view>

#include "common/SchemionTypes.h"
#include "dialects/DialectOwner.h"

class TDatabaseSpecific;

class TInstruction {
 public:
  // `owner` (the engine data module) gives the current dialect: its statement recognisers and
  // quote characters. Not owned; may be null, then no dialect statement is recognised and no
  // quotes are known.
  explicit TInstruction(IDialectOwner* owner = nullptr) : Owner(owner) {}

  IDialectOwner* Owner = nullptr;
  std::string Sql;
  std::string DatabaseName;
  std::string OwnerName;
  std::string ObjectName;  // the table worked on; for a DROP INDEX the last part of its name
  std::string SecondName;  // constraint, index or column, or the dialect's second name
  std::string Detail;      // index options ("UNIQUE;CLUSTERED") or column + "=" + default value
  TInstructionKind Kind = ikUnknown;
  int Number = 0;

  // Number := aNumber, Sql := aSql, then Classify.
  void SetInstruction(int aNumber, const std::string& aSql);
  // Fills Kind and the name fields from Sql. Every name field and Detail that the matching rule
  // does not fill is left empty.
  void Classify();
  // Splits a dotted name into up to three parts (database, owner, object), each unquoted; a third
  // part keeps any further dots.
  void SplitName(const std::string& aName, std::string& aDatabase, std::string& aOwner,
                 std::string& aObject) const;
  // aAdd true: the name wrapped in the current dialect's quotes. aAdd false: the name trimmed,
  // with one opening quote removed from its start and one closing quote from its end when present.
  std::string QuoteName(const std::string& aName, bool aAdd) const;
  // The leading name of a text: dotted parts, each plain (up to a blank, dot, parenthesis, comma
  // or semicolon) or enclosed in the dialect's quotes; empty for an empty text.
  std::string FirstName(std::string_view aText) const;

 private:
  const TDatabaseSpecific* Dialect() const;
  void ClearNames();
  bool ClassifyDialectStatement();
  // Fills the three name fields from the first name of `text`; false when that name is empty.
  bool SetTableName(std::string_view text);
  void ClassifyAlterTable();
  void ClassifyIndex();
  void ClassifyDropIndex(std::string_view rest);
};
