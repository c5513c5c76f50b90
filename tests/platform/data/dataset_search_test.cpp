// Filters, sorts and Locate as the engine writes them, and the Locate index kept right while
// rows are edited, inserted and deleted.
#include <gtest/gtest.h>

#include <random>

#include "common/Text.h"
#include "platform/data/DataErrors.h"
#include "platform/data/DataSet.h"

using namespace ado;

namespace {

void CreateColumns(TDataSet& ds) {
  ds.FieldDefs() = {{"TABLE_SCHEMA", FieldType::ftString, 50},
                    {"TABLE_NAME", FieldType::ftString, 100},
                    {"COLUMN_NAME", FieldType::ftString, 100},
                    {"ORDINAL_POSITION", FieldType::ftInteger},
                    {"IS_IDENTITY", FieldType::ftInteger},
                    {"PRIMARY_KEY", FieldType::ftBoolean}};
  ds.CreateDataSet();
}

void Add(TDataSet& ds, const char* schema, const char* table, const char* column, int ordinal,
         int identity = 0, bool pk = false) {
  ds.Append();
  ds.FieldByName("TABLE_SCHEMA").SetAsString(schema);
  ds.FieldByName("TABLE_NAME").SetAsString(table);
  ds.FieldByName("COLUMN_NAME").SetAsString(column);
  ds.FieldByName("ORDINAL_POSITION").SetAsInteger(ordinal);
  ds.FieldByName("IS_IDENTITY").SetAsInteger(identity);
  ds.FieldByName("PRIMARY_KEY").SetAsBoolean(pk);
  ds.Post();
}

void Fill(TDataSet& ds) {
  CreateColumns(ds);
  Add(ds, "dbo", "Orders", "OrderId", 1, 1, true);
  Add(ds, "dbo", "Orders", "Customer", 2);
  Add(ds, "dbo", "O'Brien's", "Id", 1, 0, true);
  Add(ds, "sales", "customers", "Name", 2);
  Add(ds, "dbo", "Customers", "Id", 1, 1, true);
  Add(ds, "dbo", "Customers", "name", 3);
}

std::vector<std::string> Column(TDataSet& ds, const char* field) {
  std::vector<std::string> out;
  for (ds.First(); !ds.Eof(); ds.Next()) out.push_back(ds.FieldByName(field).AsString());
  return out;
}

std::string Quoted(const std::string& v) { return "'" + text::ReplaceAll(v, "'", "''") + "'"; }

}  // namespace

TEST(DataSetFilter, EngineFiltersWithDoubledQuotesAndJoins) {
  TDataSet ds;
  Fill(ds);
  ds.SetFilter("table_name = " + Quoted("O'Brien's"));
  EXPECT_EQ(ds.RecordCount(), 6);  // not applied until Filtered
  ds.SetFiltered(true);
  EXPECT_EQ(Column(ds, "COLUMN_NAME"), (std::vector<std::string>{"Id"}));

  // Text matches ignoring case.
  ds.SetFilter("TABLE_NAME = 'CUSTOMERS'");
  EXPECT_EQ(ds.RecordCount(), 3);
  ds.SetFilter("table_name = 'Orders' and is_identity = 1");
  EXPECT_EQ(Column(ds, "COLUMN_NAME"), (std::vector<std::string>{"OrderId"}));

  ds.SetFilter("table_name = 'customers' and (primary_key = False) and (column_name = 'name')");
  EXPECT_EQ(ds.RecordCount(), 2);
  ds.SetFilter("primary_key = true AND TABLE_SCHEMA = 'dbo'");
  EXPECT_EQ(ds.RecordCount(), 3);
  ds.SetFilter("ORDINAL_POSITION > 1 and ordinal_position <= 2 OR column_name = 'name'");
  EXPECT_EQ(ds.RecordCount(), 3);
  ds.SetFilter("TABLE_SCHEMA <> 'dbo'");
  EXPECT_EQ(Column(ds, "TABLE_NAME"), (std::vector<std::string>{"customers"}));
  ds.SetFilter("(table_name = 'Orders' or table_name = 'nobody') and ordinal_position < 2");
  EXPECT_EQ(ds.RecordCount(), 1);

  // Switching the filter off shows every row again; an empty result leaves Eof and Bof set.
  ds.SetFilter("table_name = 'none'");
  EXPECT_TRUE(ds.Eof());
  EXPECT_TRUE(ds.Bof());
  ds.SetFiltered(false);
  EXPECT_EQ(ds.RecordCount(), 6);
}

TEST(DataSetFilter, BadFiltersRaiseAndKeepThePreviousOne) {
  TDataSet ds;
  Fill(ds);
  ds.SetFilter("table_name = 'Orders'");
  ds.SetFiltered(true);
  EXPECT_THROW(ds.SetFilter("table_name = 'Orders"), EDatabaseError);
  EXPECT_THROW(ds.SetFilter("table_name 'Orders'"), EDatabaseError);
  EXPECT_THROW(ds.SetFilter("(table_name = 'Orders'"), EDatabaseError);
  EXPECT_THROW(ds.SetFilter("table_name = 'x' and"), EDatabaseError);
  EXPECT_THROW(ds.SetFilter(std::string(100000, '(')), EDatabaseError);
  std::string chain = "table_name = 'x'";
  for (int i = 0; i < 100000; ++i) chain += " and table_name = 'x'";
  EXPECT_THROW(ds.SetFilter(chain), EDatabaseError);
  // Random text either parses or raises the data set's error.
  std::mt19937 rng(99);
  const std::string pieces[] = {"table_name", "=", "<>", "'a''b'", "'", "(", ")", "and", "OR",
                                "12", "-3.5e2", "#2001-01-01#", "#x#", "null", "is", "not", "[x",
                                "true", " ", "<", ">="};
  for (int i = 0; i < 2000; ++i) {
    std::string f;
    const int n = 1 + static_cast<int>(rng() % 8);
    for (int k = 0; k < n; ++k) f += pieces[rng() % std::size(pieces)] + " ";
    try {
      ds.SetFilter(f);
    } catch (const EDatabaseError&) {
    }
  }
  ds.SetFilter("table_name = 'Orders'");
  try {
    ds.SetFilter("no_such_field = 'x'");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Field 'no_such_field' not found");
  }
  EXPECT_EQ(ds.Filter(), "table_name = 'Orders'");
  EXPECT_EQ(ds.RecordCount(), 2);
  // Nulls match only NULL comparisons.
  ds.Append();
  ds.FieldByName("COLUMN_NAME").SetAsString("orphan");
  ds.Post();
  ds.SetFilter("table_name = NULL");
  EXPECT_EQ(Column(ds, "COLUMN_NAME"), (std::vector<std::string>{"orphan"}));
  ds.SetFilter("table_name is not null");
  EXPECT_EQ(ds.RecordCount(), 6);
}

TEST(DataSetSort, TwoFieldsWithDirectionsAndStableTies) {
  TDataSet ds;
  Fill(ds);
  ds.SetSort("table_name; ordinal_position");
  EXPECT_EQ(Column(ds, "COLUMN_NAME"),
            (std::vector<std::string>{"Id", "Name", "name", "Id", "OrderId", "Customer"}));
  ds.SetSort("TABLE_NAME ASC, ORDINAL_POSITION DESC");
  EXPECT_EQ(Column(ds, "COLUMN_NAME"),
            (std::vector<std::string>{"name", "Name", "Id", "Id", "Customer", "OrderId"}));
  ds.SetSort("[ORDINAL_POSITION] DESC");
  EXPECT_EQ(Column(ds, "ORDINAL_POSITION"), (std::vector<std::string>{"3", "2", "2", "1", "1", "1"}));
  // Sort and filter combine; an empty sort restores the order rows were added in.
  ds.SetFilter("table_name = 'customers'");
  ds.SetFiltered(true);
  EXPECT_EQ(Column(ds, "COLUMN_NAME"), (std::vector<std::string>{"name", "Name", "Id"}));
  ds.SetSort("");
  EXPECT_EQ(Column(ds, "COLUMN_NAME"), (std::vector<std::string>{"Name", "Id", "name"}));
  EXPECT_THROW(ds.SetSort("missing DESC"), EDatabaseError);
  EXPECT_EQ(ds.Sort(), "");
}

TEST(DataSetLocate, OneAndSeveralKeysIgnoringCaseAndPartialKeys) {
  TDataSet ds;
  Fill(ds);
  ds.Last();
  EXPECT_TRUE(ds.Locate("table_name", Variant("CUSTOMERS"), loCaseInsensitive));
  EXPECT_EQ(ds.FieldByName("TABLE_SCHEMA").AsString(), "sales");  // first in order
  EXPECT_TRUE(ds.Locate("table_name;column_name", Variant(VariantArray{"customers", "NAME"}),
                        loCaseInsensitive));
  EXPECT_EQ(ds.RecNo(), 4);
  EXPECT_TRUE(ds.Locate("TABLE_SCHEMA;table_name;column_name",
                        Variant(VariantArray{"DBO", "customers", "NAME"}), loCaseInsensitive));
  EXPECT_EQ(ds.RecNo(), 6);
  // Case matters without the option; a failed Locate stays where it was.
  EXPECT_FALSE(ds.Locate("table_name", Variant("ORDERS"), 0));
  EXPECT_EQ(ds.RecNo(), 6);
  EXPECT_TRUE(ds.Locate("table_name", Variant("Orders"), 0));
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_TRUE(ds.Locate("table_name", Variant(VariantArray{"O'Brien's"}), loCaseInsensitive));
  // Numbers given as text, or as numbers of another kind.
  EXPECT_TRUE(ds.Locate("table_name;ordinal_position", Variant(VariantArray{"customers", "3"}),
                        loCaseInsensitive));
  EXPECT_EQ(ds.FieldByName("COLUMN_NAME").AsString(), "name");
  EXPECT_TRUE(ds.Locate("ordinal_position", Variant(3.0), 0));
  EXPECT_FALSE(ds.Locate("ordinal_position", Variant("three"), 0));
  // Partial keys match the beginning of text.
  EXPECT_TRUE(ds.Locate("column_name", Variant("ORD"), loCaseInsensitive | loPartialKey));
  EXPECT_EQ(ds.FieldByName("COLUMN_NAME").AsString(), "OrderId");
  EXPECT_TRUE(ds.Locate("table_name;column_name", Variant(VariantArray{"cust", "na"}),
                        loCaseInsensitive | loPartialKey));
  EXPECT_EQ(ds.RecNo(), 4);
  EXPECT_FALSE(ds.Locate("column_name", Variant("ORD"), loPartialKey));
  // Locate searches only the rows the filter lets through.
  ds.SetFilter("table_schema = 'dbo'");
  ds.SetFiltered(true);
  EXPECT_TRUE(ds.Locate("table_name", Variant("customers"), loCaseInsensitive));
  EXPECT_EQ(ds.FieldByName("TABLE_SCHEMA").AsString(), "dbo");
  EXPECT_THROW(ds.Locate("table_name;column_name", Variant("x"), 0), EDatabaseError);
  EXPECT_THROW(ds.Locate("table_name", Variant(VariantArray{"a", "b"}), 0), EDatabaseError);
  EXPECT_THROW(ds.Locate("nope", Variant("x"), 0), EDatabaseError);
  EXPECT_THROW(ds.Locate("table_name;nope", Variant(VariantArray{"customers", "x"}), 0), EDatabaseError);
  // A field named twice matches only when both values agree.
  EXPECT_FALSE(ds.Locate("table_name;table_name", Variant(VariantArray{"customers", "orders"}),
                         loCaseInsensitive));
  EXPECT_TRUE(ds.Locate("table_name;TABLE_NAME", Variant(VariantArray{"customers", "CUSTOMERS"}),
                        loCaseInsensitive));
  ds.EmptyDataSet();
  EXPECT_FALSE(ds.Locate("table_name", Variant("customers"), loCaseInsensitive));
  // Opened on other fields, the same key list names the new set's fields.
  ds.SetFiltered(false);
  RowSet other;
  other.Fields = {{"COLUMN_NAME", FieldType::ftString, 100}, {"TABLE_NAME", FieldType::ftString, 100}};
  other.Rows = {{Variant("Id"), Variant("Customers")}};
  ds.Assign(std::move(other));
  EXPECT_TRUE(ds.Locate("table_name", Variant("customers"), loCaseInsensitive));
}

// The Locate index is built once and then kept in step with every change: after any mix of
// edits, inserts, appends and deletes, Locate still lands on the first matching visible row.
TEST(DataSetLocate, IndexStaysRightAfterEditsInsertsAndDeletes) {
  TDataSet ds;
  ds.FieldDefs() = {{"name", FieldType::ftString, 20}, {"n", FieldType::ftInteger}};
  ds.CreateDataSet();
  std::mt19937 rng(12345);
  auto randomName = [&] {
    static const char* names[] = {"alpha", "Beta", "GAMMA", "delta", "ALPHA", "beta"};
    return std::string(names[rng() % 6]);
  };
  for (int i = 0; i < 40; ++i) {
    ds.Append();
    ds.FieldByName("name").SetAsString(randomName());
    ds.FieldByName("n").SetAsInteger(static_cast<int>(rng() % 5));
    ds.Post();
  }
  auto expected = [&](const std::string& name, int n, bool ci) {
    for (int pos = 1; pos <= ds.RecordCount(); ++pos) {
      ds.SetRecNo(pos);
      const std::string v = ds.FieldByName("name").AsString();
      if ((ci ? text::SameText(v, name) : v == name) && ds.FieldByName("n").AsInteger() == n) {
        return pos;
      }
    }
    return 0;
  };
  for (int step = 0; step < 1500; ++step) {
    const int action = static_cast<int>(rng() % 7);
    if (ds.RecordCount() > 0) ds.SetRecNo(1 + static_cast<int>(rng() % ds.RecordCount()));
    if (action == 0 && ds.RecordCount() > 0) {
      ds.Edit();
      ds.FieldByName("name").SetAsString(randomName());
      ds.Post();
    } else if (action == 1 && ds.RecordCount() > 0) {
      ds.Delete();
    } else if (action == 2) {
      ds.Insert();
      ds.FieldByName("name").SetAsString(randomName());
      ds.FieldByName("n").SetAsInteger(static_cast<int>(rng() % 5));
      ds.Post();
    } else if (action == 3) {
      ds.Append();
      ds.FieldByName("name").SetAsString(randomName());
      ds.FieldByName("n").SetAsInteger(static_cast<int>(rng() % 5));
      ds.Post();
    } else if (action == 4 && ds.RecordCount() > 0) {
      ds.Edit();
      ds.FieldByName("n").SetAsInteger(static_cast<int>(rng() % 5));
      ds.Post();
    } else if (action == 5) {
      // The engine's pattern: filter off, Locate, filter on again (views and indexes are kept
      // aside while no row changes, and must not come back stale).
      ds.SetFilter(rng() % 2 ? "n < 3" : "name <> 'beta'");
      ds.SetFiltered(!ds.Filtered());
      if (rng() % 2) ds.SetSort(rng() % 2 ? "name DESC; n" : "");
    }
    // Ask both indexes (case ignored and exact) and compare with a plain scan.
    const std::string name = randomName();
    const int n = static_cast<int>(rng() % 5);
    for (bool ci : {true, false}) {
      const int want = expected(name, n, ci);
      const bool found = ds.Locate("name;n", Variant(VariantArray{name, n}), ci ? loCaseInsensitive : 0);
      ASSERT_EQ(found, want != 0) << "step " << step;
      if (found) {
        ASSERT_EQ(ds.RecNo(), want) << "step " << step;
      }
    }
  }
}

// Equality filters on text fields are served by an index once a field is filtered on again;
// what they let through must stay what a row-by-row scan lets through, across row changes.
TEST(DataSetFilter, IndexedEqualityFiltersMatchAScan) {
  TDataSet ds;
  ds.FieldDefs() = {{"name", FieldType::ftString, 20}, {"n", FieldType::ftInteger}};
  ds.CreateDataSet();
  std::mt19937 rng(777);
  static const char* names[] = {"alpha", "Beta", "GAMMA", "ALPHA", "beta", "O'Neil"};
  auto randomName = [&] { return std::string(names[rng() % 6]); };
  for (int i = 0; i < 60; ++i) {
    ds.Append();
    ds.FieldByName("name").SetAsString(randomName());
    ds.FieldByName("n").SetAsInteger(static_cast<int>(rng() % 4));
    ds.Post();
  }
  auto visible = [&] {
    std::vector<std::pair<std::string, int64_t>> rows;
    for (ds.First(); !ds.Eof(); ds.Next()) {
      rows.emplace_back(ds.FieldByName("name").AsString(), ds.FieldByName("n").AsInteger());
    }
    return rows;
  };
  ds.SetFiltered(true);
  for (int step = 0; step < 300; ++step) {
    ds.SetFiltered(false);
    if (rng() % 3 == 0 && ds.RecordCount() > 0) {
      ds.SetRecNo(1 + static_cast<int>(rng() % ds.RecordCount()));
      switch (rng() % 3) {
        case 0:
          ds.Edit();
          ds.FieldByName("name").SetAsString(randomName());
          ds.Post();
          break;
        case 1: ds.Delete(); break;
        default:
          ds.Insert();
          ds.FieldByName("name").SetAsString(randomName());
          ds.Post();
      }
    }
    ds.SetSort(rng() % 2 ? "n DESC" : "");
    ds.SetFiltered(true);
    const std::string quoted = "'" + text::ReplaceAll(randomName(), "'", "''") + "'";
    const std::string extra = rng() % 2 ? " and n > 1" : "";
    ds.SetFilter("name = " + quoted + extra);
    const auto indexed = visible();
    ds.SetFilter("(name = " + quoted + " or name = " + quoted + ")" + extra);
    ASSERT_EQ(indexed, visible()) << "step " << step;
  }
}

TEST(DataSetSort, SortAndFilterApplyAgainWhenTheSetIsReopened) {
  TDataSet ds;
  ds.SetSort("ORDINAL_POSITION DESC");  // set while closed, applied on opening
  ds.SetFilter("table_name = 'Customers'");
  ds.SetFiltered(true);
  RowSet columns;
  columns.Fields = {{"TABLE_NAME", FieldType::ftString, 100}, {"COLUMN_NAME", FieldType::ftString, 100},
                    {"ORDINAL_POSITION", FieldType::ftInteger}};
  columns.Rows = {{Variant("Customers"), Variant("Id"), Variant(1)},
                  {Variant("Orders"), Variant("Total"), Variant(9)},
                  {Variant("customers"), Variant("name"), Variant(3)},
                  {Variant("CUSTOMERS"), Variant("Name"), Variant("2")}};
  ds.Assign(columns);
  EXPECT_EQ(Column(ds, "COLUMN_NAME"), (std::vector<std::string>{"name", "Name", "Id"}));
  // Rows appended later stay visible where they were put, as in ADO, until the filter is set again.
  ds.Append();
  ds.FieldByName("TABLE_NAME").SetAsString("Orders");
  ds.Post();
  EXPECT_EQ(ds.RecordCount(), 4);
  ds.SetFilter(ds.Filter());  // regression: setting the filter to its own text kept no text
  EXPECT_EQ(ds.Filter(), "table_name = 'Customers'");
  EXPECT_EQ(ds.RecordCount(), 3);
  ds.SetFiltered(false);
  EXPECT_EQ(ds.RecordCount(), 5);
  ds.SetFiltered(true);
  // Rows of another shape: the filter no longer fits, which is reported; the set stays open,
  // unfiltered, and the sort still applies where it fits.
  RowSet other;
  other.Fields = {{"ORDINAL_POSITION", FieldType::ftInteger}};
  other.Rows = {{Variant(1)}, {Variant(3)}, {Variant(2)}};
  EXPECT_THROW(ds.Assign(other), EDatabaseError);
  EXPECT_TRUE(ds.Active());
  EXPECT_FALSE(ds.Filtered());
  EXPECT_EQ(Column(ds, "ORDINAL_POSITION"), (std::vector<std::string>{"3", "2", "1"}));
}
