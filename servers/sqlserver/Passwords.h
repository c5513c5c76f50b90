// Login passwords of the SQL Server stand-in: kept in master..syslogins only as salted one-way
// hashes (the server's pwdencrypt form), checked with pwdcompare.
#pragma once

#include <sqlite3.h>

#include <string>

namespace servers::sqlserver {

// The hash of `clear` under a fresh random salt: 0x0100, the 4-byte salt, then the SHA-1 of the
// password's UTF-16LE bytes followed by the salt (26 bytes).
std::string PwdEncrypt(const std::string& clear);
// True when `hash` is a hash of `clear` (the 46-byte form with an upper-case hash after the first
// is read too, by its first hash).
bool PwdCompare(const std::string& clear, const std::string& hash);
// True when `stored` has the layout of a password hash.
bool IsPasswordHash(const std::string& stored);

// Registers the server functions pwdencrypt(clear) and pwdcompare(clear, hash [, version]) on
// the connection as tsql_pwdencrypt and tsql_pwdcompare.
void RegisterPasswordFunctions(sqlite3* db);

// Replaces every password of master..syslogins (`master` is the master database's connection)
// that is not yet a hash by the hash of its text, in one transaction; a NULL password is the
// empty one. Raises ESqliteError when the catalogue cannot be written.
void HashClearPasswords(sqlite3* master);

}  // namespace servers::sqlserver
