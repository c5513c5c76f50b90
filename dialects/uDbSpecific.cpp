// The dialect base: field defaults, quoting, connection-string values, user and db-space
// statements and the virtual operations whose base answer is plain text.
#include "dialects/uDbSpecific.h"

#include <cctype>

#include "common/Paths.h"
#include "common/Text.h"
#include "dialects/DatabaseOperations.h"

bool TWordList::Contains(std::string_view word) const {
  for (const std::string& w : words_) {
    if (text::SameText(w, word)) return true;
  }
  return false;
}

std::string SqlLiteral(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

TDatabaseSpecific::TDatabaseSpecific(IDialectOwner* owner)
    : IdentityOptions(std::make_unique<TIdentityOptions>()),
      ReservedWords{"GROUP", "ORDER", "INSERT", "DELETE", "UPDATE", "CONSTRAINT", "INDEX"},
      ServerKey("Data Source="),
      DatabaseKey("Initial Catalog="),
      Owner(owner) {}

TDatabaseSpecific::~TDatabaseSpecific() = default;

// ---- Virtual operations with a base answer ----

std::string TDatabaseSpecific::GetCollateClause(const std::string&) { return {}; }

std::string TDatabaseSpecific::GetClusterPrimaryKeySql(const std::string&, const std::string&,
                                                       bool) {
  return {};
}

bool TDatabaseSpecific::IsDbSpaceStatement(const std::string&, TInstructionKind&, std::string&,
                                           std::string&) {
  return false;
}

bool TDatabaseSpecific::IsUserStatement(const std::string&, TInstructionKind&, std::string&,
                                        std::string&) {
  return false;
}

std::string TDatabaseSpecific::GetRenumberSql(const std::string&, const std::string&,
                                              const std::string&) {
  return {};
}

bool TDatabaseSpecific::LoginExists(ado::TConnection&, const std::string&) { return true; }

std::string TDatabaseSpecific::GetCurrentDateDefault() { return {}; }

std::string TDatabaseSpecific::GetConditionalSql(bool, const std::string&, const std::string&,
                                                 const std::string&, const std::string& thenSql,
                                                 const std::string&) {
  return thenSql;
}

std::string TDatabaseSpecific::GetObjectExistsSql(const std::string&, const std::string&) {
  return {};
}

std::string TDatabaseSpecific::BoolToSql(bool value) { return value ? "1" : "0"; }

std::string TDatabaseSpecific::GetIdentityInsertOnSql(const std::string&) { return {}; }

std::string TDatabaseSpecific::GetIdentityInsertOffSql(const std::string&) { return {}; }

std::string TDatabaseSpecific::AddEncryption(const std::string& definition) { return definition; }

// ---- Key, index and column statements ----

namespace {

std::string ClusteredClause(bool clustered) {
  return clustered ? " CLUSTERED " : " NONCLUSTERED ";
}

}  // namespace

std::string TDatabaseSpecific::GetAddKeyConstraintSql(const std::string& prefix,
                                                      const std::string& table,
                                                      const std::string& name, bool primaryKey,
                                                      bool clustered, const std::string& columns) {
  return "ALTER TABLE " + prefix + QuoteName(table) + " ADD CONSTRAINT " + QuoteName(name) +
         (primaryKey ? " PRIMARY KEY " : " UNIQUE ") + ClusteredClause(clustered) + " (" +
         columns + ")";
}

std::string TDatabaseSpecific::GetCreateIndexSql(const std::string& prefix,
                                                 const std::string& table,
                                                 const std::string& name, bool unique,
                                                 bool clustered, const std::string& columns) {
  // A non-unique index says only that it is clustered: without the clause it is not.
  return "CREATE " +
         (unique ? " UNIQUE " + ClusteredClause(clustered) : clustered ? ClusteredClause(true) : std::string()) +
         " INDEX " + QuoteName(name) + " ON " + prefix + QuoteName(table) + " (" + columns + ")";
}

std::string TDatabaseSpecific::GetDropIndexSql(const std::string& prefix, const std::string& table,
                                               const std::string& name) {
  return "DROP INDEX " + prefix + QuoteName(table) + "." + QuoteName(name);
}

std::string TDatabaseSpecific::GetAlterColumnNullSql(ado::TDataSet&, const TOrvDataType*,
                                                     const std::string& prefix,
                                                     const std::string& table,
                                                     const std::string& column) {
  return "ALTER TABLE " + prefix + QuoteName(table) + AlterColumnKeyword + " " +
         QuoteName(column) + " NULL";
}

void TDatabaseSpecific::ReportBackupError(const std::string& path, const std::string& message) {
  if (Owner == nullptr) return;
  Owner->ReportError(dbcUpdate, text::ReplaceAll(Owner->BackupErrorText(), "%s", path), message);
}

// ---- Owners ----

bool TDatabaseSpecific::IsDefaultOwner(const std::string& owner, int side) const {
  // A database of no known type has no default owner, not even an empty one.
  const TDbType type = side == 1 ? MasterDbType : DbType;
  const bool known = type == dbtAccess || type == dbtSqlServer || type == dbtAsa;
  return known && owner == GetDefaultOwner(side);
}

std::string TDatabaseSpecific::GetDefaultOwner(int side) const {
  switch (side == 1 ? MasterDbType : DbType) {
    case dbtSqlServer: return "dbo";
    case dbtAsa: return "dba";
    default: return {};
  }
}

// ---- Users and db spaces ----

std::string TDatabaseSpecific::GetCreateUserSql(ado::TConnection& connection,
                                                const std::string& user, const std::string& login,
                                                const std::string& password) {
  std::string sql;
  const std::string theLogin = login.empty() ? user : login;
  // The statement runs on this connection, so it is spelled for this server whatever the master.
  switch (DbType) {
    case dbtSqlServer:
      if (!LoginExists(connection, theLogin)) {
        sql = "EXEC sp_addLogin " + SqlLiteral(theLogin);
        if (!password.empty()) sql += ", " + SqlLiteral(password);
        sql += "; ";
      }
      // A procedure that is not the batch's first statement is called with EXEC.
      sql += "EXEC sp_grantDbAccess " + SqlLiteral(theLogin) + ", " + SqlLiteral(user);
      break;
    case dbtAsa:
      sql = "grant connect to " + user;
      if (!password.empty()) sql += " identified by " + SqlLiteral(password);
      break;
    default: return {};
  }
  auto elem = std::make_unique<TUserElem>();
  elem->UserId = -1;
  elem->UserName = user;
  elem->LoginName = theLogin;
  Users.Add(user, std::move(elem));
  return sql;
}

using dialect_databases::NLiteral;

std::string TDatabaseSpecific::SqlServerDbSpaceFileSql(const std::string& dbSpace) const {
  // The file goes beside the database's primary data file: "<folder>\<db>_<group>.ndf".
  const TDbSpaceElem* primary = DbSpaces.Find("PRIMARY");
  if (primary == nullptr || primary->FileName.empty()) return {};
  const std::string& dataFile = primary->FileName;
  const size_t slash = dataFile.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string() : dataFile.substr(0, slash + 1);
  const std::string logical = DatabaseName + "_" + dbSpace;
  return "; ALTER DATABASE " + DatabaseName + " ADD FILE (NAME = " + NLiteral(logical) +
         ", FILENAME = " + NLiteral(folder + logical + ".ndf") + ") TO FILEGROUP " + QuoteName(dbSpace);
}

std::string TDatabaseSpecific::GetCreateDbSpaceSql(const std::string& dbSpace,
                                                   const std::string& fileName) {
  // Spelled for this connection's server, which runs it, whatever the master.
  if (DbType == dbtAccess) return {};
  // Before the new group is recorded: its file derives from the primary one.
  const std::string sqlServerFile = DbType == dbtSqlServer ? SqlServerDbSpaceFileSql(dbSpace) : "";
  std::string file = fileName;
  if (DbType == dbtAsa && file.empty()) file = dbSpace + ".DB";
  auto elem = std::make_unique<TDbSpaceElem>();
  elem->FileId = -1;
  elem->FileName = file;
  elem->DbSpaceName = dbSpace;
  elem->IsDefault = false;
  DbSpaces.Add(dbSpace, std::move(elem));
  switch (DbType) {
    case dbtSqlServer:
      return "ALTER DATABASE " + DatabaseName + " ADD FILEGROUP " + QuoteName(dbSpace) + sqlServerFile;
    case dbtAsa: return "CREATE DBSPACE " + QuoteName(dbSpace) + " AS " + QuoteFileName(file);
    default: return {};
  }
}

bool TDatabaseSpecific::IsDefaultDbSpace(const std::string& dbSpace) const {
  switch (MasterDbType) {
    case dbtSqlServer: return text::SameText(dbSpace, "PRIMARY");
    case dbtAsa: return text::SameText(dbSpace, "SYSTEM");
    default: return true;
  }
}

// ---- Data types ----

TOrvDataType* TDatabaseSpecific::FindDataType(const std::string& name, int mode) const {
  const std::string wanted = text::SameText(name, "SYSNAME") ? std::string("nVarChar") : name;
  for (int i = 0; i < DataTypes.Count(); ++i) {
    TOrvDataType& type = DataTypes.Object(i);
    if (mode == kFindByNativeName ? text::SameText(type.NativeName, wanted)
                                  : type.GenericName == wanted) {
      return &type;
    }
  }
  return nullptr;
}

void TDatabaseSpecific::AddDataType(uint16_t nativeCode, uint16_t genericOrdinal,
                                    const std::string& nativeName,
                                    const std::string& genericName) {
  auto type = std::make_unique<TOrvDataType>();
  type->NativeCode = nativeCode;
  type->GenericOrdinal = genericOrdinal;
  type->NativeName = nativeName;
  type->GenericName = genericName;
  DataTypes.Add(nativeName, std::move(type));
}

// ---- Names and connection strings ----

const TDatabaseSpecific& TDatabaseSpecific::QuotingDialect() const {
  if (Owner != nullptr) {
    if (const TDatabaseSpecific* current = Owner->CurrentDialect()) return *current;
  }
  return *this;
}

bool TDatabaseSpecific::IsRegularIdentifier(std::string_view name) const {
  if (name.empty()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    const bool letter = c >= 0x80 || std::isalpha(c) != 0;
    const std::string& extra = i == 0 ? IdentifierFirstCharacters : IdentifierCharacters;
    if (!letter && !(i > 0 && std::isdigit(c) != 0) && extra.find(static_cast<char>(c)) == std::string::npos) {
      return false;
    }
  }
  return true;
}

std::string TDatabaseSpecific::NameFault(std::string_view name) const {
  const size_t length = text::Utf8Length(name, IdentifierLengthInBytes);
  if (length > MaxIdentifierLength) {
    const std::string unit = IdentifierLengthInBytes ? " bytes" : " characters";
    return "is " + std::to_string(length) + unit + " long, longer than the server allows (" +
           std::to_string(MaxIdentifierLength) + unit + ")";
  }
  const size_t refused = name.find_first_of(NameRefusedCharacters);
  if (refused != std::string_view::npos) {
    return std::string("holds the character '") + name[refused] + "', which the server never accepts in a name";
  }
  return {};
}

namespace {

// True when a text holds a character that would end it, or the statement, unquoted: a blank or
// other control character, a quote or bracket, a statement end, a comment start or an operator.
bool HoldsBreakingCharacter(const std::string& text) {
  static constexpr std::string_view kBreaking = " ;'\"[]`(),=<>+-*%&|^~!?{}";
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || kBreaking.find(c) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace

std::string TDatabaseSpecific::Quoted(const std::string& text) const {
  const TDatabaseSpecific& dialect = QuotingDialect();
  // A closing quote inside the text is written twice, so that it stays part of it.
  const std::string& close = dialect.QuoteClose;
  return dialect.QuoteOpen + (close.empty() ? text : text::ReplaceAll(text, close, close + close)) + close;
}

std::string TDatabaseSpecific::QuoteName(const std::string& name) const {
  if (name.empty() || (IsRegularIdentifier(name) && !IsReservedWord(name))) return name;
  return Quoted(name);
}

std::string TDatabaseSpecific::QuoteFileName(const std::string& fileName) const {
  return HoldsBreakingCharacter(fileName) ? Quoted(fileName) : fileName;
}

namespace {

// The value of `key` ("Initial Catalog=") in a connection string, found ignoring case: the text
// after the key up to the first ";", trimmed; empty when the key is missing.
std::string ConnectionValue(const std::string& connectionString, const std::string& key) {
  if (key.empty()) return {};
  const size_t p = text::FindText(connectionString, key);
  if (p == std::string::npos) return {};
  std::string value = text::Trim(std::string_view(connectionString).substr(p + key.size()));
  const size_t semicolon = value.find(';');
  if (semicolon != std::string::npos) value = text::Trim(value.substr(0, semicolon));
  return value;
}

}  // namespace

std::string TDatabaseSpecific::GetDatabaseFromConnection(const std::string& connectionString) const {
  if (!DatabaseName.empty()) return DatabaseName;
  return ConnectionValue(connectionString, DatabaseKey);
}

std::string TDatabaseSpecific::GetServerFromConnection(const std::string& connectionString) const {
  return ConnectionValue(connectionString, ServerKey);
}

// ---- Database creation ----

int TDatabaseSpecific::CreateDatabaseInFolder(const std::string& name,
                                              const std::string& dataFolder,
                                              const std::string& logFolder,
                                              const std::string& userId,
                                              const std::string& password,
                                              const std::string& server) {
  const std::string data = dataFolder.empty() ? paths::ExecutableFolder() : dataFolder;
  const std::string log = logFolder.empty() ? data : logFolder;
  const std::string dataPath = text::ReplaceAll(data + "\\" + name, "\\\\", "\\");
  const std::string logPath = text::ReplaceAll(log + "\\" + name, "\\\\", "\\");
  return CreateDatabase(name, dataPath, logPath, userId, password, server);
}
