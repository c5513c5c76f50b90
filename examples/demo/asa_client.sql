-- The demonstration client database on Adaptive Server Anywhere: an older release of the same
-- schema. Run on the database itself (dbn=SchemionDemoClient).
CREATE TABLE Customers (
  CustomerId integer NOT NULL DEFAULT AUTOINCREMENT,
  Name varchar(50) NOT NULL,
  CONSTRAINT PK_Customers PRIMARY KEY (CustomerId)
)
GO
INSERT INTO Customers (Name) VALUES ('Rossi')
GO
