// libFuzzer target: the instruction classifier on any text, with the current dialect picked by
// the first byte (none, or the dialect of one of the three servers).
#include <cstdint>
#include <string>

#include "components/Schemion.h"
#include "dialects/uDbSpecific.h"

namespace {

class Owner : public IDialectOwner {
 public:
  TDatabaseSpecific* dialect = nullptr;
  TDatabaseSpecific* CurrentDialect() const override { return dialect; }
  void ReportError(TDbContext, const std::string&, const std::string&) override {}
  std::string BackupErrorText() const override { return {}; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static Owner owner;
  static TSqlServerSpecific sqlServer(&owner);
  static TAsaSpecific asa(&owner);
  static TAccessSpecific access(&owner);
  switch (data[0] % 4) {
    case 0: owner.dialect = nullptr; break;
    case 1: owner.dialect = &sqlServer; break;
    case 2: owner.dialect = &asa; break;
    default: owner.dialect = &access; break;
  }
  TInstruction instr(&owner);
  instr.SetInstruction(1, std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  if (instr.Kind == ikUnknown && !(instr.DatabaseName + instr.OwnerName + instr.ObjectName +
                                   instr.SecondName + instr.Detail).empty()) {
    __builtin_trap();
  }
  std::string a, b, c;
  instr.SplitName(instr.Sql, a, b, c);
  instr.QuoteName(instr.Sql, false);
  return 0;
}
