#include <gtest/gtest.h>

#include "common/SchemionTypes.h"
#include "common/Text.h"

// Settings and schema files store enumerated values by name: every value must survive the trip.
template <typename E>
void ExpectNamesRoundTrip() {
  for (int i = 0; i < EnumCount<E>(); ++i) {
    const E v = static_cast<E>(i);
    const std::string name = EnumName(v);
    ASSERT_FALSE(name.empty());
    auto back = EnumFromName<E>(name);
    ASSERT_TRUE(back.has_value()) << name;
    EXPECT_EQ(*back, v);
    EXPECT_EQ(EnumFromName<E>(text::Lower(name)), v) << "names are matched ignoring case";
  }
  EXPECT_FALSE(EnumFromName<E>("noSuchValue").has_value());
  EXPECT_EQ(EnumName(static_cast<E>(EnumCount<E>())), "");
}

TEST(SharedTypes, EveryEnumerationRoundTripsByName) {
  ExpectNamesRoundTrip<TDbType>();
  ExpectNamesRoundTrip<TOrvSchemaInfo>();
  ExpectNamesRoundTrip<TBooleanExtended>();
  ExpectNamesRoundTrip<TProgressInfoKind>();
  ExpectNamesRoundTrip<TDbErrorManager>();
  ExpectNamesRoundTrip<TDbPKChangedTreatment>();
  ExpectNamesRoundTrip<TDbFkPendingData>();
  ExpectNamesRoundTrip<TCopyDataTreatment>();
  ExpectNamesRoundTrip<TDbContext>();
  ExpectNamesRoundTrip<TDbLanguageKind>();
  ExpectNamesRoundTrip<TInstructionKind>();
}

TEST(SharedTypes, KindsKeepTheirOrder) {
  EXPECT_EQ(EnumCount<TOrvSchemaInfo>(), 15);
  EXPECT_EQ(EnumName(vsiDbSpaces), "vsiDbSpaces");
  EXPECT_EQ(static_cast<int>(vsiDefaultValues), 9);
  EXPECT_EQ(EnumCount<TInstructionKind>(), 24);
  EXPECT_EQ(static_cast<int>(ikCreateDefaultValue), 23);
  EXPECT_EQ(EnumFromName("ikDropView", ikUnknown), ikDropView);
  EXPECT_EQ(EnumFromName("garbage", ikUnknown), ikUnknown);
}

TEST(Text, CaseInsensitiveHelpers) {
  EXPECT_TRUE(text::SameText("Initial Catalog=", "initial catalog="));
  EXPECT_FALSE(text::SameText("abc", "abcd"));
  EXPECT_LT(text::CompareText("abc", "ABD"), 0);
  EXPECT_EQ(text::FindText("Provider=SQLOLEDB;Data Source=x", "data source="), 18u);
  EXPECT_EQ(text::Trim("  a b \t"), "a b");
  EXPECT_EQ(text::Split("a;;b", ';').size(), 3u);
  EXPECT_EQ(text::ReplaceAll("it's 'x'", "'", "''"), "it''s ''x''");

  // Quoted text: a doubled quote is one; the answer is the position after the closing quote.
  std::string out;
  EXPECT_EQ(text::ReadQuoted("= 'it''s' rest", 2, out), 9u);
  EXPECT_EQ(out, "it's");
  EXPECT_EQ(text::ReadQuoted("\"a''b\"", 0, out), 6u);
  EXPECT_EQ(out, "a''b");
  EXPECT_EQ(text::ReadQuoted("'open''", 0, out), std::string::npos) << "never closed";
  EXPECT_EQ(out, "open'");
  // Well-formed UTF-8 only: the first byte of a broken sequence is named.
  EXPECT_EQ(text::Utf8Fault("Größe \xE2\x82\xAC \xF0\x9F\x98\x80"), std::string_view::npos);
  EXPECT_EQ(text::Utf8Fault("ab\xC3("), 2u) << "a sequence broken";
  EXPECT_EQ(text::Utf8Fault("ab\xC3"), 2u) << "a sequence cut short";
  EXPECT_EQ(text::Utf8Fault("\xC0\xAF"), 0u) << "an overlong form";
  EXPECT_EQ(text::Utf8Fault("a\xED\xA0\x80"), 1u) << "a surrogate";
  EXPECT_EQ(text::Utf8Fault("\xF4\x90\x80\x80"), 0u) << "past U+10FFFF";
  EXPECT_EQ(text::Utf8Fault("\xFF"), 0u);
}
