-- The demonstration master database on Adaptive Server Anywhere: the reference schema that a
-- package carries to clients. Run on the database itself (dbn=SchemionDemoMaster).
CREATE TABLE Customers (
  CustomerId integer NOT NULL DEFAULT AUTOINCREMENT,
  Name varchar(80) NOT NULL,
  City varchar(40) NULL,
  Notes long varchar NULL,
  CONSTRAINT PK_Customers PRIMARY KEY (CustomerId)
)
GO
CREATE TABLE Orders (
  OrderId integer NOT NULL DEFAULT AUTOINCREMENT,
  CustomerId integer NOT NULL,
  OrderDate timestamp NOT NULL DEFAULT current timestamp,
  Amount numeric(19, 4) NULL,
  CONSTRAINT PK_Orders PRIMARY KEY (OrderId),
  CONSTRAINT FK_Orders_Customers FOREIGN KEY (CustomerId) REFERENCES Customers (CustomerId)
)
GO
CREATE INDEX IX_Orders_Date ON Orders (OrderDate)
GO
CREATE VIEW CustomerOrders AS
SELECT c.Name, o.OrderDate, o.Amount FROM Customers c JOIN Orders o ON o.CustomerId = c.CustomerId
GO
INSERT INTO Customers (Name, City) VALUES ('Rossi', 'Milano')
GO
INSERT INTO Customers (Name, City) VALUES ('Smith', 'London')
GO
