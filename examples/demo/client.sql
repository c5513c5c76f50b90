-- The demonstration client database: an older release of the same schema.
CREATE DATABASE SchemionDemoClient
GO
USE SchemionDemoClient
GO
CREATE TABLE Customers (
  CustomerId int IDENTITY(1, 1) NOT NULL,
  Name varchar(50) NOT NULL,
  CONSTRAINT PK_Customers PRIMARY KEY (CustomerId)
)
GO
INSERT INTO Customers (Name) VALUES ('Rossi')
GO
