// A short demonstration of the data-access layer while the program grows: a data set built
// from field definitions, saved as an ADO XML persisted recordset, loaded back, filtered,
// sorted and searched.
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "platform/data/DataErrors.h"
#include "platform/data/DataSet.h"

namespace {

struct Column {
  const char* table;
  const char* column;
  int ordinal;
  const char* type;
  bool nullable;
};

void Print(ado::TDataSet& ds, const std::string& title) {
  std::cout << title << " (" << ds.RecordCount() << " rows)\n";
  for (ds.First(); !ds.Eof(); ds.Next()) {
    std::cout << "  " << ds.FieldByName("TABLE_NAME").AsString() << "."
              << ds.FieldByName("COLUMN_NAME").AsString() << " #"
              << ds.FieldByName("ORDINAL_POSITION").AsInteger() << " "
              << ds.FieldByName("COLUMN_TYPE_NAME").AsString()
              << (ds.FieldByName("IS_NULLABLE").AsBoolean() ? " null" : " not null") << "\n";
  }
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("schemion-demo-" + std::to_string(::getpid()));
  try {
    fs::create_directories(dir);
    const std::string file = (dir / "vsiColumns.xml").string();

    ado::TDataSet columns;
    columns.FieldDefs() = {{"TABLE_NAME", ado::FieldType::ftString, 100},
                           {"COLUMN_NAME", ado::FieldType::ftString, 100},
                           {"ORDINAL_POSITION", ado::FieldType::ftInteger},
                           {"COLUMN_TYPE_NAME", ado::FieldType::ftString, 50},
                           {"IS_NULLABLE", ado::FieldType::ftBoolean},
                           {"COLUMN_DEFAULT", ado::FieldType::ftMemo}};
    columns.CreateDataSet();
    const Column rows[] = {{"Orders", "OrderId", 1, "int", false},
                           {"Orders", "Customer", 2, "nvarchar", true},
                           {"Customers", "Name", 2, "nvarchar", false},
                           {"Customers", "Id", 1, "int", false},
                           {"O'Brien's", "Note", 1, "text", true}};
    for (const Column& c : rows) {
      columns.Append();
      columns.FieldByName("TABLE_NAME").SetAsString(c.table);
      columns.FieldByName("COLUMN_NAME").SetAsString(c.column);
      columns.FieldByName("ORDINAL_POSITION").SetAsInteger(c.ordinal);
      columns.FieldByName("COLUMN_TYPE_NAME").SetAsString(c.type);
      columns.FieldByName("IS_NULLABLE").SetAsBoolean(c.nullable);
      columns.Post();
    }
    columns.SaveToFile(file);
    std::cout << "Saved " << columns.RecordCount() << " rows as " << file.substr(dir.string().size() + 1)
              << " (" << fs::file_size(file) << " bytes)\n";

    ado::TDataSet loaded;
    loaded.LoadFromFile(file);
    loaded.SetSort("TABLE_NAME; ORDINAL_POSITION");
    Print(loaded, "Loaded back, sorted by table and position");

    loaded.SetFilter("table_name = 'O''Brien''s' or column_type_name = 'INT'");
    loaded.SetFiltered(true);
    Print(loaded, "Filtered");
    loaded.SetFiltered(false);

    const bool found = loaded.Locate("table_name;column_name",
                                     ado::Variant(ado::VariantArray{"customers", "NAME"}),
                                     ado::loCaseInsensitive);
    std::cout << "Locate customers.NAME ignoring case: "
              << (found ? "row " + std::to_string(loaded.RecNo()) + ", type " +
                              loaded.FieldByName("COLUMN_TYPE_NAME").AsString()
                        : std::string("not found"))
              << "\n";
    try {
      loaded.FieldByName("COLUMN_SIZE");
    } catch (const ado::EDatabaseError& e) {
      std::cout << "FieldByName: " << e.what() << "\n";
    }
  } catch (const ado::EDataError& e) {
    std::cout << "Error: " << e.what() << "\n";
    fs::remove_all(dir);
    return 1;
  }
  fs::remove_all(dir);
  return 0;
}
