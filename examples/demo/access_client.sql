-- The demonstration client database on Access: an older release of the same schema. Run on a new
-- database file (schemion-sql -n).
CREATE TABLE Customers (
  CustomerId COUNTER NOT NULL,
  Name TEXT(50) NOT NULL,
  CONSTRAINT PK_Customers PRIMARY KEY (CustomerId)
)
GO
INSERT INTO Customers (Name) VALUES ('Rossi')
GO
