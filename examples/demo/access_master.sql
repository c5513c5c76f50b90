-- The demonstration master database on Access: the reference schema that a package carries to
-- clients. Run on a new database file (schemion-sql -n).
CREATE TABLE Customers (
  CustomerId COUNTER NOT NULL,
  Name TEXT(80) NOT NULL,
  City TEXT(40) NULL,
  Notes MEMO NULL,
  CONSTRAINT PK_Customers PRIMARY KEY (CustomerId)
)
GO
CREATE TABLE Orders (
  OrderId COUNTER NOT NULL,
  CustomerId INTEGER NOT NULL,
  OrderDate DATETIME NOT NULL,
  Amount CURRENCY NULL,
  CONSTRAINT PK_Orders PRIMARY KEY (OrderId),
  CONSTRAINT FK_Orders_Customers FOREIGN KEY (CustomerId) REFERENCES Customers (CustomerId)
)
GO
CREATE INDEX IX_Orders_Date ON Orders (OrderDate)
GO
CREATE VIEW CustomerOrders AS
SELECT c.Name, o.OrderDate, o.Amount FROM Customers c INNER JOIN Orders o ON o.CustomerId = c.CustomerId
GO
INSERT INTO Customers (Name, City) VALUES ('Rossi', 'Milano')
GO
INSERT INTO Customers (Name, City) VALUES ('Smith', 'London')
GO
