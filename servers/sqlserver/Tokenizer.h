// The T-SQL tokenizer: the shared tokenizer under SQL Server's rules ([brackets], N'..', @variables,
// $money) raising its errors 105, 113, 103 and 170.
#pragma once

#include <string>
#include <vector>

#include "servers/core/Tokenizer.h"

namespace servers::sqlserver {

using servers::SplitNameParts;
using servers::Token;
using servers::TokenKind;

// Tokenizes the batch; an unclosed quote or bracket raises the server's error 105. With
// `quotedIdentifier` off, "text" is a string instead of a name. SET QUOTED_IDENTIFIER takes
// effect where the batch is read: the text after it is read under the setting it names.
std::vector<Token> Tokenize(const std::string& sql, bool quotedIdentifier = true);

}  // namespace servers::sqlserver
