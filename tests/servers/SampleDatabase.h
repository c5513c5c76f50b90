// A database built by T-SQL the way the system's scripts build one: every type of the server's
// type table, identity, defaults, keys, foreign keys, indexes on file groups, a view, a trigger,
// a long and an encrypted procedure, a user and descriptions.
#pragma once

#include <string>

#include "platform/data/Provider.h"

namespace sample_db {

inline const char* kScript = R"SQL(
ALTER DATABASE %DB% ADD FILEGROUP [FG_DATA]
ALTER DATABASE %DB% ADD FILEGROUP [FG_TEXT]
ALTER DATABASE %DB% ADD FILE (NAME = N'%DB%_data', FILENAME = N'%DB%_data.ndf') TO FILEGROUP [FG_DATA]
ALTER DATABASE %DB% ADD FILE (NAME = N'%DB%_text', FILENAME = N'%DB%_text.ndf') TO FILEGROUP [FG_TEXT]
EXEC sp_addLogin 'mario', 'pwd'; EXEC sp_grantDbAccess 'mario', 'mario'
CREATE TABLE [Customers] (
  [CustId] int IDENTITY (10, 5) NOT NULL,
  [Name] nvarchar (50) COLLATE Latin1_General_CI_AS NOT NULL,
  [Code] char (8) NULL,
  [Notes] ntext NULL,
  [Created] datetime NULL CONSTRAINT [DF_Customers_Created] DEFAULT (getdate()),
  [Balance] money NULL DEFAULT (0),
  [Rate] decimal (10, 3) NULL,
  CONSTRAINT [PK_Customers] PRIMARY KEY CLUSTERED ([CustId]) ON [FG_DATA],
  CONSTRAINT [UQ_Customers_Code] UNIQUE NONCLUSTERED ([Code]),
  CONSTRAINT [CK_Customers_Rate] CHECK ([Rate] >= 0)
) ON [FG_DATA] TEXTIMAGE_ON [FG_TEXT]
CREATE TABLE [Orders] (
  [OrderId] int NOT NULL, [CustId] int NOT NULL, [Amount] float NULL, [Flag] bit NOT NULL DEFAULT (1),
  [B] bigint NULL, [S] smallint NULL, [TI] tinyint NULL, [SD] smalldatetime NULL, [R] real NULL,
  [SM] smallmoney NULL, [N] numeric (12, 2) NULL, [VC] varchar (30) NULL, [NC] nchar (4) NULL,
  [TX] text NULL, [IM] image NULL, [BI] binary (8) NULL, [VB] varbinary (16) NULL,
  [G] uniqueidentifier NULL, [SV] sql_variant NULL, [TS] timestamp NULL,
  CONSTRAINT [PK_Orders] PRIMARY KEY NONCLUSTERED ([OrderId], [CustId]),
  CONSTRAINT [FK_Orders_Customers] FOREIGN KEY ([CustId]) REFERENCES [Customers] ([CustId]) ON DELETE CASCADE
)
CREATE INDEX [IX_Orders_Amount] ON [Orders] ([Amount]) ON [FG_DATA]
CREATE UNIQUE INDEX [IX_Orders_B] ON [dbo].[Orders] ([B], [S])
EXEC sp_addextendedproperty 'MS_Description', 'The customers', 'user', dbo, 'table', 'Customers'
EXEC sp_addextendedproperty 'MS_Description', 'Customer name', 'user', dbo, 'table', 'Customers', 'column', 'Name'
INSERT INTO Customers (Name, Code, Rate) VALUES ('O''Brien', 'C1', 1.5)
INSERT INTO Customers (Name, Code) VALUES ('Rossi', 'C2')
INSERT INTO Orders (OrderId, CustId, Amount, B, S) VALUES (1, 10, 2.5, 1, 1)
INSERT INTO Orders (OrderId, CustId, Amount, B, S) VALUES (2, 15, 7, 2, 1)
)SQL";

inline const char* kView =
    "CREATE VIEW [vCustomers] AS SELECT c.CustId, c.Name + ' (' + c.Code + ')' AS Label FROM Customers c";
inline const char* kTrigger =
    "CREATE TRIGGER [trOrders] ON [Orders] FOR INSERT AS UPDATE Customers SET Balance = Balance + 1";
inline const char* kEncrypted = "CREATE PROCEDURE [pSecret] WITH ENCRYPTION AS SELECT 1";

// A procedure of about 12,000 characters: the catalogue keeps it in several rows.
inline std::string LongProcedure() {
  std::string body = "CREATE PROCEDURE [pLong] AS\n";
  for (int i = 0; i < 200; ++i)
    body += "SELECT " + std::to_string(i) + " AS n -- " + std::string(50, 'x') + "\n";
  return body;
}

inline void Build(ado::IProviderSession& s) {
  std::string script = kScript;
  for (size_t p; (p = script.find("%DB%")) != std::string::npos;) script.replace(p, 4, s.CurrentDatabase());
  s.Execute(script);
  s.Execute(kView);
  s.Execute(kTrigger);
  s.Execute(kEncrypted);
  s.Execute(LongProcedure());
}

}  // namespace sample_db
