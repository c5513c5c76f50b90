#include <gtest/gtest.h>

#include "platform/data/ConnectionString.h"
#include "platform/data/DataErrors.h"
#include "platform/data/Provider.h"

using namespace ado;

TEST(ConnectionString, KeysIgnoreCaseAndValuesAreTrimmedOrQuoted) {
  ConnectionString cs(
      "Provider=SQLOLEDB.1;Password=\"p;w\";User ID=sa; Initial Catalog = Sales ;Data Source=srv");
  EXPECT_EQ(cs.Provider(), "SQLOLEDB.1");
  EXPECT_EQ(cs.Get("initial catalog"), "Sales");
  EXPECT_EQ(cs.Get("PASSWORD"), "p;w");
  EXPECT_EQ(cs.Get("missing"), "");
  EXPECT_EQ(cs.ToStringWithoutPassword().find("p;w"), std::string::npos);
  EXPECT_EQ(ConnectionString(cs.ToString()).Get("Password"), "p;w");
  // A quoted value left open takes the rest of the string.
  EXPECT_EQ(ConnectionString("Password='it''s;User ID=sa").Get("password"), "it's;User ID=sa");
  EXPECT_FALSE(ConnectionString("Password='it''s;User ID=sa").Has("User ID"));
}

TEST(ProviderRegistry, UnknownProviderFailsNamingIt) {
  try {
    ProviderRegistry::Instance().Open("Provider=NoSuch.7;Data Source=x");
    FAIL();
  } catch (const EOleException& e) {
    EXPECT_NE(std::string(e.what()).find("NoSuch.7"), std::string::npos);
  }
  EXPECT_THROW(ProviderRegistry::Instance().Open("Data Source=x"), EOleException);
}
