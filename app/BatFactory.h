// The batch-file factory's command line: one line that runs the program unattended on a
// connection string and a package, written for `sh` and read back by the main window.
#pragma once

#include <string>

namespace batfactory {

// The line: program, then "connection=<connection>" and "upd=<package>", each value in double
// quotes. With aRelative the program and the package are named by their file-name parts, the
// program as "./" + name so that `sh` finds it beside the batch file. A program path holding
// blanks or characters `sh` would read is quoted; inside the quotes `"`, `$`, backquote and
// backslash are escaped, so the program receives the values as typed.
std::string BatchLine(const std::string& aProgram, const std::string& aConnection, const std::string& aPackage,
                      bool aRelative);

// The values a batch text carries, read as `sh` reads its words (quotes removed, escapes undone).
struct TBatchValues {
  std::string connection;  // the word named "connection=" (case ignored); empty when none
  std::string package;     // the word named "upd="
};
TBatchValues ParseBatchText(const std::string& aText);

}  // namespace batfactory
