#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "components/UpdaterDirectives.h"

namespace {

std::vector<std::string> ChildNames(pugi::xml_node node) {
  std::vector<std::string> names;
  for (pugi::xml_node child : node.children()) names.emplace_back(child.name());
  return names;
}

pugi::xml_node ParseRoot(pugi::xml_document& doc, const char* xml) {
  doc.load_string(xml);
  return doc.document_element();
}

// A set holding the updater's defaults, for the directives and for their delete policy.
TUpdaterDirectives UpdaterSet() {
  TUpdaterDirectives d;
  d.SetUpdaterDefaults();
  d.DeletePolicy.SetUpdaterDefaults();
  return d;
}

// The scalar directives both default sets share; they differ in the backup and the progress kind.
void ExpectCommonDefaults(const TUpdaterDirectives& d) {
  EXPECT_EQ(d.UseDefaultDbSpace, beYes);
  EXPECT_EQ(d.UpdateComments, beNo);
  EXPECT_EQ(d.DefaultValueFromDataType, beYes);
  EXPECT_EQ(d.AutoRecoverPrimaryKeys, beYes);
  EXPECT_EQ(d.UseDefaultOwner, beYes);
  EXPECT_EQ(d.AutoRecoverUniqueIndexes, beYes);
  EXPECT_EQ(d.ErrorManager, demEnqueueInstructionError);
  EXPECT_EQ(d.FkPendingData, fpdDelete);
  EXPECT_EQ(d.PKChangedTreatment, pctAll);
}

TUpdaterDirectives SetWithEveryValueChanged() {
  TUpdaterDirectives d;
  d.PrimaryKeysChanged = {"Orders", "Order Lines"};
  d.PKChangedTreatment = pctList;
  d.DefaultValueFromDataType = beNo;
  d.FkPendingData = fpdNone;
  d.AutoRecoverUniqueIndexes = beUndefined;
  d.AutoRecoverPrimaryKeys = beNo;
  d.ProgressInfoKind = pikConsole;
  d.ErrorManager = demSkipInstructionError;
  d.UseDefaultOwner = beNo;
  d.Users = {"dbo", "guest", "R&D <team>"};
  d.UseDefaultDbSpace = beUndefined;
  d.UpdateComments = beYes;
  d.BackupBeforeUpdate = beNo;
  d.DeletePolicy.Enabled = beYes;
  d.DeletePolicy.DeleteTables = beNo;
  d.DeletePolicy.DeleteFields = beYes;
  d.DeletePolicy.DeleteIndexes = beNo;
  d.DeletePolicy.DeleteProcedures = beYes;
  d.DeletePolicy.DeleteViews = beNo;
  d.DeletePolicy.ConfirmOnDelete = beYes;
  d.DeletePolicy.PrefixesList = {"tmp", "sys_", "città"};
  return d;
}

void ExpectSame(const TUpdaterDirectives& a, const TUpdaterDirectives& b) {
  EXPECT_EQ(a.PrimaryKeysChanged, b.PrimaryKeysChanged);
  EXPECT_EQ(a.PKChangedTreatment, b.PKChangedTreatment);
  EXPECT_EQ(a.DefaultValueFromDataType, b.DefaultValueFromDataType);
  EXPECT_EQ(a.FkPendingData, b.FkPendingData);
  EXPECT_EQ(a.AutoRecoverUniqueIndexes, b.AutoRecoverUniqueIndexes);
  EXPECT_EQ(a.AutoRecoverPrimaryKeys, b.AutoRecoverPrimaryKeys);
  EXPECT_EQ(a.ProgressInfoKind, b.ProgressInfoKind);
  EXPECT_EQ(a.ErrorManager, b.ErrorManager);
  EXPECT_EQ(a.UseDefaultOwner, b.UseDefaultOwner);
  EXPECT_EQ(a.Users, b.Users);
  EXPECT_EQ(a.UseDefaultDbSpace, b.UseDefaultDbSpace);
  EXPECT_EQ(a.UpdateComments, b.UpdateComments);
  EXPECT_EQ(a.BackupBeforeUpdate, b.BackupBeforeUpdate);
  EXPECT_EQ(a.DeletePolicy.Enabled, b.DeletePolicy.Enabled);
  EXPECT_EQ(a.DeletePolicy.DeleteTables, b.DeletePolicy.DeleteTables);
  EXPECT_EQ(a.DeletePolicy.DeleteFields, b.DeletePolicy.DeleteFields);
  EXPECT_EQ(a.DeletePolicy.DeleteIndexes, b.DeletePolicy.DeleteIndexes);
  EXPECT_EQ(a.DeletePolicy.DeleteProcedures, b.DeletePolicy.DeleteProcedures);
  EXPECT_EQ(a.DeletePolicy.DeleteViews, b.DeletePolicy.DeleteViews);
  EXPECT_EQ(a.DeletePolicy.ConfirmOnDelete, b.DeletePolicy.ConfirmOnDelete);
  EXPECT_EQ(a.DeletePolicy.PrefixesList, b.DeletePolicy.PrefixesList);
}

}  // namespace

TEST(Directives, ProducerAndUpdaterDefaultSets) {
  TUpdaterDirectives producer;
  ExpectCommonDefaults(producer);
  EXPECT_EQ(producer.BackupBeforeUpdate, beUndefined);
  EXPECT_EQ(producer.ProgressInfoKind, pikUpdaterSetting);
  EXPECT_TRUE(producer.Users.empty());
  EXPECT_TRUE(producer.PrimaryKeysChanged.empty());
  const TDeletePolicy& pp = producer.DeletePolicy;
  for (TBooleanExtended v : {pp.Enabled, pp.DeleteTables, pp.DeleteFields, pp.DeleteIndexes,
                             pp.DeleteProcedures, pp.DeleteViews, pp.ConfirmOnDelete}) {
    EXPECT_EQ(v, beUndefined);
  }
  EXPECT_TRUE(pp.PrefixesList.empty());

  // The updater applies its own defaults to the directives and, separately, to their policy.
  TUpdaterDirectives updater;
  updater.Users = {"kept"};
  updater.SetUpdaterDefaults();
  updater.DeletePolicy.SetUpdaterDefaults();
  ExpectCommonDefaults(updater);
  EXPECT_EQ(updater.BackupBeforeUpdate, beYes);
  EXPECT_EQ(updater.ProgressInfoKind, pikBoth);
  EXPECT_EQ(updater.Users, std::vector<std::string>{"kept"}) << "defaults leave the lists alone";
  const TDeletePolicy& up = updater.DeletePolicy;
  EXPECT_EQ(up.Enabled, beUndefined);
  for (TBooleanExtended v :
       {up.DeleteTables, up.DeleteFields, up.DeleteIndexes, up.DeleteProcedures, up.DeleteViews}) {
    EXPECT_EQ(v, beYes);
  }
  EXPECT_EQ(up.ConfirmOnDelete, beNo);

  // And back: SetDefaults restores the producer's column.
  updater.SetDefaults();
  updater.DeletePolicy.SetDefaults();
  EXPECT_EQ(updater.BackupBeforeUpdate, beUndefined);
  EXPECT_EQ(updater.ProgressInfoKind, pikUpdaterSetting);
  EXPECT_EQ(updater.DeletePolicy.DeleteTables, beUndefined);
  EXPECT_EQ(updater.DeletePolicy.ConfirmOnDelete, beUndefined);
}

TEST(Directives, WrittenElementsNamesOrderAndTexts) {
  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child("Root");
  TUpdaterDirectives updater = UpdaterSet();
  updater.PrimaryKeysChanged = {"Orders"};
  updater.DeletePolicy.PrefixesList = {"tmp", "old"};
  updater.SaveToXml(root);

  const std::vector<std::string> expected = {"UseDefaultOwner",
                                             "UpdateComments",
                                             "BackupBeforeUpdate",
                                             "UseDefaultDbSpace",
                                             "AutoRecoverUniqueIndexes",
                                             "AutoRecoverPrimaryKeys",
                                             "ErrorManager",
                                             "PKChangedTreatment",
                                             "DefaultValueFromDataType",
                                             "FkPendingData",
                                             "ProgressInfoKind",
                                             "Users",
                                             "PrimaryKeysChanged",
                                             "Enabled",
                                             "ConfirmOnDelete",
                                             "DeleteTables",
                                             "DeleteViews",
                                             "DeleteProcedures",
                                             "DeleteIndexes",
                                             "DeleteFields",
                                             "PrefixesList"};
  EXPECT_EQ(ChildNames(root), expected);
  EXPECT_STREQ(root.child_value("UseDefaultOwner"), "beYes");
  EXPECT_STREQ(root.child_value("UpdateComments"), "beNo");
  EXPECT_STREQ(root.child_value("ErrorManager"), "demEnqueueInstructionError");
  EXPECT_STREQ(root.child_value("PKChangedTreatment"), "pctAll");
  EXPECT_STREQ(root.child_value("FkPendingData"), "fpdDelete");
  EXPECT_STREQ(root.child_value("ProgressInfoKind"), "pikBoth");
  EXPECT_STREQ(root.child_value("Enabled"), "beUndefined");
  EXPECT_STREQ(root.child_value("ConfirmOnDelete"), "beNo");
  // An empty list is still written, as an empty element.
  EXPECT_TRUE(root.child("Users"));
  EXPECT_FALSE(root.child("Users").first_child());
  EXPECT_EQ(ChildNames(root.child("PrimaryKeysChanged")), std::vector<std::string>{"PrimaryKey0"});
  EXPECT_STREQ(root.child("PrimaryKeysChanged").child_value("PrimaryKey0"), "Orders");
  EXPECT_EQ(ChildNames(root.child("PrefixesList")),
            (std::vector<std::string>{"Prefix0", "Prefix1"}));
  EXPECT_STREQ(root.child("PrefixesList").child_value("Prefix1"), "old");

  // Scalar elements already under the node are reused in place, with their text replaced.
  pugi::xml_document doc2;
  pugi::xml_node root2 =
      ParseRoot(doc2, "<Root><DirSchema>x</DirSchema><ErrorManager>old</ErrorManager></Root>");
  updater.SaveToXml(root2);
  EXPECT_EQ(ChildNames(root2)[0], "DirSchema");
  EXPECT_EQ(ChildNames(root2)[1], "ErrorManager");
  EXPECT_STREQ(root2.child_value("ErrorManager"), "demEnqueueInstructionError");
  EXPECT_EQ(ChildNames(root2).size(), expected.size() + 1);
}

TEST(Directives, WriteThenReadGivesTheSameValues) {
  const TUpdaterDirectives original = SetWithEveryValueChanged();
  pugi::xml_document doc;
  original.SaveToXml(doc.append_child("Root"));
  std::ostringstream text;
  doc.save(text);

  pugi::xml_document reread;
  ASSERT_TRUE(reread.load_string(text.str().c_str()));
  TUpdaterDirectives loaded = UpdaterSet();
  loaded.Users = {"stale"};
  loaded.LoadFromXml(reread.document_element());
  ExpectSame(loaded, original);

  // Every value of every enumeration survives.
  for (int k = 0; k < EnumCount<TProgressInfoKind>(); ++k) {
    for (int e = 0; e < EnumCount<TDbErrorManager>(); ++e) {
      TUpdaterDirectives d;
      d.ProgressInfoKind = static_cast<TProgressInfoKind>(k);
      d.ErrorManager = static_cast<TDbErrorManager>(e);
      d.PKChangedTreatment = static_cast<TDbPKChangedTreatment>(e);
      d.FkPendingData = static_cast<TDbFkPendingData>(e % 3);
      d.DeletePolicy.DeleteViews = static_cast<TBooleanExtended>(k % 3);
      pugi::xml_document x;
      d.SaveToXml(x.append_child("Root"));
      TUpdaterDirectives back;
      back.LoadFromXml(x.document_element());
      ExpectSame(back, d);
    }
  }
}

// Writing twice under one element once left the first lists in place, and reading found them.
TEST(Directives, WritingTwiceKeepsOneCurrentList) {
  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child("Root");
  TUpdaterDirectives d;
  d.Users = {"first"};
  d.DeletePolicy.PrefixesList = {"a"};
  d.SaveToXml(root);
  d.Users = {"second", "third"};
  d.DeletePolicy.PrefixesList = {};
  d.SaveToXml(root);
  EXPECT_EQ(std::distance(root.children("Users").begin(), root.children("Users").end()), 1);
  TUpdaterDirectives back;
  back.LoadFromXml(root);
  EXPECT_EQ(back.Users, (std::vector<std::string>{"second", "third"}));
  EXPECT_TRUE(back.DeletePolicy.PrefixesList.empty());
}

TEST(Directives, ReadingFallbacksForMissingAndUnknownValues) {
  pugi::xml_document doc;
  pugi::xml_node root = ParseRoot(doc, "<Root/>");
  TUpdaterDirectives d = SetWithEveryValueChanged();
  d.LoadFromXml(root);
  // Missing elements read as empty text, which names no value.
  for (TBooleanExtended v :
       {d.UseDefaultOwner, d.UpdateComments, d.BackupBeforeUpdate, d.UseDefaultDbSpace,
        d.AutoRecoverUniqueIndexes, d.AutoRecoverPrimaryKeys, d.DefaultValueFromDataType}) {
    EXPECT_EQ(v, beUndefined);
  }
  EXPECT_EQ(d.ErrorManager, demUpdaterSetting);
  EXPECT_EQ(d.PKChangedTreatment, pctUpdaterSetting);
  EXPECT_EQ(d.FkPendingData, fpdUpdaterSetting);
  EXPECT_EQ(d.ProgressInfoKind, pikSilent) << "not pikUpdaterSetting";
  EXPECT_TRUE(d.Users.empty());
  EXPECT_TRUE(d.PrimaryKeysChanged.empty());
  EXPECT_EQ(d.DeletePolicy.Enabled, beUndefined);
  EXPECT_EQ(d.DeletePolicy.DeleteTables, beUndefined);
  EXPECT_EQ(d.DeletePolicy.ConfirmOnDelete, beUndefined);
  EXPECT_TRUE(d.DeletePolicy.PrefixesList.empty());

  // A text that names no value gives the fallback; value names match ignoring case and blanks.
  pugi::xml_document doc2;
  root = ParseRoot(doc2,
                   "<Root><BackupBeforeUpdate>maybe</BackupBeforeUpdate>"
                   "<UpdateComments>  beyes\n</UpdateComments>"
                   "<ErrorManager>2</ErrorManager><FkPendingData>fpdNone</FkPendingData>"
                   "<ProgressInfoKind>pikUpdaterSettings</ProgressInfoKind>"
                   "<DeleteFields>BENO</DeleteFields></Root>");
  d.LoadFromXml(root);
  EXPECT_EQ(d.BackupBeforeUpdate, beUndefined);
  EXPECT_EQ(d.UpdateComments, beYes);
  EXPECT_EQ(d.ErrorManager, demUpdaterSetting);
  EXPECT_EQ(d.FkPendingData, fpdNone);
  EXPECT_EQ(d.ProgressInfoKind, pikSilent);
  EXPECT_EQ(d.DeletePolicy.DeleteFields, beNo);
}

TEST(Directives, UnsoundDocumentIsReadAsFarAsItIsSound) {
  // Unknown elements, list children of any names, an element holding markup instead of plain text,
  // a comment inside a value and a list element that is plain text: each broken element costs only
  // its own value, every sound one is read.
  pugi::xml_document doc;
  pugi::xml_node root = ParseRoot(doc,
                                  "<Root>"
                                  "  <Unknown>beNo</Unknown><UseDefaultOwner>beNo</UseDefaultOwner>"
                                  "  <UpdateComments><b>be</b>Yes</UpdateComments>"
                                  "  <BackupBeforeUpdate><!-- note -->beNo</BackupBeforeUpdate>"
                                  "  <ErrorManager><x/></ErrorManager>"
                                  "  <PKChangedTreatment>pctList</PKChangedTreatment>"
                                  "  <Users><User0>dbo</User0><Someone>guest</Someone><!-- c "
                                  "--><User7><![CDATA[a<b]]></User7></Users>"
                                  "  <PrimaryKeysChanged>no children here</PrimaryKeysChanged>"
                                  "  <Enabled>beNo</Enabled><DeleteViews/>"
                                  "  <PrefixesList><P>tmp</P><Q></Q></PrefixesList>"
                                  "  <ProgressInfoKind>pikConsole</ProgressInfoKind>"
                                  "</Root>");
  ASSERT_TRUE(root);
  TUpdaterDirectives d;
  d.LoadFromXml(root);
  EXPECT_EQ(d.UseDefaultOwner, beNo);
  EXPECT_EQ(d.UpdateComments, beYes);
  EXPECT_EQ(d.BackupBeforeUpdate, beNo);
  EXPECT_EQ(d.ErrorManager, demUpdaterSetting);
  EXPECT_EQ(d.PKChangedTreatment, pctList);
  EXPECT_EQ(d.Users, (std::vector<std::string>{"dbo", "guest", "a<b"}));
  EXPECT_TRUE(d.PrimaryKeysChanged.empty());
  EXPECT_EQ(d.DeletePolicy.Enabled, beNo);
  EXPECT_EQ(d.DeletePolicy.DeleteViews, beUndefined);
  EXPECT_EQ(d.DeletePolicy.PrefixesList, (std::vector<std::string>{"tmp", ""}));
  EXPECT_EQ(d.ProgressInfoKind, pikConsole);

  // A document cut short: what was parsed before the break is read, the rest falls back.
  pugi::xml_document cut;
  const pugi::xml_parse_result parsed = cut.load_string(
      "<Root><UseDefaultOwner>beNo</UseDefaultOwner><Users><User0>dbo</User0></Users>"
      "<ErrorManager>demStopOnFirstError</ErrorManager><FkPendingData>fpdN");
  EXPECT_FALSE(parsed);
  TUpdaterDirectives e;
  if (cut.document_element()) e.LoadFromXml(cut.document_element());
  EXPECT_EQ(e.UseDefaultOwner, beNo);
  EXPECT_EQ(e.Users, std::vector<std::string>{"dbo"});
  EXPECT_EQ(e.ErrorManager, demStopOnFirstError);
  EXPECT_EQ(e.FkPendingData, fpdUpdaterSetting);
  EXPECT_EQ(e.ProgressInfoKind, pikSilent);

  // An empty node reads as an empty element: every fallback, no crash.
  TUpdaterDirectives f;
  f.LoadFromXml(pugi::xml_node());
  EXPECT_EQ(f.ProgressInfoKind, pikSilent);
  EXPECT_EQ(f.DeletePolicy.Enabled, beUndefined);
}

TEST(Directives, CopiesAreIndependent) {
  TUpdaterDirectives a = SetWithEveryValueChanged();
  TUpdaterDirectives b = a;
  b.Users.push_back("extra");
  b.DeletePolicy.PrefixesList.clear();
  EXPECT_EQ(a.Users.size(), 3u);
  EXPECT_EQ(a.DeletePolicy.PrefixesList.size(), 3u);
}

// Regression: a list item or an old list nested 200,000 levels deep overflowed the stack when
// its text was read and when the list was written over.
TEST(Directives, DeeplyNestedElementsAreReadAndReplacedWithoutCrashing) {
  std::string xml = "<Root><Users><User0>";
  for (int i = 0; i < 200000; ++i) xml += "<b>";
  xml += "dbo";
  for (int i = 0; i < 200000; ++i) xml += "</b>";
  xml += "</User0></Users><UpdateComments>";
  for (int i = 0; i < 200000; ++i) xml += "<b>";
  for (int i = 0; i < 200000; ++i) xml += "</b>";
  xml += "</UpdateComments></Root>";
  pugi::xml_document doc;
  pugi::xml_node root = ParseRoot(doc, xml.c_str());
  ASSERT_TRUE(root);
  TUpdaterDirectives d;
  d.LoadFromXml(root);
  EXPECT_EQ(d.Users, std::vector<std::string>{"dbo"});
  EXPECT_EQ(d.UpdateComments, beUndefined);
  d.Users = {"guest"};
  d.UpdateComments = beYes;
  d.SaveToXml(root);
  TUpdaterDirectives back;
  back.LoadFromXml(root);
  EXPECT_EQ(back.Users, std::vector<std::string>{"guest"});
  EXPECT_EQ(back.UpdateComments, beYes);
}
