// ADO XML persisted recordsets: every field type round-trips, files written by ADO load, and
// truncated or malformed files fail naming the file while the data set stays closed.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <fstream>
#include <sstream>

#include "platform/data/DataErrors.h"
#include "platform/data/DataSet.h"
#include "platform/data/PersistXml.h"

using namespace ado;
namespace fs = std::filesystem;

namespace {

const std::string kSamples = std::string(SCHEMION_TEST_DATA_DIR) + "/ado-xml/";

class PersistXml : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(SCHEMION_TEST_BUILD_DIR) /
           ("persist_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  void Write(const std::string& name, const std::string& content) const {
    std::ofstream(File(name), std::ios::binary) << content;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  fs::path dir_;
};

FieldDefs AllTypes() {
  FieldDef id{"id", FieldType::ftInteger};
  id.Required = true;
  FieldDef bcd{"price", FieldType::ftBCD};
  bcd.Precision = 18;
  bcd.Scale = 4;
  return {id,
          {"name", FieldType::ftString, 40},
          {"notes", FieldType::ftMemo},
          {"small", FieldType::ftSmallint},
          {"big", FieldType::ftLargeint},
          {"tiny", FieldType::ftByte},
          {"flag", FieldType::ftBoolean},
          {"ratio", FieldType::ftFloat},
          {"amount", FieldType::ftCurrency},
          bcd,
          {"created", FieldType::ftDateTime},
          {"raw", FieldType::ftBytes, 8},
          {"image", FieldType::ftBlob},
          {"guid", FieldType::ftGuid, 38},
          {"Last Name", FieldType::ftString, 20},
          {"1st", FieldType::ftInteger},
          {"c1", FieldType::ftString, 5},
          {"größe", FieldType::ftString, 10}};
}

}  // namespace

TEST_F(PersistXml, EveryFieldTypeRoundTripsIncludingNullsAndAwkwardText) {
  TDataSet ds;
  ds.FieldDefs() = AllTypes();
  ds.CreateDataSet();
  const std::string memo = "line one\r\nline two\n\ttabbed <b>&amp;</b> \"double\" 'single' ]]>";
  ds.Append();
  ds.FieldByName("id").SetAsInteger(1);
  ds.FieldByName("name").SetAsString("O'Brien & <Sons> \"Ltd\"");
  ds.FieldByName("notes").SetAsString(memo);
  ds.FieldByName("small").SetAsInteger(-32768);
  ds.FieldByName("big").SetAsInteger(INT64_C(-9223372036854775807));
  ds.FieldByName("tiny").SetAsInteger(255);
  ds.FieldByName("flag").SetAsBoolean(true);
  ds.FieldByName("ratio").SetAsFloat(0.1 + 0.2);
  ds.FieldByName("amount").SetAsCurrency(Currency{-9223372036854775807LL});
  ds.FieldByName("price").SetAsString("12345678901234.5678");
  ds.FieldByName("created").SetAsDateTime(EncodeDateTime(2026, 12, 7, 23, 59, 58, 123));
  ds.FieldByName("raw").SetValue(Variant(Bytes{0x00, 0xFF, 0x10, 0xAB}));
  ds.FieldByName("image").SetValue(Variant(Bytes(3000, 0x5A)));
  ds.FieldByName("guid").SetAsString("{6B29FC40-CA47-1067-B31D-00DD010662DA}");
  ds.FieldByName("Last Name").SetAsString("Ünïcødé 日本語 ✓");
  ds.FieldByName("1st").SetAsInteger(7);
  ds.FieldByName("c1").SetAsString("real");
  ds.FieldByName("größe").SetAsString("groß");
  ds.Post();
  // Second row: empty text differs from null; every other field null.
  ds.Append();
  ds.FieldByName("id").SetAsInteger(2);
  ds.FieldByName("name").SetAsString("");
  ds.FieldByName("notes").SetAsString("");
  ds.FieldByName("flag").SetAsBoolean(false);
  ds.FieldByName("ratio").SetAsFloat(-1.5e-300);
  ds.FieldByName("created").SetAsDateTime(EncodeDateTime(1850, 3, 1, 6));
  ds.Post();
  ds.SaveToFile(File("all.xml"));

  // The file is plain XML in ADO's namespaces, with aliases for names that are not XML names.
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(File("all.xml").c_str()));
  EXPECT_STREQ(doc.document_element().attribute("xmlns:s").value(),
               "uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882");
  const std::string text = Read(File("all.xml"));
  EXPECT_NE(text.find("name='c14' rs:name='Last Name'"), std::string::npos);
  EXPECT_NE(text.find("name='c15' rs:name='1st'"), std::string::npos);
  EXPECT_NE(text.find("name='größe'"), std::string::npos);
  // Types are declared with the spellings ADO itself writes (see the reference samples).
  for (const char* spelling :
       {"<s:datatype dt:type='int' dt:maxLength='4' rs:precision='10' rs:fixedlength='true' "
        "rs:maybenull='false'/>",
        "<s:datatype dt:type='string' dt:maxLength='40'/>",
        "<s:datatype dt:type='string' dt:maxLength='1073741823' rs:long='true'/>",
        "<s:datatype dt:type='boolean' dt:maxLength='2' rs:fixedlength='true'/>",
        "<s:datatype dt:type='i2' dt:maxLength='2' rs:precision='5' rs:fixedlength='true'/>",
        "<s:datatype dt:type='dateTime' rs:dbtype='timestamp' dt:maxLength='16' rs:scale='3' "
        "rs:precision='23' rs:fixedlength='true'/>",
        "<s:extends type='rs:rowbase'/>", "<z:row id='2' name='' notes='' flag='False'"}) {
    EXPECT_NE(text.find(spelling), std::string::npos) << spelling;
  }

  TDataSet back;
  back.LoadFromFile(File("all.xml"));
  ASSERT_EQ(back.FieldCount(), 18);
  for (int i = 0; i < back.FieldCount(); ++i) {
    EXPECT_EQ(back.Fields(i).FieldName(), AllTypes()[static_cast<size_t>(i)].Name);
    EXPECT_EQ(back.Fields(i).DataType(), AllTypes()[static_cast<size_t>(i)].Type) << i;
  }
  EXPECT_TRUE(back.FieldByName("id").Def().Required);
  EXPECT_FALSE(back.FieldByName("name").Def().Required);
  EXPECT_EQ(back.FieldByName("name").Size(), 40);
  EXPECT_EQ(back.FieldByName("price").Def().Precision, 18);
  EXPECT_EQ(back.FieldByName("price").Def().Scale, 4);
  ASSERT_EQ(back.RecordCount(), 2);
  back.First();
  EXPECT_EQ(back.FieldByName("name").AsString(), "O'Brien & <Sons> \"Ltd\"");
  EXPECT_EQ(back.FieldByName("notes").AsString(), memo);
  EXPECT_EQ(back.FieldByName("small").AsInteger(), -32768);
  EXPECT_EQ(back.FieldByName("big").AsInteger(), INT64_C(-9223372036854775807));
  EXPECT_EQ(back.FieldByName("tiny").AsInteger(), 255);
  EXPECT_TRUE(back.FieldByName("flag").AsBoolean());
  EXPECT_EQ(back.FieldByName("ratio").AsFloat(), 0.1 + 0.2);
  EXPECT_EQ(back.FieldByName("amount").AsCurrency().scaled, -9223372036854775807LL);
  EXPECT_EQ(back.FieldByName("price").AsString(), "12345678901234.5678");
  EXPECT_EQ(DateTimeToIso(back.FieldByName("created").AsDateTime()), "2026-12-07T23:59:58.123");
  EXPECT_EQ(back.FieldByName("raw").Value(), Variant(Bytes{0x00, 0xFF, 0x10, 0xAB}));
  EXPECT_EQ(back.FieldByName("image").Value().AsBytes().size(), 3000u);
  EXPECT_EQ(back.FieldByName("guid").AsString(), "{6B29FC40-CA47-1067-B31D-00DD010662DA}");
  EXPECT_EQ(back.FieldByName("last name").AsString(), "Ünïcødé 日本語 ✓");
  EXPECT_EQ(back.FieldByName("1st").AsInteger(), 7);
  EXPECT_EQ(back.FieldByName("c1").AsString(), "real");
  EXPECT_EQ(back.FieldByName("größe").AsString(), "groß");
  back.Next();
  EXPECT_FALSE(back.FieldByName("name").IsNull());
  EXPECT_EQ(back.FieldByName("name").AsString(), "");
  EXPECT_FALSE(back.FieldByName("notes").IsNull());
  EXPECT_TRUE(back.FieldByName("small").IsNull());
  EXPECT_TRUE(back.FieldByName("guid").IsNull());
  EXPECT_TRUE(back.FieldByName("Last Name").IsNull());
  EXPECT_FALSE(back.FieldByName("flag").AsBoolean());
  EXPECT_FALSE(back.FieldByName("flag").IsNull());
  EXPECT_EQ(back.FieldByName("ratio").AsFloat(), -1.5e-300);
  EXPECT_EQ(DateTimeToIso(back.FieldByName("created").AsDateTime()), "1850-03-01T06:00:00");

  // Saving what was loaded gives the same file again.
  back.SaveToFile(File("again.xml"));
  EXPECT_EQ(Read(File("again.xml")), text);
}

TEST_F(PersistXml, SavesVisibleRowsAlwaysAsXmlAndReplacesFilesWhole) {
  TDataSet ds;
  ds.FieldDefs() = {{"id", FieldType::ftInteger}, {"ObjectName", FieldType::ftString, 5}};
  ds.CreateDataSet();
  for (int i = 1; i <= 4; ++i) {
    ds.Append();
    ds.FieldByName("id").SetAsInteger(i);
    ds.FieldByName("ObjectName").SetAsString(i == 3 ? "a name longer than five" : "n");
    ds.Post();
  }
  ds.SetFilter("id >= 2");
  ds.SetFiltered(true);
  ds.SetSort("id DESC");
  // The binary form is asked for, but a ".XML" name is always written as XML.
  ds.SaveToFile(File("blocks.XML"), pfADTG);
  TDataSet back;
  back.LoadFromFile(File("blocks.XML"));
  ASSERT_EQ(back.RecordCount(), 3);
  EXPECT_EQ(back.FieldByName("id").AsInteger(), 4);
  // A value longer than the declared size is not cut: the declaration grows instead.
  EXPECT_TRUE(back.Locate("id", Variant(3), 0));
  EXPECT_EQ(back.FieldByName("ObjectName").AsString(), "a name longer than five");
  EXPECT_EQ(back.FieldByName("ObjectName").Size(), 23);

  // A failed save leaves the existing file untouched and no temporary file behind: a missing
  // folder, or text XML cannot carry (control characters other than NUL travel as references).
  const std::string before = Read(File("blocks.XML"));
  EXPECT_THROW(ds.SaveToFile(File("no/such/folder/x.xml")), EDatabaseError);
  ds.First();
  ds.Edit();
  ds.FieldByName("ObjectName").SetAsString(std::string("a\x01b\0c", 5));
  ds.Post();
  try {
    ds.SaveToFile(File("blocks.XML"));
    FAIL() << "a NUL character must not be cut silently";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("row 1: the value of field 'ObjectName' holds a NUL"),
              std::string::npos)
        << e.what();
    EXPECT_NE(std::string(e.what()).find(File("blocks.XML")), std::string::npos);
  }
  EXPECT_EQ(Read(File("blocks.XML")), before);
  ds.Edit();
  ds.FieldByName("ObjectName").SetAsString("a\x01b\x1f");
  ds.Post();
  ds.SaveToFile(File("control.xml"));
  back.LoadFromFile(File("control.xml"));
  EXPECT_EQ(back.FieldByName("ObjectName").AsString(), "a\x01b\x1f");
  std::filesystem::remove(File("control.xml"));
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++files;
  EXPECT_EQ(files, 1u);
}

TEST_F(PersistXml, FilesWrittenByAdoLoadWithTheirFieldsAndValues) {
  TDataSet ds;
  ds.LoadFromFile(kSamples + "kb252767-pubs-authors.xml");
  ASSERT_EQ(ds.FieldCount(), 9);
  EXPECT_EQ(ds.Fields(0).FieldName(), "au_id");
  EXPECT_EQ(ds.Fields(0).DataType(), FieldType::ftString);
  EXPECT_EQ(ds.Fields(0).Size(), 11);
  EXPECT_TRUE(ds.Fields(0).Def().Required);
  EXPECT_FALSE(ds.FieldByName("address").Def().Required);
  EXPECT_EQ(ds.FieldByName("contract").DataType(), FieldType::ftBoolean);
  EXPECT_EQ(ds.RecordCount(), 23);
  ASSERT_TRUE(ds.Locate("au_lname", Variant("o'leary"), loCaseInsensitive));
  EXPECT_EQ(ds.FieldByName("au_lname").AsString(), "O'Leary");
  EXPECT_EQ(ds.FieldByName("city").AsString(), "San Jose");
  EXPECT_TRUE(ds.FieldByName("contract").AsBoolean());
  ds.Last();
  EXPECT_EQ(ds.FieldByName("au_fname").AsString(), "Albert");
  ds.SetFilter("contract = False");
  ds.SetFiltered(true);
  EXPECT_EQ(ds.RecordCount(), 4);
  ds.SetFiltered(false);

  ds.LoadFromFile(kSamples + "msdocs-northwind-shippers.xml");
  ASSERT_EQ(ds.FieldCount(), 3);
  EXPECT_EQ(ds.FieldByName("ShipperID").DataType(), FieldType::ftInteger);
  EXPECT_TRUE(ds.FieldByName("ShipperID").Def().Required);
  EXPECT_EQ(ds.FieldByName("CompanyName").Size(), 40);
  EXPECT_EQ(ds.RecordCount(), 3);
  ds.Last();
  EXPECT_EQ(ds.FieldByName("ShipperID").AsInteger(), 3);
  EXPECT_EQ(ds.FieldByName("CompanyName").AsString(), "Federal Shipping");
  EXPECT_EQ(ds.FieldByName("Phone").AsString(), "(503) 555-9931");

  // A hierarchical recordset loads its parent rows; the child rowset is not read.
  ds.LoadFromFile(kSamples + "msdocs-pubs-stores-sales-hierarchical.xml");
  ASSERT_EQ(ds.FieldCount(), 3);
  EXPECT_EQ(ds.Fields(2).FieldName(), "state");
  EXPECT_EQ(ds.RecordCount(), 3);
  ASSERT_TRUE(ds.Locate("stor_id", Variant("7067"), 0));
  EXPECT_EQ(ds.FieldByName("stor_name").AsString(), "News & Brews");

  ds.LoadFromFile(kSamples + "refworks-refs-schema-only.xml");
  ASSERT_EQ(ds.FieldCount(), 65);
  EXPECT_EQ(ds.RecordCount(), 0);
  EXPECT_EQ(ds.Fields(0).FieldName(), "UserID");
  EXPECT_EQ(ds.FieldByName("Created").DataType(), FieldType::ftDateTime);
  EXPECT_EQ(ds.FieldByName("Marked").Size(), 10);
  EXPECT_EQ(ds.Fields(64).FieldName(), "Comments");
  EXPECT_EQ(ds.FieldByName("AuthorPrimary").DataType(), FieldType::ftString);
  int memos = 0;
  for (int i = 0; i < ds.FieldCount(); ++i) memos += ds.Fields(i).DataType() == FieldType::ftMemo;
  EXPECT_GT(memos, 0);
}

TEST_F(PersistXml, ReaderFollowsTheFormatRatherThanOneSpelling) {
  // Other prefixes, an alias, a column declared outside the row type, dt:type on the column,
  // a minimal column without type, pending changes, and attributes outside the schema.
  Write("variant.xml", R"(<?xml version="1.0" encoding="UTF-8"?>
<root xmlns:x="uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882"
      xmlns:t="uuid:C2F41010-65B3-11d1-A29F-00AA00C14882"
      xmlns:r="urn:schemas-microsoft-com:rowset" xmlns:w="#RowsetSchema">
  <x:Schema id="RowsetSchema">
    <x:ElementType name="row" content="eltOnly">
      <x:attribute type="s1"/>
      <x:AttributeType name="CompanyName"/>
      <x:AttributeType name="When" t:type="date"/>
      <x:AttributeType name="Blob"><x:datatype t:type="bin.base64"/></x:AttributeType>
      <x:AttributeType name="Fee"><x:datatype t:type="i8" r:dbtype="currency"/></x:AttributeType>
      <x:extends type="r:rowbase"/>
    </x:ElementType>
    <x:AttributeType name="s1" r:name="Shipper ID" r:number="1">
      <x:datatype t:type="i4" t:maxLength="4" r:maybenull="false"/>
    </x:AttributeType>
  </x:Schema>
  <r:data>
    <w:row s1="1" CompanyName="Speedy" When="2001-02-03" Blob="AAEC/w==" Fee="12.3456" other="ignored"/>
    <r:update>
      <r:original><w:row s1="2" CompanyName="United" When="2001-02-04"/></r:original>
      <w:row CompanyName="United Package"/>
    </r:update>
    <r:insert><w:row s1="12" CompanyName="Lightning"/></r:insert>
    <r:delete><w:row s1="3" CompanyName="Federal"/></r:delete>
  </r:data>
</root>)");
  TDataSet ds;
  ds.LoadFromFile(File("variant.xml"));
  ASSERT_EQ(ds.FieldCount(), 5);
  EXPECT_EQ(ds.Fields(0).FieldName(), "Shipper ID");
  EXPECT_EQ(ds.FieldByName("Fee").DataType(), FieldType::ftCurrency);
  EXPECT_EQ(ds.FieldByName("Fee").AsCurrency().scaled, 123456);
  EXPECT_EQ(ds.Fields(0).DataType(), FieldType::ftInteger);
  EXPECT_EQ(ds.FieldByName("CompanyName").DataType(), FieldType::ftString);
  ASSERT_EQ(ds.RecordCount(), 3);
  EXPECT_EQ(DateTimeToIso(ds.FieldByName("When").AsDateTime()), "2001-02-03T00:00:00");
  EXPECT_EQ(ds.FieldByName("Blob").Value(), Variant(Bytes{0, 1, 2, 0xFF}));
  ds.Next();
  EXPECT_EQ(ds.FieldByName("Shipper ID").AsInteger(), 2);
  EXPECT_EQ(ds.FieldByName("CompanyName").AsString(), "United Package");
  EXPECT_EQ(DateTimeToIso(ds.FieldByName("When").AsDateTime()), "2001-02-04T00:00:00");
  ds.Next();
  EXPECT_EQ(ds.FieldByName("Shipper ID").AsInteger(), 12);
  EXPECT_FALSE(ds.Locate("Shipper ID", Variant(3), 0));

  // A reader of files from elsewhere keeps the fields it knows (case ignored, the first of a
  // name), in the file's order; the others are not even decoded. It may refuse a document type.
  PersistedLoad rules;
  rules.fields = {"fee", "shipper id", "CompanyName", "companyname"};
  std::string other = Read(File("variant.xml"));
  other.replace(other.find("When=\"2001-02-03\""), 17, "When=\"no date\"");
  Write("known.xml", other);
  ds.LoadFromFile(File("known.xml"), rules);
  ASSERT_EQ(ds.FieldCount(), 3);
  EXPECT_EQ(ds.Fields(0).FieldName(), "Shipper ID");
  EXPECT_EQ(ds.Fields(1).FieldName(), "CompanyName");
  EXPECT_EQ(ds.Fields(2).FieldName(), "Fee");
  ASSERT_EQ(ds.RecordCount(), 3);
  EXPECT_EQ(ds.FieldByName("Fee").AsCurrency().scaled, 123456);
  ds.Next();
  EXPECT_EQ(ds.FieldByName("CompanyName").AsString(), "United Package");
  EXPECT_THROW(ds.LoadFromFile(File("known.xml")), EDatabaseError);
  std::string typed = Read(File("variant.xml"));
  typed.insert(typed.find("?>") + 2, "\n<!-- a note --><!DOCTYPE root [<!ENTITY x 'y'>]>");
  Write("typed.xml", typed);
  ds.LoadFromFile(File("typed.xml"), rules);
  EXPECT_EQ(ds.RecordCount(), 3);
  rules.refuseDocumentType = true;
  try {
    ds.LoadFromFile(File("typed.xml"), rules);
    ADD_FAILURE() << "a document type was taken";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot load persisted recordset '" + File("typed.xml") +
                                         "': the document declares a document type (<!DOCTYPE), which no file of this kind holds");
  }
  EXPECT_FALSE(ds.Active());
}

TEST_F(PersistXml, BrokenFilesFailNamingTheFileAndLeaveTheSetClosed) {
  TDataSet good;
  good.FieldDefs() = {{"id", FieldType::ftInteger}, {"when", FieldType::ftDateTime}};
  good.CreateDataSet();
  for (int i = 0; i < 50; ++i) {
    good.Append();
    good.FieldByName("id").SetAsInteger(i);
    good.FieldByName("when").SetAsDateTime(EncodeDateTime(2000, 1, 1 + i % 28));
    good.Post();
  }
  good.SaveToFile(File("good.xml"));
  const std::string whole = Read(File("good.xml"));

  struct Case {
    std::string name;
    std::string content;
    std::string expect;  // part of the message
  };
  std::string badInt = whole;
  badInt.replace(badInt.find("id='7'"), 6, "id='7x'");
  std::string badDate = whole;
  badDate.replace(badDate.find("2000-01-05"), 10, "2000-13-05");
  std::string badDay = whole;
  badDay.replace(badDay.find("2000-01-05"), 10, "2001-02-29");
  const std::vector<Case> cases = {
      {"truncated.xml", whole.substr(0, whole.size() / 2), "malformed XML"},
      {"cut-in-schema.xml", whole.substr(0, 300), "malformed XML"},
      {"empty.xml", "", "empty"},
      {"adtg.xml", std::string("\x01\x02\x03 binary", 10), "binary ADTG form"},
      {"garbage.xml", "<xml><s:Schema id='RowsetSchema'><<<", "malformed XML"},
      {"no-schema.xml", "<xml><data/></xml>", "no rowset schema"},
      {"no-data.xml", whole.substr(0, whole.find("<rs:data>")) + "</xml>", "no data section"},
      {"bad-int.xml", badInt, "row 8: value '7x' of field 'id' is not a valid integer"},
      {"bad-date.xml", badDate, "of field 'when' is not a valid date-time"},
      {"bad-day.xml", badDay, "value '2001-02-29T00:00:00' of field 'when'"},
  };
  for (const Case& c : cases) {
    Write(c.name, c.content);
    TDataSet ds;
    ds.LoadFromFile(File("good.xml"));
    try {
      ds.LoadFromFile(File(c.name));
      ADD_FAILURE() << c.name << " loaded";
    } catch (const EDatabaseError& e) {
      const std::string msg = e.what();
      EXPECT_NE(msg.find(File(c.name)), std::string::npos) << msg;
      EXPECT_NE(msg.find(c.expect), std::string::npos) << msg;
    }
    EXPECT_FALSE(ds.Active()) << c.name;
  }
  TDataSet ds;
  EXPECT_THROW(ds.LoadFromFile(File("missing.xml")), EDatabaseError);
  EXPECT_FALSE(ds.Active());
}

// Damaged files (bytes changed, removed or cut off anywhere) either load or fail with the data
// set's error; nothing else may happen.
TEST_F(PersistXml, DamagedFilesLoadOrFailCleanly) {
  TDataSet ds;
  ds.FieldDefs() = AllTypes();
  ds.CreateDataSet();
  for (int i = 0; i < 3; ++i) {
    ds.Append();
    ds.FieldByName("id").SetAsInteger(i);
    ds.FieldByName("name").SetAsString("n&<'" + std::to_string(i));
    ds.FieldByName("created").SetAsDateTime(EncodeDateTime(2001, 2, 3, 4, 5, 6));
    ds.FieldByName("raw").SetValue(Variant(Bytes{1, 2, 3}));
    ds.FieldByName("amount").SetAsString("1.5");
    ds.FieldByName("Last Name").SetAsString("x");
    ds.Post();
  }
  ds.SaveToFile(File("base.xml"));
  const std::string base = Read(File("base.xml"));
  std::mt19937 rng(4242);
  const std::string noise = "<>&'\"=:/ ;#x0aZz9-.\x01\xff";
  int loaded = 0;
  for (int round = 0; round < 400; ++round) {
    std::string damaged = base;
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits && !damaged.empty(); ++e) {
      const size_t at = rng() % damaged.size();
      switch (rng() % 3) {
        case 0: damaged[at] = noise[rng() % noise.size()]; break;
        case 1: damaged.erase(at, 1 + rng() % 8); break;
        default: damaged.resize(at); break;
      }
    }
    if (damaged.empty()) continue;  // a file says "empty" where a document is malformed
    Write("damaged.xml", damaged);
    // The file read in pieces gives what the whole document gives.
    std::string whole = "loaded";
    try {
      (void)ParsePersistedXml(damaged, File("damaged.xml"));
    } catch (const EDatabaseError& e) {
      whole = e.what();
    }
    TDataSet back;
    try {
      back.LoadFromFile(File("damaged.xml"));
      EXPECT_EQ(whole, "loaded");
      EXPECT_TRUE(LoadPersistedXml(File("damaged.xml")).Rows == ParsePersistedXml(damaged, "").Rows);
      ++loaded;
      for (back.First(); !back.Eof(); back.Next()) {
        for (int f = 0; f < back.FieldCount(); ++f) (void)back.Fields(f).AsString();
      }
    } catch (const EDatabaseError& e) {
      EXPECT_FALSE(back.Active());
      EXPECT_EQ(e.what(), whole);
    }
  }
  EXPECT_GT(loaded, 0);
}

// Currency amounts keep to their range: the extremes round-trip, an amount past them is refused
// by name instead of wrapping into a value that the saved file could not hold.
TEST_F(PersistXml, CurrencyAmountsAtAndPastTheirRange) {
  const std::string head =
      "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' "
      "xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882' xmlns:rs='urn:schemas-microsoft-com:rowset' "
      "xmlns:z='#RowsetSchema'><s:Schema id='RowsetSchema'><s:ElementType name='row' content='eltOnly'>"
      "<s:AttributeType name='amount'><s:datatype dt:type='number' rs:dbtype='currency'/>"
      "</s:AttributeType></s:ElementType></s:Schema><rs:data>";
  Write("extremes.xml", head + "<z:row amount='-922337203685477.5808'/><z:row amount='922337203685477.5807'/>"
                               "<z:row amount='1.5e3'/></rs:data></xml>");
  TDataSet ds;
  ds.LoadFromFile(File("extremes.xml"));
  ASSERT_EQ(ds.RecordCount(), 3);
  EXPECT_EQ(ds.FieldByName("amount").AsString(), "-922337203685477.5808");
  ds.SaveToFile(File("extremes-again.xml"));
  TDataSet back;
  back.LoadFromFile(File("extremes-again.xml"));
  std::vector<std::string> amounts;
  for (back.First(); !back.Eof(); back.Next()) amounts.push_back(back.FieldByName("amount").AsString());
  EXPECT_EQ(amounts, (std::vector<std::string>{"-922337203685477.5808", "922337203685477.5807", "1500"}));

  for (const char* bad : {"1e30", "-1e30", "922337203685477.5808", "nan", "inf"}) {
    Write("past.xml", head + "<z:row amount='" + bad + "'/></rs:data></xml>");
    TDataSet past;
    try {
      past.LoadFromFile(File("past.xml"));
      ADD_FAILURE() << bad << " loaded as " << past.FieldByName("amount").AsString();
    } catch (const EDatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find("not a valid currency amount"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(past.Active());
  }
  // Values put into a currency field past its range are refused the same way.
  EXPECT_THROW(Variant(static_cast<long long>(INT64_MAX / 100)).AsCurrency(), EVariantError);
  EXPECT_THROW(Variant(1e300).AsCurrency(), EVariantError);
  EXPECT_EQ(Variant(static_cast<long long>(-922337203685477)).AsCurrency().scaled, -9223372036854770000);
}

// Regression: 200,000 nested elements in rs:data (a 1.4 MB file) overflowed the stack while the
// loader dropped each element it had read; such a file is refused naming the file.
TEST_F(PersistXml, AbsurdlyNestedFileIsRefusedNamingTheFile) {
  TDataSet ds;
  ds.FieldDefs() = {{"id", FieldType::ftInteger}};
  ds.CreateDataSet();
  ds.SaveToFile(File("empty.xml"));
  std::string hostile = Read(File("empty.xml"));
  std::string nest;
  for (int i = 0; i < 200000; ++i) nest += "<z:row>";
  for (int i = 0; i < 200000; ++i) nest += "</z:row>";
  hostile.insert(hostile.find("<rs:data>") + 9, nest);
  Write("deep.xml", hostile);
  TDataSet back;
  try {
    back.LoadFromFile(File("deep.xml"));
    ADD_FAILURE() << "loaded";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find(File("deep.xml")), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("nested deeper than"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(back.Active());
}

// A file of several megabytes is read in pieces: rows, values and markup that straddle the pieces
// load as the whole document does, and a file damaged anywhere is refused with the message the
// whole document gives.
TEST_F(PersistXml, FileReadInPiecesLoadsAndFailsAsTheWholeDocument) {
  std::string doc =
      "\xEF\xBB\xBF<?xml version='1.0'?>\n<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' "
      "xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882' xmlns:rs='urn:schemas-microsoft-com:rowset' "
      "xmlns:z='#RowsetSchema'><s:Schema id='RowsetSchema'><s:ElementType name='row' content='eltOnly'>"
      "<s:AttributeType name='id' rs:number='1'><s:datatype dt:type='int'/></s:AttributeType>"
      "<s:AttributeType name='note' rs:number='2'><s:datatype dt:type='string' rs:long='true'/>"
      "</s:AttributeType></s:ElementType></s:Schema>\n<rs:data>\n";
  for (int i = 0; i < 30000; ++i) {
    const std::string note = "a>b &amp; \"" + std::string(static_cast<size_t>(i * 7 % 300), 'x');
    doc += "\t<z:row id='" + std::to_string(i) + "' note='" + note + "'/>\n";
    if (i % 997 == 0) {
      doc += "<!-- <z:row id='-1'/> --><![CDATA[</rs:data>]]><?pi > ?>text\n<rs:insert><z:row id='-2'/></rs:insert>"
             "<rs:update><rs:original><z:row id='-3' note='old'/></rs:original><z:row note='new'/></rs:update>"
             "<rs:delete><z:row id='-4'/></rs:delete>\n";
    }
  }
  doc += "</rs:data>\n</xml>\n";
  ASSERT_GT(doc.size(), 4u << 20);
  const std::string file = File("big.xml");
  auto outcome = [&](const std::string& content, size_t cap = kNoValueLimit) {
    Write("big.xml", content);
    std::string whole;
    try {
      const RowSet expected = ParsePersistedXml(content, file);
      const RowSet read = LoadPersistedXml(file, {.maxValueBytes = cap, .fields = {}, .refuseDocumentType = false});
      EXPECT_EQ(read.Fields.size(), expected.Fields.size());
      EXPECT_TRUE(read.Rows == expected.Rows);
      return "loaded " + std::to_string(read.Rows.size());
    } catch (const EDatabaseError& e) {
      whole = e.what();
    }
    try {
      (void)LoadPersistedXml(file, {.maxValueBytes = cap, .fields = {}, .refuseDocumentType = false});
      return std::string("loaded in pieces although the whole document fails: ") + whole;
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.what(), whole);
      return whole;
    }
  };
  EXPECT_EQ(outcome(doc), "loaded 30062");
  EXPECT_EQ(outcome(doc + "<!-- after -->"), "loaded 30062");
  const size_t late = doc.find("id='25000'");
  std::string damaged = doc;
  damaged.erase(late + 9, 1);  // an unclosed quote late in the file
  damaged.replace(damaged.find("id='7'"), 6, "id='7x'");
  EXPECT_NE(outcome(damaged).find("malformed XML"), std::string::npos);
  EXPECT_NE(outcome(doc.substr(0, late)).find("malformed XML"), std::string::npos);
  EXPECT_NE(outcome(doc.substr(0, doc.find("</rs:data>"))).find("malformed XML"), std::string::npos);
  EXPECT_NE(outcome(doc.substr(0, doc.size() - 8) + "<x/></xml>").find("loaded"), std::string::npos);
  std::string wide = doc;
  wide.insert(wide.find("'/>", late), std::string(400, 'y'));
  Write("big.xml", wide);
  try {
    (void)LoadPersistedXml(file, {.maxValueBytes = 400, .fields = {}, .refuseDocumentType = false});
    ADD_FAILURE() << "a value past the limit loaded";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot load persisted recordset '" + file +
                                         "': row 25053: the value of field 'note' is longer than 400 bytes");
  }
}

// A big file is read in pieces, never whole: in a process allowed less memory than the file takes
// twice (its text and its rows), it loads.
TEST_F(PersistXml, ABigFileLoadsInLessMemoryThanItsTextAndRowsTogether) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's own reservations leave no address-space limit to test";
#else
  std::string doc =
      "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882' "
      "xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'><s:Schema id='RowsetSchema'>"
      "<s:ElementType name='row' content='eltOnly'><s:AttributeType name='note' rs:number='1'>"
      "<s:datatype dt:type='string' rs:long='true'/></s:AttributeType></s:ElementType></s:Schema><rs:data>\n";
  const std::string note(4000, 'x');
  constexpr size_t kRows = 10000;
  for (size_t i = 0; i < kRows; ++i) doc += "<z:row note='" + note + "'/>\n";
  doc += "</rs:data></xml>\n";
  Write("big.xml", doc);
  const size_t budget = doc.size() * 3 / 2;
  doc = std::string();
  const pid_t pid = fork();
  if (pid == 0) {
    // The address space the process has, and room for its rows and half as much again.
    long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
      std::fclose(statm);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + budget;
    const rlimit rl{limit, limit};
    bool loaded = false;
    if (pages > 0 && setrlimit(RLIMIT_AS, &rl) == 0) {
      try {
        loaded = LoadPersistedXml(File("big.xml")).Rows.size() == kRows;
      } catch (...) {
      }
    }
    _exit(loaded ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
#endif
}
