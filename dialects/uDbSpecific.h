// The SQL dialect layer: the abstract dialect TDatabaseSpecific answers every question whose
// answer depends on the database server (catalogue reads, type names, quoting, statement
// spelling); one derived class per server. TSqlServerSpecific serves SQL Server 2000 and MSDE.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/SchemionTypes.h"
#include "common/Text.h"
#include "dialects/DialectOwner.h"
#include "platform/data/Variant.h"

namespace ado {
class TConnection;
class TDataSet;
}  // namespace ado

// The one exception type of the dialects (bad arguments handed to a dialect).
class EDbSpecificError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One row of a dialect's data-type table: a native type and the generic type it maps to.
struct TOrvDataType {
  uint16_t NativeCode = 0;      // the server's own type code, kept for reference
  uint16_t GenericOrdinal = 0;  // 0 to 36, shared by every dialect
  std::string NativeName;
  std::string GenericName;
};

// How a dialect writes identity columns.
struct TIdentityOptions {
  bool IdentityAddPlain = false;
  bool IdentityNullClause = false;
  bool WriteIdentitySeed = false;
  bool WriteIdentityIncrement = false;
  // The native type of every identity column on a server whose only identity is one type (the
  // long-integer counter of Access); empty where an identity column keeps its own type.
  std::string IdentityTypeName;
};

// A database user, known or scheduled for creation (id -1).
struct TUserElem {
  int UserId = -1;
  std::string UserName;
  std::string GroupName;
  std::string LoginName;
};

// A db space (file group), known or scheduled for creation (file id -1).
struct TDbSpaceElem {
  int FileId = -1;
  std::string FileName;
  std::string DbSpaceName;
  bool IsDefault = false;
};

// A list of names in insertion order, each owning an object; duplicates stay and the first
// match wins. Lookups ignore case.
template <typename T>
class TOwnedStringList {
 public:
  T& Add(std::string name, std::unique_ptr<T> object) {
    items_.emplace_back(std::move(name), std::move(object));
    return *items_.back().second;
  }
  // Index of the first entry named `name` (case ignored), or -1.
  int IndexOf(std::string_view name) const;
  // The object of the first entry named `name`, or nullptr.
  T* Find(std::string_view name) const {
    const int i = IndexOf(name);
    return i < 0 ? nullptr : items_[static_cast<size_t>(i)].second.get();
  }
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Name(int i) const { return items_.at(static_cast<size_t>(i)).first; }
  T& Object(int i) const { return *items_.at(static_cast<size_t>(i)).second; }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::pair<std::string, std::unique_ptr<T>>> items_;
};

template <typename T>
int TOwnedStringList<T>::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (text::SameText(items_[i].first, name)) return static_cast<int>(i);
  }
  return -1;
}

// A plain list of words, compared without regard to case.
class TWordList {
 public:
  TWordList() = default;
  TWordList(std::initializer_list<std::string> words) : words_(words) {}
  void Add(std::string word) { words_.push_back(std::move(word)); }
  bool Contains(std::string_view word) const;
  int Count() const { return static_cast<int>(words_.size()); }
  const std::string& operator[](int i) const { return words_.at(static_cast<size_t>(i)); }
  void Clear() { words_.clear(); }

 private:
  std::vector<std::string> words_;
};

// Mode of FindDataType: by native name (case ignored) or by generic name (case counted).
constexpr int kFindByNativeName = 1;
constexpr int kFindByGenericName = 2;

class TDatabaseSpecific {
 public:
  explicit TDatabaseSpecific(IDialectOwner* owner = nullptr);
  virtual ~TDatabaseSpecific();
  TDatabaseSpecific(const TDatabaseSpecific&) = delete;
  TDatabaseSpecific& operator=(const TDatabaseSpecific&) = delete;

  // Fields, in the dialect's declaration order.
  TOwnedStringList<TOrvDataType> DataTypes;
  TDbType DbType = dbtNone;
  TDbType MasterDbType = dbtNone;
  TOwnedStringList<TDbSpaceElem> DbSpaces;
  TOwnedStringList<TUserElem> Users;
  std::string QuoteOpen;
  std::string QuoteClose;
  bool DefaultAsConstraint = false;
  std::unique_ptr<TIdentityOptions> IdentityOptions;
  bool FillNullsOnAlter = false;
  bool CreateKeepsNullable = true;
  TWordList LongTypes;
  bool UseDbSpaces = true;
  bool UseOwners = true;
  bool AutoPrimaryKeyName = false;
  bool GlobalTempTables = false;
  // A UNIQUE constraint may hold a column that allows NULL.
  bool UniqueKeysAllowNulls = true;
  // A foreign key may be kept disabled (not enforced); its vsiForeignKeys rows then carry the
  // state in their last field, IS_DISABLED.
  bool DisabledForeignKeys = false;
  std::string DatabaseName;
  std::string DateFormat;
  std::string AlterColumnKeyword;
  std::string DropColumnKeyword;
  std::string DropConstraintFormat;
  // The longest name the server takes, in characters (in UTF-8 bytes when IdentifierLengthInBytes).
  size_t MaxIdentifierLength = 128;
  bool IdentifierLengthInBytes = false;
  // Characters the server refuses in a name even when the name is quoted.
  std::string NameRefusedCharacters;
  TWordList ReservedWords;
  // The functions a column default from a master of another kind may call on this server (those
  // its translated defaults call); a default calling any other is refused at check. Empty: not
  // restricted.
  TWordList DefaultFunctions;
  // A regular identifier of the server, written without quotes, begins with a letter or one of
  // IdentifierFirstCharacters and goes on with letters, digits and IdentifierCharacters; any
  // other name is quoted. Bytes of multi-byte characters count as letters.
  std::string IdentifierFirstCharacters = "_";
  std::string IdentifierCharacters = "_";
  std::string ServerKey;
  std::string DatabaseKey;
  IDialectOwner* Owner = nullptr;  // the engine that made this object; not owned, may be null

  // ---- Virtual operations ----

  virtual std::string GetCollateClause(const std::string& collation);

  // Catalogue readers, reached through OpenSchema only. `criteria` is empty (no restriction) or
  // a variant array; `dataSet` must have a connection and is closed on entry.
  virtual void OpenCatalogs(const ado::Variant& criteria, const ado::Variant& schemaId,
                            ado::TDataSet& dataSet);
  virtual void OpenTableConstraints(const ado::Variant& criteria, const ado::Variant& schemaId,
                                    ado::TDataSet& dataSet);
  virtual void OpenColumns(const ado::Variant& criteria, const ado::Variant& schemaId,
                           ado::TDataSet& dataSet) = 0;
  virtual void OpenTables(const ado::Variant& criteria, const ado::Variant& schemaId,
                          ado::TDataSet& dataSet) = 0;
  virtual void OpenIndexes(const ado::Variant& criteria, const ado::Variant& schemaId,
                           ado::TDataSet& dataSet);
  virtual void OpenProcedures(const ado::Variant& criteria, const ado::Variant& schemaId,
                              ado::TDataSet& dataSet) = 0;
  virtual void OpenViews(const ado::Variant& criteria, const ado::Variant& schemaId,
                         ado::TDataSet& dataSet);
  virtual void OpenForeignKeys(const ado::Variant& criteria, const ado::Variant& schemaId,
                               ado::TDataSet& dataSet);
  virtual void OpenPrimaryKeys(const ado::Variant& criteria, const ado::Variant& schemaId,
                               ado::TDataSet& dataSet);
  virtual void OpenDefaultValues(const ado::Variant& criteria, const ado::Variant& schemaId,
                                 ado::TDataSet& dataSet) = 0;
  virtual void OpenUsers(const ado::Variant& criteria, const ado::Variant& schemaId,
                         ado::TDataSet& dataSet) = 0;
  virtual void OpenDbSpaceIndexes(const ado::Variant& criteria, const ado::Variant& schemaId,
                                  ado::TDataSet& dataSet) = 0;
  virtual void OpenDbSpaceText(const ado::Variant& criteria, const ado::Variant& schemaId,
                               ado::TDataSet& dataSet);
  virtual void OpenDbSpaces(const ado::Variant& criteria, const ado::Variant& schemaId,
                            ado::TDataSet& dataSet) = 0;
  virtual void OpenClusterIndexes(const ado::Variant& criteria, const ado::Variant& schemaId,
                                  ado::TDataSet& dataSet) = 0;

  virtual std::string GetRenameTableSql(const std::string& owner, const std::string& oldName,
                                        const std::string& newName) = 0;
  virtual std::string GetRenameColumnSql(const std::string& owner, const std::string& table,
                                         const std::string& oldName,
                                         const std::string& newName) = 0;
  virtual std::string GetClusterPrimaryKeySql(const std::string& prefix, const std::string& table,
                                              bool clustered);
  // Recognise the dialect's db-space and user statements for the instruction classifier; kind
  // receives ikCreateDbSpace/ikDropDbSpace or ikCreateUser/ikDropUser.
  virtual bool IsDbSpaceStatement(const std::string& sql, TInstructionKind& kind,
                                  std::string& name, std::string& second);
  virtual bool IsUserStatement(const std::string& sql, TInstructionKind& kind, std::string& user,
                               std::string& second);
  virtual std::string GetRenumberSql(const std::string& owner, const std::string& table,
                                     const std::string& column);
  // Fills DatabaseName from the connected database.
  virtual void GetDatabaseName(ado::TConnection& connection) = 0;
  virtual bool LoginExists(ado::TConnection& connection, const std::string& login);
  virtual std::string GetCurrentDateDefault();
  // Fills DateFormat with the server's date order.
  virtual void GetDateFormat(ado::TConnection& connection) = 0;
  virtual bool BackupDatabase(ado::TConnection& connection, const std::string& fileName,
                              const std::string& folder) = 0;
  virtual bool RestoreDatabase(ado::TConnection& connection, const std::string& backupFile,
                               const std::string& dataFolder, const std::string& logFolder) = 0;
  // `message` receives the reason of a failure where the server reports one.
  virtual bool RestoreAsNewDatabase(const std::string& name, const std::string& backupFile,
                                    const std::string& dataFolder, const std::string& logFolder,
                                    const std::string& userId, const std::string& password,
                                    const std::string& server, std::string& message) = 0;
  virtual std::string GetConditionalSql(bool exists, const std::string& fields,
                                        const std::string& table, const std::string& where,
                                        const std::string& thenSql, const std::string& elseSql);
  virtual std::string GetObjectExistsSql(const std::string& name, const std::string& type);
  virtual std::string BoolToSql(bool value);
  virtual std::string GetIdentityInsertOnSql(const std::string& table);
  virtual std::string GetIdentityInsertOffSql(const std::string& table);
  // 0 failed, 1 the database already existed, 2 created.
  virtual int CreateDatabase(const std::string& name, const std::string& dataFile,
                             const std::string& logFile, const std::string& userId,
                             const std::string& password, const std::string& server) = 0;
  virtual bool DatabaseExists(const std::string& name, const std::string& userId,
                              const std::string& password, const std::string& server) = 0;
  virtual std::string AddEncryption(const std::string& definition);

  // Key, index and column statements whose spelling differs between servers; the engine's key,
  // index and column phases write them through these. `prefix` is the owner prefix (empty or
  // ending in "."), written unquoted; `columns` the column list without parentheses.
  virtual std::string GetAddKeyConstraintSql(const std::string& prefix, const std::string& table,
                                             const std::string& name, bool primaryKey,
                                             bool clustered, const std::string& columns);
  virtual std::string GetCreateIndexSql(const std::string& prefix, const std::string& table,
                                        const std::string& name, bool unique, bool clustered,
                                        const std::string& columns);
  virtual std::string GetDropIndexSql(const std::string& prefix, const std::string& table,
                                      const std::string& name);
  // The row of this dialect's type table that a column of the master's type `masterType` becomes
  // here; `row` is the column's vsiColumns row, whose size may decide. Base: the first row of the
  // same generic name; nullptr when there is none.
  virtual const TOrvDataType* TranslateDataType(const TOrvDataType& masterType, ado::TDataSet& row) const;

  // Makes a column nullable again after it was created or altered with a default: "ALTER TABLE
  // " + prefix + table + the alter-column keyword + " " + column + " NULL". `row` is the
  // column's vsiColumns row and `masterType` its master type, for servers that need the type.
  virtual std::string GetAlterColumnNullSql(ado::TDataSet& row, const TOrvDataType* masterType,
                                            const std::string& prefix, const std::string& table,
                                            const std::string& column);

  // ---- Non-virtual operations ----

  void SetDbType(TDbType kind) { DbType = kind; }
  void SetMasterDbType(TDbType kind) { MasterDbType = kind; }

  // Rows are data sets positioned on a row of the vsiColumns shape. `masterType` is the row of
  // the master dialect's type table for the column's type, or nullptr. Empty text when the type
  // cannot be translated into this dialect.
  std::string GetColumnDefinition(ado::TDataSet& row, const TOrvDataType* masterType,
                                  bool withNullClause, bool withIdentity,
                                  const std::string& name = {});
  std::string GetAddColumnSql(ado::TDataSet& row, const TOrvDataType* masterType,
                              const std::string& owner, bool withNullClause, bool withIdentity);
  std::string GetAlterColumnSql(ado::TDataSet& row, const TOrvDataType* masterType,
                                const std::string& owner, bool withNullClause);
  std::string GetSizeClause(int genericOrdinal, ado::TDataSet& row);
  std::string GetNullClause(ado::TDataSet& row);
  std::string GetDefaultText(ado::TDataSet& row);
  std::string GetColumnDefault(ado::TDataSet& first, ado::TDataSet* second);

  // side 1 = the master database, any other value = the connected one.
  bool IsDefaultOwner(const std::string& owner, int side) const;
  std::string GetDefaultOwner(int side) const;

  // Statement creating a login and a database user, spelled for this server; records the user.
  std::string GetCreateUserSql(ado::TConnection& connection, const std::string& user,
                               const std::string& login, const std::string& password);
  void ClearUsers() { Users.Clear(); }
  bool UserExists(const std::string& user) const { return Users.IndexOf(user) >= 0; }

  // Statement creating a db space, spelled for this server; records the db space.
  std::string GetCreateDbSpaceSql(const std::string& dbSpace, const std::string& fileName);
  bool DbSpaceExists(const std::string& dbSpace) const { return DbSpaces.IndexOf(dbSpace) >= 0; }
  bool IsDefaultDbSpace(const std::string& dbSpace) const;
  // Reloads DbSpaces from the vsiDbSpaces rowset; the list stays empty when it cannot be read.
  void LoadDbSpaces(ado::TConnection& connection);
  void ClearDbSpaces() { DbSpaces.Clear(); }

  // The row whose native name (mode 1, case ignored) or generic name (other modes, case counted)
  // equals `name`, or nullptr. "sysname" is looked up as "nVarChar".
  TOrvDataType* FindDataType(const std::string& name, int mode) const;
  // The type every identity column takes on this server, or nullptr when it keeps its own.
  const TOrvDataType* IdentityDataType() const;
  void ClearDataTypes() { DataTypes.Clear(); }
  void AddDataType(uint16_t nativeCode, uint16_t genericOrdinal, const std::string& nativeName,
                   const std::string& genericName);

  // Closes the data set, then opens the rowset of `kind` into it; kinds outside the 15 values
  // leave it closed.
  void OpenSchema(TOrvSchemaInfo kind, const ado::Variant& criteria,
                  const ado::Variant& schemaId, ado::TDataSet& dataSet);

  // The name as written in a statement: quoted when it is not a regular identifier of this
  // server or is one of its reserved words, with the quote characters of the owner's current
  // dialect.
  std::string QuoteName(const std::string& name) const;
  // Why the server cannot take `name` as the name of an object, quoted or not: too long, or
  // holding a character it refuses; empty when it can.
  std::string NameFault(std::string_view name) const;
  // A file name in a statement: quoted only when it holds a character that would end it.
  std::string QuoteFileName(const std::string& fileName) const;
  bool IsReservedWord(const std::string& name) const { return ReservedWords.Contains(name); }
  // The name is a regular identifier of this server (above).
  bool IsRegularIdentifier(std::string_view name) const;
  std::string GetDatabaseFromConnection(const std::string& connectionString) const;
  std::string GetServerFromConnection(const std::string& connectionString) const;

  bool CanUpdateProcedures() const { return MasterDbType == DbType; }
  bool CanUpdateTriggers() const { return MasterDbType == DbType; }
  bool CanUpdateViews() const { return MasterDbType == DbType; }
  std::string AdaptProcedureDefinition(const std::string& definition) const { return definition; }
  std::string AdaptViewDefinition(const std::string& definition) const { return definition; }

  int CreateDatabaseInFolder(const std::string& name, const std::string& dataFolder,
                             const std::string& logFolder, const std::string& userId,
                             const std::string& password, const std::string& server);

 protected:
  // The dialect whose quote characters QuoteName uses: the owner's current one, else this.
  const TDatabaseSpecific& QuotingDialect() const;
  // The text in that dialect's quote characters.
  std::string Quoted(const std::string& text) const;
  // Reports a failed backup to the running component: its backup-error text with the path, and
  // the server's message.
  void ReportBackupError(const std::string& path, const std::string& message);

 private:
  // "; ALTER DATABASE ... ADD FILE (...) TO FILEGROUP <db space>": the file a new SQL Server
  // file group needs before a table can be placed on it, named after the database and the
  // group, beside the PRIMARY group's data file. Empty when that file is not known.
  std::string SqlServerDbSpaceFileSql(const std::string& dbSpace) const;
};

// The dialect of Microsoft SQL Server 2000 and MSDE ("SQLOLEDB" provider).
class TSqlServerSpecific : public TDatabaseSpecific {
 public:
  explicit TSqlServerSpecific(IDialectOwner* owner = nullptr);

  std::string GetCollateClause(const std::string& collation) override;
  void OpenTableConstraints(const ado::Variant& criteria, const ado::Variant& schemaId,
                            ado::TDataSet& dataSet) override;
  void OpenColumns(const ado::Variant& criteria, const ado::Variant& schemaId,
                   ado::TDataSet& dataSet) override;
  void OpenTables(const ado::Variant& criteria, const ado::Variant& schemaId,
                  ado::TDataSet& dataSet) override;
  void OpenProcedures(const ado::Variant& criteria, const ado::Variant& schemaId,
                      ado::TDataSet& dataSet) override;
  void OpenViews(const ado::Variant& criteria, const ado::Variant& schemaId,
                 ado::TDataSet& dataSet) override;
  void OpenPrimaryKeys(const ado::Variant& criteria, const ado::Variant& schemaId,
                       ado::TDataSet& dataSet) override;
  // The OLE DB rowset with one last field, IS_DISABLED: 1 for a key NOCHECK disabled, else 0.
  void OpenForeignKeys(const ado::Variant& criteria, const ado::Variant& schemaId,
                       ado::TDataSet& dataSet) override;
  void OpenDefaultValues(const ado::Variant& criteria, const ado::Variant& schemaId,
                         ado::TDataSet& dataSet) override;
  void OpenUsers(const ado::Variant& criteria, const ado::Variant& schemaId,
                 ado::TDataSet& dataSet) override;
  void OpenDbSpaceIndexes(const ado::Variant& criteria, const ado::Variant& schemaId,
                          ado::TDataSet& dataSet) override;
  void OpenDbSpaceText(const ado::Variant& criteria, const ado::Variant& schemaId,
                       ado::TDataSet& dataSet) override;
  void OpenDbSpaces(const ado::Variant& criteria, const ado::Variant& schemaId,
                    ado::TDataSet& dataSet) override;
  void OpenClusterIndexes(const ado::Variant& criteria, const ado::Variant& schemaId,
                          ado::TDataSet& dataSet) override;
  std::string GetRenameTableSql(const std::string& owner, const std::string& oldName,
                                const std::string& newName) override;
  std::string GetRenameColumnSql(const std::string& owner, const std::string& table,
                                 const std::string& oldName, const std::string& newName) override;
  bool IsDbSpaceStatement(const std::string& sql, TInstructionKind& kind, std::string& name,
                          std::string& second) override;
  bool IsUserStatement(const std::string& sql, TInstructionKind& kind, std::string& user,
                       std::string& second) override;
  void GetDatabaseName(ado::TConnection& connection) override;
  bool LoginExists(ado::TConnection& connection, const std::string& login) override;
  std::string GetCurrentDateDefault() override;
  void GetDateFormat(ado::TConnection& connection) override;
  bool BackupDatabase(ado::TConnection& connection, const std::string& fileName,
                      const std::string& folder) override;
  bool RestoreDatabase(ado::TConnection& connection, const std::string& backupFile,
                       const std::string& dataFolder, const std::string& logFolder) override;
  bool RestoreAsNewDatabase(const std::string& name, const std::string& backupFile,
                            const std::string& dataFolder, const std::string& logFolder,
                            const std::string& userId, const std::string& password,
                            const std::string& server, std::string& message) override;
  std::string GetConditionalSql(bool exists, const std::string& fields, const std::string& table,
                                const std::string& where, const std::string& thenSql,
                                const std::string& elseSql) override;
  std::string GetObjectExistsSql(const std::string& name, const std::string& type) override;
  std::string GetIdentityInsertOnSql(const std::string& table) override;
  std::string GetIdentityInsertOffSql(const std::string& table) override;
  int CreateDatabase(const std::string& name, const std::string& dataFile,
                     const std::string& logFile, const std::string& userId,
                     const std::string& password, const std::string& server) override;
  bool DatabaseExists(const std::string& name, const std::string& userId,
                      const std::string& password, const std::string& server) override;
  std::string AddEncryption(const std::string& definition) override;
  // ALTER COLUMN with the column's type and NULL.
  std::string GetAlterColumnNullSql(ado::TDataSet& row, const TOrvDataType* masterType,
                                    const std::string& prefix, const std::string& table,
                                    const std::string& column) override;
};

// The dialect of Adaptive Server Anywhere 9 ("ASAProv" provider).
class TAsaSpecific : public TDatabaseSpecific {
 public:
  explicit TAsaSpecific(IDialectOwner* owner = nullptr);

  void OpenCatalogs(const ado::Variant& criteria, const ado::Variant& schemaId,
                    ado::TDataSet& dataSet) override;
  void OpenTableConstraints(const ado::Variant& criteria, const ado::Variant& schemaId,
                            ado::TDataSet& dataSet) override;
  void OpenColumns(const ado::Variant& criteria, const ado::Variant& schemaId,
                   ado::TDataSet& dataSet) override;
  void OpenTables(const ado::Variant& criteria, const ado::Variant& schemaId,
                  ado::TDataSet& dataSet) override;
  void OpenIndexes(const ado::Variant& criteria, const ado::Variant& schemaId,
                   ado::TDataSet& dataSet) override;
  void OpenProcedures(const ado::Variant& criteria, const ado::Variant& schemaId,
                      ado::TDataSet& dataSet) override;
  void OpenDefaultValues(const ado::Variant& criteria, const ado::Variant& schemaId,
                         ado::TDataSet& dataSet) override;
  void OpenUsers(const ado::Variant& criteria, const ado::Variant& schemaId,
                 ado::TDataSet& dataSet) override;
  void OpenDbSpaceIndexes(const ado::Variant& criteria, const ado::Variant& schemaId,
                          ado::TDataSet& dataSet) override;
  void OpenDbSpaceText(const ado::Variant& criteria, const ado::Variant& schemaId,
                       ado::TDataSet& dataSet) override;
  void OpenDbSpaces(const ado::Variant& criteria, const ado::Variant& schemaId,
                    ado::TDataSet& dataSet) override;
  void OpenClusterIndexes(const ado::Variant& criteria, const ado::Variant& schemaId,
                          ado::TDataSet& dataSet) override;
  std::string GetRenameTableSql(const std::string& owner, const std::string& oldName,
                                const std::string& newName) override;
  std::string GetRenameColumnSql(const std::string& owner, const std::string& table,
                                 const std::string& oldName, const std::string& newName) override;
  std::string GetClusterPrimaryKeySql(const std::string& prefix, const std::string& table,
                                      bool clustered) override;
  bool IsDbSpaceStatement(const std::string& sql, TInstructionKind& kind, std::string& name,
                          std::string& second) override;
  bool IsUserStatement(const std::string& sql, TInstructionKind& kind, std::string& user,
                       std::string& second) override;
  std::string GetRenumberSql(const std::string& owner, const std::string& table,
                             const std::string& column) override;
  void GetDatabaseName(ado::TConnection& connection) override;
  std::string GetCurrentDateDefault() override;
  void GetDateFormat(ado::TConnection& connection) override;
  bool BackupDatabase(ado::TConnection& connection, const std::string& fileName,
                      const std::string& folder) override;
  // Restores the backup as the file data folder\DatabaseName.db, its log renamed to
  // log folder\DatabaseName.log, and leaves it stopped; false with the error reported on any
  // failure. RestoreAsNewDatabase then starts it under the new name.
  bool RestoreDatabase(ado::TConnection& connection, const std::string& backupFile,
                       const std::string& dataFolder, const std::string& logFolder) override;
  bool RestoreAsNewDatabase(const std::string& name, const std::string& backupFile,
                            const std::string& dataFolder, const std::string& logFolder,
                            const std::string& userId, const std::string& password,
                            const std::string& server, std::string& message) override;
  std::string GetConditionalSql(bool exists, const std::string& fields, const std::string& table,
                                const std::string& where, const std::string& thenSql,
                                const std::string& elseSql) override;
  std::string GetObjectExistsSql(const std::string& name, const std::string& type) override;
  int CreateDatabase(const std::string& name, const std::string& dataFile,
                     const std::string& logFile, const std::string& userId,
                     const std::string& password, const std::string& server) override;
  bool DatabaseExists(const std::string& name, const std::string& userId,
                      const std::string& password, const std::string& server) override;
};

// The dialect of Microsoft Access databases ("Microsoft.Jet" provider). Access has no owners,
// db spaces, users, stored defaults or clustered indexes and cannot rename by statement.
class TAccessSpecific : public TDatabaseSpecific {
 public:
  explicit TAccessSpecific(IDialectOwner* owner = nullptr);

  void OpenCatalogs(const ado::Variant& criteria, const ado::Variant& schemaId,
                    ado::TDataSet& dataSet) override;
  void OpenColumns(const ado::Variant& criteria, const ado::Variant& schemaId,
                   ado::TDataSet& dataSet) override;
  void OpenTables(const ado::Variant& criteria, const ado::Variant& schemaId,
                  ado::TDataSet& dataSet) override;
  void OpenProcedures(const ado::Variant& criteria, const ado::Variant& schemaId,
                      ado::TDataSet& dataSet) override;
  void OpenDefaultValues(const ado::Variant& criteria, const ado::Variant& schemaId,
                         ado::TDataSet& dataSet) override;
  void OpenUsers(const ado::Variant& criteria, const ado::Variant& schemaId,
                 ado::TDataSet& dataSet) override;
  void OpenDbSpaceIndexes(const ado::Variant& criteria, const ado::Variant& schemaId,
                          ado::TDataSet& dataSet) override;
  void OpenDbSpaceText(const ado::Variant& criteria, const ado::Variant& schemaId,
                       ado::TDataSet& dataSet) override;
  void OpenDbSpaces(const ado::Variant& criteria, const ado::Variant& schemaId,
                    ado::TDataSet& dataSet) override;
  void OpenClusterIndexes(const ado::Variant& criteria, const ado::Variant& schemaId,
                          ado::TDataSet& dataSet) override;
  std::string GetRenameTableSql(const std::string& owner, const std::string& oldName,
                                const std::string& newName) override;
  std::string GetRenameColumnSql(const std::string& owner, const std::string& table,
                                 const std::string& oldName, const std::string& newName) override;
  void GetDatabaseName(ado::TConnection& connection) override;
  std::string GetCurrentDateDefault() override;
  void GetDateFormat(ado::TConnection& connection) override;
  // Copies the connection's database file (its Data Source), as it stands between transactions,
  // into the folder under the file's own name; `fileName` is not used. An existing file there
  // is replaced only when it is of the database file's kind. False, with the backup error
  // reported, on any failure.
  bool BackupDatabase(ado::TConnection& connection, const std::string& fileName,
                      const std::string& folder) override;
  // Both refuse with an error: the connection holds the file a restore would replace, and a
  // second database is a file the user provides.
  bool RestoreDatabase(ado::TConnection& connection, const std::string& backupFile,
                       const std::string& dataFolder, const std::string& logFolder) override;
  bool RestoreAsNewDatabase(const std::string& name, const std::string& backupFile,
                            const std::string& dataFolder, const std::string& logFolder,
                            const std::string& userId, const std::string& password,
                            const std::string& server, std::string& message) override;
  int CreateDatabase(const std::string& name, const std::string& dataFile,
                     const std::string& logFile, const std::string& userId,
                     const std::string& password, const std::string& server) override;
  bool DatabaseExists(const std::string& name, const std::string& userId,
                      const std::string& password, const std::string& server) override;
  // Jet's forms: no clustered clause, "DROP INDEX ix ON T", ALTER COLUMN with the column's type.
  std::string GetAddKeyConstraintSql(const std::string& prefix, const std::string& table,
                                     const std::string& name, bool primaryKey, bool clustered,
                                     const std::string& columns) override;
  std::string GetCreateIndexSql(const std::string& prefix, const std::string& table,
                                const std::string& name, bool unique, bool clustered,
                                const std::string& columns) override;
  std::string GetDropIndexSql(const std::string& prefix, const std::string& table,
                              const std::string& name) override;
  std::string GetAlterColumnNullSql(ado::TDataSet& row, const TOrvDataType* masterType,
                                    const std::string& prefix, const std::string& table,
                                    const std::string& column) override;
  // A character column longer than Jet's text holds (255) becomes a memo.
  const TOrvDataType* TranslateDataType(const TOrvDataType& masterType, ado::TDataSet& row) const override;
};

// Single-quoted SQL literal with inner single quotes doubled.
std::string SqlLiteral(std::string_view text);
