// The Adaptive Server Anywhere stand-in's refusals: each carries the real server's SQLCODE as the
// native error and its message text, raised as the data-access layer's provider exception.
#pragma once

#include <string>

namespace servers::asa {

// Raises ado::EOleException with the server's text and SQLCODE.
[[noreturn]] void Fail(int sqlcode, const std::string& message);
// "Syntax error near '<token>' on line <n>" (-131).
[[noreturn]] void FailSyntax(const std::string& nearText, int line);

}  // namespace servers::asa
