// Date text converted to datetime as the server converts it: the session's DATEFORMAT (or the
// login's language), the formats it reads, and its errors for text that is no date.
#include "SqlServerFixture.h"

class DatesTest : public SqlServerTest {
 protected:
  std::string Text(const std::string& sql) { return Value(sql).AsString(); }
};

TEST_F(DatesTest, DateOrderFollowsSetDateFormatAndTheLoginLanguage) {
  auto& db = Db();
  db.Execute("create table D (id int, d datetime)");
  // us_english reads a/b/c as month, day, year.
  db.Execute("insert into D values (1, '02/03/2020')");
  EXPECT_EQ(Text("select convert(varchar(30), d, 121) from D where id = 1"), "2020-02-03 00:00:00.000");
  db.Execute("set dateformat dmy");
  db.Execute("insert into D values (2, '02/03/2020 13:45:10')");
  EXPECT_EQ(Value("select datepart(month, d) from D where id = 2").AsInt(), 3);
  // The order applies to comparisons, UPDATE values and CAST alike.
  EXPECT_EQ(Value("select id from D where d = '02/03/2020 13:45:10'").AsInt(), 2);
  EXPECT_EQ(Value("select count(*) from D where d between '01/02/2020' and '03/02/2020'").AsInt(), 1);
  db.Execute("update D set d = '31.12.1999' where id = 1");
  EXPECT_EQ(Value("select id from D where d = cast('31/12/1999' as datetime)").AsInt(), 1);
  db.Execute("set dateformat ymd");
  EXPECT_EQ(Value("select datepart(day, cast('99/12/31' as datetime))").AsInt(), 31);
  // Unseparated and ISO forms do not depend on the order.
  db.Execute("set dateformat myd");
  EXPECT_EQ(Value("select id from D where d = '19991231'").AsInt(), 1);
  EXPECT_EQ(Value("select id from D where d = '2020-03-02T13:45:10'").AsInt(), 2);
  EXPECT_EQ(ErrorOf("set dateformat xyz"), 2741);
  db.Execute("set dateformat dmy");
  EXPECT_EQ(Value("select isdate('31/12/2020') + isdate('12/31/2020') * 10 + isdate('x') * 100").AsInt(), 1);
  db.Execute("set dateformat myd");

  // A new session starts from its login's language: German reads day first, but a four-digit
  // year written first is followed by the month.
  db.Execute("exec sp_addlogin 'hans', 'pw', 'db', 'Deutsch'");
  auto german = Connect("db", ";User ID=hans;Password=pw");
  EXPECT_EQ(Rows(*german, "select id from D where d = '02.03.2020 13:45:10'").Rows.at(0)[0].AsInt(), 2);
  EXPECT_EQ(Rows(*german, "select datepart(month, cast('2020-02-03' as datetime))").Rows.at(0)[0].AsInt(), 2);
  EXPECT_EQ(Rows(*german, "select datepart(month, cast('02/03/2020' as datetime))").Rows.at(0)[0].AsInt(), 3);
  german->Execute("set language us_english");
  EXPECT_EQ(Rows(*german, "select datepart(month, cast('02/03/2020' as datetime))").Rows.at(0)[0].AsInt(), 2);
  EXPECT_EQ(ErrorOf("exec sp_addlogin 'x', 'pw', 'db', 'Klingon'"), 15033);
  // The session's own order is untouched by the other session.
  EXPECT_EQ(Value("select datepart(month, cast('03/2020/02' as datetime))").AsInt(), 3);
}

TEST_F(DatesTest, FormatsTheServerReadsAndItsErrors) {
  auto& db = Db();
  db.Execute("create table E (id int, d datetime, s varchar(20))");
  db.Execute("insert into E values (1, '20200229', '20200229')");
  db.Execute("insert into E values (2, '2020-02-29 23:59:58', '2020-02-29')");
  db.Execute("insert into E values (3, '10:30 PM', 'x')");
  EXPECT_EQ(Text("select convert(varchar(30), d, 121) from E where id = 1"), "2020-02-29 00:00:00.000");
  EXPECT_EQ(Text("select convert(varchar(30), d, 121) from E where id = 3"), "1900-01-01 22:30:00.000");
  // A varchar column compares as text: the literal stays a string.
  EXPECT_EQ(Value("select id from E where s = '2020-02-29'").AsInt(), 2);
  EXPECT_EQ(Value("select count(*) from E where d >= '2/29/2020'").AsInt(), 2);
  // CONVERT's style fixes the order whatever DATEFORMAT says.
  EXPECT_EQ(Value("select datepart(day, convert(datetime, '03/04/2020', 103))").AsInt(), 3);
  EXPECT_EQ(Value("select datepart(day, convert(datetime, '03/04/2020', 101))").AsInt(), 4);

  std::string before = Text("select count(*) from E");
  std::string message;
  EXPECT_EQ(ErrorOf("insert into E values (4, 'not a date', '')", &message), 241);
  EXPECT_NE(message.find("Syntax error converting datetime from character string."), std::string::npos);
  EXPECT_EQ(ErrorOf("insert into E values (4, '2019-02-29', '')", &message), 242);
  EXPECT_NE(message.find("The conversion of a char data type to a datetime data type resulted in an "
                         "out-of-range datetime value."),
            std::string::npos);
  EXPECT_EQ(ErrorOf("insert into E values (4, '13/01/2020', '')"), 242);
  EXPECT_EQ(ErrorOf("update E set d = '2020-01-01 25:00' where id = 1"), 241);
  EXPECT_EQ(ErrorOf("select * from E where d = '2020-04-31'"), 242);
  EXPECT_EQ(ErrorOf("select cast('1752-12-31' as datetime)"), 242);
  EXPECT_EQ(ErrorOf("select convert(datetime, '12/31/2020 10:00:00 XM')"), 241);
  EXPECT_EQ(Text("select count(*) from E"), before);
  EXPECT_EQ(Text("select convert(varchar(30), d, 121) from E where id = 1"), "2020-02-29 00:00:00.000");
}

// A date-shaped literal meets a value as a date only where that value is of a date type; text
// holding the stored datetime form compares as text, in comparisons, IN lists, CASE and DELETE.
TEST_F(DatesTest, TextThatLooksLikeADateComparesAsText) {
  auto& db = Db();
  db.Execute("create table S (id int, stamp varchar(23), d datetime)");
  db.Execute("insert into S values (1, convert(varchar(23), cast('20240115' as datetime), 121), '20240115')");
  db.Execute("insert into S values (2, 'Jan 15 2024', '20240115')");
  struct Case {
    const char* statement;
    int64_t expected;
  };
  const Case cases[] = {
      {"select count(*) from S where stamp = '20240115'", 0},
      {"select count(*) from S where stamp in ('01/15/2024')", 0},
      {"select count(*) from S where stamp between '01/01/2024' and '12/31/2024'", 0},
      {"select sum(case stamp when 'January 15, 2024' then 1 else 0 end) from S", 0},
      {"select count(*) from S where stamp = 'Jan 15 2024'", 1},
      {"select count(*) from S where stamp = '2024-01-15 00:00:00.000'", 1},
      // Against a date type the literal is a date: a column, a conversion, a function, a variable.
      {"select count(*) from S where d = 'January 15, 2024'", 2},
      {"select count(*) from S where d in ('01/15/2024')", 2},
      {"select count(*) from S where convert(datetime, stamp, 121) = '20240115' and id = 1", 1},
      {"select count(*) from S where isnull(d, getdate()) = '2024-01-15'", 2},
      {"declare @d datetime set @d = '20240115' select count(*) from S where @d = 'Jan 15 2024'", 2},
      {"declare @t varchar(23) set @t = '2024-01-15 00:00:00.000' "
       "select count(*) from S where @t = '20240115'",
       0},
  };
  for (const auto& c : cases) EXPECT_EQ(Value(c.statement).AsInt(), c.expected) << c.statement;
  db.Execute("delete from S where stamp = 'Jan 15 2024'");
  EXPECT_EQ(Count("S"), 1);
}
