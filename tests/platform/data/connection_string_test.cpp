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
  // A piece without "=" does not take the next key with it: the password stays a password and
  // is masked.
  ConnectionString stray("Provider=X;stray words;Password=hunter2;;User ID=sa;=v;trailing");
  EXPECT_EQ(stray.Get("Password"), "hunter2");
  EXPECT_EQ(stray.Get("User ID"), "sa");
  EXPECT_EQ(stray.ToStringWithoutPassword().find("hunter2"), std::string::npos)
      << stray.ToStringWithoutPassword();
  EXPECT_EQ(ConnectionString("x;Provider=SQLOLEDB").Provider(), "SQLOLEDB");
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
