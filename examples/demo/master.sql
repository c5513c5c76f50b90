-- The demonstration master database: the reference schema that a package carries to clients.
CREATE DATABASE SchemionDemoMaster
GO
USE SchemionDemoMaster
GO
CREATE TABLE Customers (
  CustomerId int IDENTITY(1, 1) NOT NULL,
  Name varchar(80) NOT NULL,
  City varchar(40) NULL,
  Notes text NULL,
  CONSTRAINT PK_Customers PRIMARY KEY CLUSTERED (CustomerId)
)
GO
CREATE TABLE Orders (
  OrderId int IDENTITY(1, 1) NOT NULL,
  CustomerId int NOT NULL,
  OrderDate datetime NOT NULL,
  Amount money NULL,
  CONSTRAINT PK_Orders PRIMARY KEY (OrderId),
  CONSTRAINT FK_Orders_Customers FOREIGN KEY (CustomerId) REFERENCES Customers (CustomerId)
)
GO
ALTER TABLE Orders ADD CONSTRAINT DF_Orders_OrderDate DEFAULT (getdate()) FOR OrderDate
GO
CREATE INDEX IX_Orders_Date ON Orders (OrderDate)
GO
CREATE VIEW CustomerOrders AS
SELECT c.Name, o.OrderDate, o.Amount FROM Customers c JOIN Orders o ON o.CustomerId = c.CustomerId
GO
INSERT INTO Customers (Name, City) VALUES ('Rossi', 'Milano')
INSERT INTO Customers (Name, City) VALUES ('Smith', 'London')
GO
