// The three data-type tables and the translation of a column type from one server to another
// through the generic names.
#include <gtest/gtest.h>

#include "DialectTestSupport.h"

namespace {

// Native name of `nativeName` (a master column type) in the client's table; "<none>" when the
// type does not translate.
std::string Translate(const TDatabaseSpecific& master, const TDatabaseSpecific& client,
                      const std::string& nativeName) {
  const TOrvDataType* masterType = master.FindDataType(nativeName, kFindByNativeName);
  if (masterType == nullptr) return "<none>";
  const TOrvDataType* clientType = client.FindDataType(masterType->GenericName, kFindByGenericName);
  return clientType == nullptr ? "<none>" : clientType->NativeName;
}

class DataTypeTables : public ::testing::Test {
 protected:
  DataTypeTables() {
    UseAsaTypesAndQuotes(asa);
    UseAccessTypes(access);
  }
  TSqlServerSpecific sqlServer;
  TSqlServerSpecific asa;
  TSqlServerSpecific access;
};

TEST_F(DataTypeTables, TablesHoldTheirRowsInOrderWithConsistentGenericNames) {
  EXPECT_EQ(sqlServer.DataTypes.Count(), 35);
  EXPECT_EQ(asa.DataTypes.Count(), 36);
  EXPECT_EQ(access.DataTypes.Count(), 35);

  const TOrvDataType& first = sqlServer.DataTypes.Object(0);
  EXPECT_EQ(first.NativeName, "image");
  EXPECT_EQ(first.NativeCode, 34);
  EXPECT_EQ(first.GenericOrdinal, 10);
  EXPECT_EQ(sqlServer.DataTypes.Name(0), "image");
  const TOrvDataType& last = sqlServer.DataTypes.Object(34);
  EXPECT_EQ(last.NativeName, "text");
  EXPECT_EQ(last.GenericName, "xml");
  EXPECT_EQ(last.GenericOrdinal, 36);

  const TOrvDataType& asaInteger = asa.DataTypes.Object(3);
  EXPECT_EQ(asaInteger.NativeName, "integer");
  EXPECT_EQ(asaInteger.GenericName, "int");
  EXPECT_EQ(asa.DataTypes.Object(30).NativeCode, 65535);

  // Every row's generic name is the name of its ordinal, save the one row the table writes
  // differently: the Adaptive Server Anywhere "uniqueidentifierstr" row.
  for (const TSqlServerSpecific* dialect : {&sqlServer, &asa, &access}) {
    for (int i = 0; i < dialect->DataTypes.Count(); ++i) {
      const TOrvDataType& type = dialect->DataTypes.Object(i);
      EXPECT_NE(type.GenericOrdinal, 24);
      if (type.NativeName == "uniqueidentifierstr") {
        EXPECT_EQ(type.GenericName, "uniqueidentifier");
        EXPECT_EQ(type.GenericOrdinal, 35);
        continue;
      }
      EXPECT_EQ(type.GenericName, GenericTypeName(type.GenericOrdinal))
          << type.NativeName << " row " << i;
    }
  }
}

TEST_F(DataTypeTables, FindDataTypeByNativeAndGenericName) {
  const TOrvDataType* sysname = sqlServer.FindDataType("sysname", kFindByNativeName);
  ASSERT_NE(sysname, nullptr);
  EXPECT_EQ(sysname->NativeName, "nvarchar");
  EXPECT_EQ(sysname->NativeCode, 231);
  EXPECT_EQ(sysname->GenericOrdinal, 18);
  EXPECT_EQ(sqlServer.FindDataType("SysName", kFindByNativeName), sysname);

  EXPECT_EQ(sqlServer.FindDataType("NVARCHAR", kFindByGenericName), nullptr);
  ASSERT_NE(sqlServer.FindDataType("NVARCHAR", kFindByNativeName), nullptr);
  EXPECT_EQ(sqlServer.FindDataType("NVARCHAR", kFindByNativeName)->NativeName, "nvarchar");
  EXPECT_EQ(sqlServer.FindDataType("geography", kFindByNativeName), nullptr);

  // The first row with a generic name wins: "date" is a row of its own after "smalldatetime".
  const TOrvDataType* date = sqlServer.FindDataType("date", kFindByGenericName);
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(date->NativeName, "smalldatetime");
  EXPECT_EQ(date->GenericOrdinal, 5);
  EXPECT_EQ(sqlServer.FindDataType("smalldatetime", kFindByNativeName)->GenericName,
            "smalldatetime");

  sqlServer.ClearDataTypes();
  EXPECT_EQ(sqlServer.DataTypes.Count(), 0);
  EXPECT_EQ(sqlServer.FindDataType("int", kFindByNativeName), nullptr);
}

TEST_F(DataTypeTables, TranslationBetweenServers) {
  EXPECT_EQ(Translate(sqlServer, asa, "smalldatetime"), "smalldatetime");
  EXPECT_EQ(Translate(asa, sqlServer, "date"), "smalldatetime");
  EXPECT_EQ(Translate(asa, sqlServer, "integer"), "int");
  EXPECT_EQ(Translate(sqlServer, asa, "int"), "integer");
  EXPECT_EQ(Translate(access, sqlServer, "text"), "varchar");
  EXPECT_EQ(Translate(sqlServer, access, "nvarchar"), "text");
  EXPECT_EQ(Translate(sqlServer, access, "sql_variant"), "");
  EXPECT_EQ(Translate(asa, sqlServer, "uniqueidentifierstr"), "uniqueidentifier");
  EXPECT_EQ(Translate(sqlServer, asa, "uniqueidentifier"), "uniqueidentifier");
  EXPECT_EQ(Translate(sqlServer, asa, "nvarchar"), "varchar");
  EXPECT_EQ(Translate(sqlServer, asa, "ntext"), "text");
  EXPECT_EQ(Translate(sqlServer, access, "image"), "ole");
  EXPECT_EQ(Translate(sqlServer, access, "bigint"), "decimal");
  EXPECT_EQ(Translate(access, sqlServer, "memo"), "text");
  EXPECT_EQ(Translate(access, asa, "ole"), "binary");
  EXPECT_EQ(Translate(asa, access, "long varchar"), "text");
  EXPECT_EQ(Translate(sqlServer, sqlServer, "sysname"), "nvarchar");
  EXPECT_EQ(Translate(asa, sqlServer, "xml"), "text");
  EXPECT_EQ(Translate(sqlServer, asa, "geometry"), "<none>");

  // Every SQL Server type reaches the other servers (sql_variant as Access's empty name), save
  // nchar, which the Adaptive Server Anywhere table has no row for.
  EXPECT_EQ(Translate(sqlServer, asa, "nchar"), "<none>");
  for (int i = 0; i < sqlServer.DataTypes.Count(); ++i) {
    const std::string& native = sqlServer.DataTypes.Object(i).NativeName;
    if (native != "nchar") {
      EXPECT_NE(Translate(sqlServer, asa, native), "<none>") << native;
    }
    EXPECT_NE(Translate(sqlServer, access, native), "<none>") << native;
  }
}

}  // namespace
