#include "components/DbErrors.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/Paths.h"
#include "components/ComponentError.h"

std::vector<TDbErrorElem*>* TDbErrors::ContextList(TDbContext aContext) {
  switch (aContext) {
    case dbcExtractSchema:
      return &extractSchemaErrors_;
    case dbcCheckDb:
      return &checkDbErrors_;
    case dbcUpdate:
      return &updateErrors_;
    default:
      return nullptr;
  }
}

void TDbErrors::Add(TDbContext aContext, const std::string& aDescription,
                    const std::string& aEMessage, int aInstrNumber, const std::string& aSqlText,
                    bool aHandled) {
  auto elem = std::make_unique<TDbErrorElem>();
  elem->Description = aDescription;
  elem->EMessage = aEMessage;
  elem->InstrNumber = aInstrNumber;
  elem->SqlText = aSqlText;
  elem->Context = (aContext >= dbcUnknown && aContext <= dbcUpdate) ? aContext : dbcUnknown;
  elem->Handled = aHandled;
  if (auto* list = ContextList(elem->Context)) list->push_back(elem.get());
  items_.push_back(std::move(elem));
  ++version_;
}

void TDbErrors::Clear() {
  extractSchemaErrors_.clear();
  checkDbErrors_.clear();
  updateErrors_.clear();
  items_.clear();
  ++version_;
}

void TDbErrors::ClearContext(TDbContext aContext) {
  if (auto* list = ContextList(aContext)) list->clear();
  std::erase_if(items_, [aContext](const auto& e) { return e->Context == aContext; });
  ++version_;
}

void TDbErrors::ClearExtractSchemaErrors() { ClearContext(dbcExtractSchema); }
void TDbErrors::ClearCheckDbErrors() { ClearContext(dbcCheckDb); }
void TDbErrors::ClearUpdateErrors() { ClearContext(dbcUpdate); }

void TDbErrors::Delete(int aIndex) {
  if (aIndex < 0 || aIndex >= Count()) return;
  TDbErrorElem* elem = items_[aIndex].get();
  if (auto* list = ContextList(elem->Context)) {
    const auto position =
        std::count_if(items_.begin(), items_.begin() + aIndex,
                      [elem](const auto& e) { return e->Context == elem->Context; });
    list->erase(list->begin() + position);
  }
  items_.erase(items_.begin() + aIndex);
  ++version_;
}

void TDbErrors::WriteLog(std::vector<std::string>& aLines) const {
  aLines.push_back("ERROR LOG");
  aLines.push_back("");
  const struct {
    TDbContext context;
    const char* heading;
  } kSections[] = {{dbcUnknown, "GENERIC ERRORS"},
                   {dbcExtractSchema, "EXTRACT SCHEMA ERRORS"},
                   {dbcCheckDb, "CHECK DB ERRORS"},
                   {dbcUpdate, "UPDATE ERRORS"}};
  for (const auto& section : kSections) {
    aLines.push_back(section.heading);
    for (const auto& e : items_) {
      if (e->Context != section.context) continue;
      aLines.push_back("INSTR. N.:   " + std::to_string(e->InstrNumber));
      aLines.push_back("DESCRIPTION: " + e->Description);
      aLines.push_back("SQL TEXT:    " + e->SqlText);
      aLines.push_back("E. MESSAGE:  " + e->EMessage);
      aLines.push_back(e->Handled ? "HANDLED:     YES" : "HANDLED:     NO");
      aLines.push_back("");
    }
    aLines.push_back("");
  }
  aLines.push_back("TOTAL ERRORS: " + std::to_string(items_.size()));
}

bool TDbErrors::SaveToFile(const std::string& aFileName) const {
  namespace fs = std::filesystem;
  const fs::path path(paths::ToNativePath(paths::FoldBackslashes(aFileName)));
  std::error_code ec;
  if (fs::is_directory(path, ec)) return false;
  if (fs::exists(path, ec) || fs::is_symlink(path, ec)) {
    if (!fs::remove(path, ec) || ec) return false;
  }
  std::vector<std::string> lines;
  WriteLog(lines);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw EComponentError("Unable to create file " + path.string());
  for (const std::string& line : lines) out << line << '\n';
  out.flush();
  if (!out) throw EComponentError("Unable to write file " + path.string());
  return true;
}
