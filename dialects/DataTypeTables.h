// The data-type tables of the three servers: each maps a server's native column types to the
// generic types (ordinals 0 to 36) that every dialect shares, so that a column read from one
// server can be written for another.
#pragma once

#include <string>

class TDatabaseSpecific;

// Generic type ordinals that decide the size clause of a column definition.
enum TGenericType {
  gtUnknown = 0,
  gtBigint = 1,
  gtBinary = 2,
  gtBit = 3,
  gtChar = 4,
  gtDate = 5,
  gtDatetime = 6,
  gtDecimal = 7,
  gtDouble = 8,
  gtFloat = 9,
  gtImage = 10,
  gtInt = 11,
  gtLongBinary = 12,
  gtLongVarchar = 13,
  gtMoney = 14,
  gtNchar = 15,
  gtNtext = 16,
  gtNumeric = 17,
  gtNvarchar = 18,
  gtReal = 19,
  gtSmalldatetime = 20,
  gtSmallint = 21,
  gtSmallmoney = 22,
  gtSqlVariant = 23,
  gtText = 25,
  gtTime = 26,
  gtTimestamp = 27,
  gtTinyint = 28,
  gtUniqueidentifier = 29,
  gtUnsignedBigint = 30,
  gtUnsignedInt = 31,
  gtUnsignedSmallint = 32,
  gtVarbinary = 33,
  gtVarchar = 34,
  gtUniqueidentifierstr = 35,
  gtXml = 36
};

// The generic name of an ordinal ("nvarchar"); empty for 24 and out-of-range values.
std::string GenericTypeName(int ordinal);

// Each clears the dialect's table, then fills it with the server's rows in their fixed order.
void FillSqlServerDataTypes(TDatabaseSpecific& dialect);
void FillAsaDataTypes(TDatabaseSpecific& dialect);
void FillAccessDataTypes(TDatabaseSpecific& dialect);
