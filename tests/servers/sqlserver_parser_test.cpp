// The T-SQL reader: quoting, literals, comments, batches and the statement forms it accepts.
#include "servers/sqlserver/Ast.h"
#include "servers/sqlserver/Tokenizer.h"
#include "SqlServerFixture.h"

using servers::sqlserver::ParseBatch;
using servers::sqlserver::SplitNameParts;
using servers::sqlserver::Statement;
using servers::sqlserver::Tokenize;
using servers::sqlserver::TokenKind;

TEST(SqlServerTokenizer, QuotesLiteralsAndComments) {
  auto t = Tokenize("SELECT [a]]b], \"c d\", N'it''s', 0x1F, 1.5e3, @@LANGUAGE -- note\n/* x\ny */ x");
  ASSERT_EQ(t.size(), 14u);
  EXPECT_EQ(t[1].kind, TokenKind::QuotedName);
  EXPECT_EQ(t[1].text, "a]b");
  EXPECT_EQ(t[3].text, "c d");
  EXPECT_EQ(t[5].kind, TokenKind::String);
  EXPECT_EQ(t[5].text, "it's");
  EXPECT_EQ(t[7].text, "0x1F");
  EXPECT_EQ(t[9].text, "1.5e3");
  EXPECT_EQ(t[11].kind, TokenKind::Variable);
  EXPECT_EQ(t[12].text, "x");
  EXPECT_EQ(t[12].line, 3);
  EXPECT_EQ(t.back().kind, TokenKind::End);
  // A quoted name across lines moves the line count on, as a string does.
  auto multi = Tokenize("SELECT [a\nb], 'c\nd', x");
  ASSERT_EQ(multi.size(), 7u);
  EXPECT_EQ(multi[1].text, "a\nb");
  EXPECT_EQ(multi[3].line, 2);
  EXPECT_EQ(multi[5].line, 3);
  try {
    Tokenize("SELECT 'open");
    FAIL();
  } catch (const ado::EOleException& e) {
    EXPECT_EQ(e.NativeError(), 105);
    EXPECT_STREQ(e.what(), "Line 1: Unclosed quotation mark before the character string 'open'.");
  }
}

TEST(SqlServerTokenizer, WrittenNamesSplitAtDotsOutsideBrackets) {
  using Parts = std::vector<std::string>;
  EXPECT_EQ(SplitNameParts("[dbo].[T]"), (Parts{"dbo", "T"}));
  EXPECT_EQ(SplitNameParts("\"fred\".T"), (Parts{"fred", "T"}));
  EXPECT_EQ(SplitNameParts("[a.b].c"), (Parts{"a.b", "c"}));
  EXPECT_EQ(SplitNameParts("db..T"), (Parts{"db", "", "T"}));
  EXPECT_EQ(SplitNameParts("T."), (Parts{"T", ""}));
  EXPECT_EQ(SplitNameParts(""), (Parts{""}));
}

TEST(SqlServerParser, BatchesSplitIntoStatements) {
  auto b = ParseBatch("USE master BACKUP DATABASE [d] TO DISK = 'x' USE [d] ;;\nGO\nSELECT 1 SELECT 2");
  ASSERT_EQ(b.size(), 5u);
  EXPECT_EQ(b[0]->kind, Statement::kUse);
  EXPECT_EQ(b[1]->kind, Statement::kBackup);
  EXPECT_EQ(b[2]->kind, Statement::kUse);
  EXPECT_EQ(b[4]->line, 3);
  // A procedure's body runs to the end of the batch and is kept as written.
  std::string text = "CREATE PROC p AS\nSELECT 1\nSELECT 2\n";
  auto p = ParseBatch(text);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(static_cast<const servers::sqlserver::CreateModuleStmt&>(*p[0]).text, text);
  auto i = ParseBatch("IF NOT EXISTS (SELECT 1) EXEC ('x') ELSE EXEC ('y')");
  ASSERT_EQ(i.size(), 1u);
  EXPECT_EQ(i[0]->kind, Statement::kIf);
  auto d = ParseBatch("DROP INDEX [dbo].[T].[IX], T2.IX2");
  const auto& drop = static_cast<const servers::sqlserver::DropStmt&>(*d[0]);
  ASSERT_EQ(drop.indexes.size(), 2u);
  EXPECT_EQ(drop.indexes[0].first.name, "T");
  EXPECT_EQ(drop.indexes[0].first.owner, "dbo");
  EXPECT_EQ(drop.indexes[0].second, "IX");
  EXPECT_EQ(drop.indexes[1].second, "IX2");
}

TEST(SqlServerParser, TableDefinitionsAsTheEngineWritesThem) {
  auto b = ParseBatch(
      "CREATE TABLE [dbo].[T] ([id] int IDENTITY (5, -1) NOT NULL , [n] numeric (12, 2) NULL , "
      "[c] nvarchar (10) COLLATE Latin1_General_CS_AS NOT NULL CONSTRAINT [DF_T_c] DEFAULT (N'x'), "
      "CONSTRAINT [PK_T] PRIMARY KEY  CLUSTERED  ([id]) ON [FG], "
      "CONSTRAINT [FK_T] FOREIGN KEY ([n]) REFERENCES [dbo].[P] ([k]) ON DELETE CASCADE ON UPDATE CASCADE ) "
      "ON [PRIMARY] TEXTIMAGE_ON 'FG_TEXT'");
  const auto& t = static_cast<const servers::sqlserver::CreateTableStmt&>(*b.at(0));
  ASSERT_EQ(t.columns.size(), 3u);
  EXPECT_TRUE(t.columns[0].identity);
  EXPECT_EQ(t.columns[0].seed, 5);
  EXPECT_EQ(t.columns[0].increment, -1);
  EXPECT_EQ(t.columns[1].type.length, 12);
  EXPECT_EQ(t.columns[1].type.scale, 2);
  EXPECT_EQ(t.columns[2].collation, "Latin1_General_CS_AS");
  ASSERT_EQ(t.columns[2].constraints.size(), 1u);
  EXPECT_EQ(t.columns[2].constraints[0].exprText, "(N'x')");
  ASSERT_EQ(t.constraints.size(), 2u);
  EXPECT_TRUE(*t.constraints[0].clustered);
  EXPECT_EQ(t.constraints[0].fileGroup, "FG");
  EXPECT_TRUE(t.constraints[1].deleteCascade);
  EXPECT_TRUE(t.constraints[1].updateCascade);
  EXPECT_EQ(t.fileGroup, "PRIMARY");
  EXPECT_EQ(t.textImageGroup, "FG_TEXT");
  auto a = ParseBatch("ALTER TABLE [T] ALTER COLUMN  [c] nvarchar (10) NULL");
  const auto& alter = static_cast<const servers::sqlserver::AlterTableStmt&>(*a.at(0));
  EXPECT_EQ(alter.columns[0].type.name, "nvarchar");
  EXPECT_TRUE(*alter.columns[0].nullable);
}

// Regression: SET QUOTED_IDENTIFIER OFF was ignored ("abc" stayed a name, error 207) and no
// object kept the setting it was created under.
TEST_F(SqlServerTest, QuotedIdentifierOffReadsStringsAndEachObjectKeepsItsSetting) {
  Db().Execute("CREATE TABLE [T x] (id int NULL)");
  EXPECT_EQ(ErrorOf("SELECT \"abc\""), 207);
  Db().Execute("SET QUOTED_IDENTIFIER OFF");
  EXPECT_EQ(TextOf("SELECT \"abc\""), "abc");
  Db().Execute("CREATE PROCEDURE P_off AS SELECT \"abc\"");
  // The setting takes effect where the batch is read, for the rest of the batch.
  EXPECT_EQ(TextOf("SET QUOTED_IDENTIFIER ON SELECT count(*) FROM \"T x\""), "0");
  Db().Execute("CREATE VIEW \"V on\" AS SELECT id FROM \"T x\"");
  auto rs = Rows("SELECT name, OBJECTPROPERTY(id, 'ExecIsQuotedIdentOn') FROM sysobjects "
                 "WHERE name IN ('P_off', 'T x', 'V on') ORDER BY name");
  ASSERT_EQ(rs.Rows.size(), 3u);
  EXPECT_EQ(rs.Rows[0][1].AsInt(), 0);
  EXPECT_TRUE(rs.Rows[1][1].IsNull()) << "a table has no such setting";
  EXPECT_EQ(rs.Rows[2][1].AsInt(), 1);
}
