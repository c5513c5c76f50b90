// The SQL Server stand-in's refusals: each carries the real server's error number and message
// text, raised as the data-access layer's provider exception.
#pragma once

#include <string>

#include "platform/data/DataErrors.h"

namespace servers::sqlserver {

// Raises ado::EOleException with the server's message and error number.
[[noreturn]] void Fail(int number, const std::string& message);
// "Line n: Incorrect syntax near 'token'." (error 170).
[[noreturn]] void FailSyntax(int line, const std::string& nearText);
// "There is already an object named 'name' in the database." (error 2714).
[[noreturn]] void DuplicateObject(const std::string& name);

}  // namespace servers::sqlserver
