// The error list of a producer or updater: every error of an extraction, a check or an update,
// kept in order of arrival and grouped by the phase in which it arose, and written as the
// "ERROR LOG" text file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/SchemionTypes.h"

// One error of the list.
class TDbErrorElem {
 public:
  std::string Description;  // what failed, usually a text of the message set
  std::string EMessage;     // the exception's message, may be empty
  int InstrNumber = 0;      // number of the instruction concerned, 0 when none
  std::string SqlText;      // the SQL text concerned, may be empty
  TDbContext Context = dbcUnknown;
  bool Handled = false;  // an error handler declared the error handled
};

class TDbErrors {
 public:
  TDbErrors() = default;
  TDbErrors(const TDbErrors&) = delete;
  TDbErrors& operator=(const TDbErrors&) = delete;

  // Every error, in order of arrival; the list owns the elements.
  const std::vector<std::unique_ptr<TDbErrorElem>>& Items() const { return items_; }
  // The errors of one phase, in order of arrival (elements owned by Items). Errors of
  // dbcUnknown are only in Items.
  const std::vector<TDbErrorElem*>& ExtractSchemaErrors() const { return extractSchemaErrors_; }
  const std::vector<TDbErrorElem*>& CheckDbErrors() const { return checkDbErrors_; }
  const std::vector<TDbErrorElem*>& UpdateErrors() const { return updateErrors_; }
  int Count() const { return static_cast<int>(items_.size()); }
  // Grows with every change of the list, so a window showing it can tell that it is stale.
  uint64_t Version() const { return version_; }

  // Appends a new error to Items and to the list of its context. A context outside the
  // enumeration is kept as dbcUnknown.
  void Add(TDbContext aContext, const std::string& aDescription, const std::string& aEMessage,
           int aInstrNumber, const std::string& aSqlText, bool aHandled);
  void Clear();
  // Remove the errors of one phase; the others keep their order.
  void ClearExtractSchemaErrors();
  void ClearCheckDbErrors();
  void ClearUpdateErrors();
  // Removes the entry at aIndex of Items (and from its context list); other indexes do nothing.
  void Delete(int aIndex);

  // Writes the error log to aFileName (doubled backslashes folded), replacing an existing file.
  // Returns False, writing nothing, when the existing file cannot be deleted; a failure while
  // writing raises EComponentError.
  bool SaveToFile(const std::string& aFileName) const;
  // Appends the lines of the error log to aLines.
  void WriteLog(std::vector<std::string>& aLines) const;

 private:
  std::vector<TDbErrorElem*>* ContextList(TDbContext aContext);
  void ClearContext(TDbContext aContext);

  std::vector<std::unique_ptr<TDbErrorElem>> items_;
  std::vector<TDbErrorElem*> extractSchemaErrors_;
  std::vector<TDbErrorElem*> checkDbErrors_;
  std::vector<TDbErrorElem*> updateErrors_;
  uint64_t version_ = 0;
};
