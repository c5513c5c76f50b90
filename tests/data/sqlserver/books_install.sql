/* ----------------------------------------------------------------------------
   books_install.sql : installs "books", the sample database of a small group of
   publishers: user data types, tables with CHECK constraints and foreign keys,
   their rows, a view, procedures, a function and a trigger.
   Written for the Schemion tests in the manner of the sample-database
   installation scripts that came with database servers around the year 2000.
---------------------------------------------------------------------------- */

set nocount on
set dateformat mdy
GO

declare @started varchar(40)
select  @started = convert(varchar, getdate(), 113)
raiserror('Installing the books database, started %s.', 1, 1, @started) with nowait
GO

if exists (select * from master..sysdatabases where name = 'books')
   drop database books
GO

/* The script was written for version 8 servers; it says so when it meets one. */
if convert(varchar(20), serverproperty('ProductVersion')) like '8.[0-9]%'
   raiserror('The server is a version 8 server.', 1, 1) with nowait
GO

create database books
GO

checkpoint
GO

use books
GO

if db_name() <> 'books'
   raiserror('The books database could not be opened; the installation stops here.', 22, 127) with log
GO

execute sp_addtype id, 'varchar(11)', 'NOT NULL'
execute sp_addtype tid, 'varchar(6)', 'NOT NULL'
execute sp_addtype empid, 'char(9)', 'NOT NULL'
GO

raiserror('Creating the tables ....', 1, 1) with nowait
GO

create table writers
(
   wr_id          id
      check (wr_id like '[0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9][0-9][0-9]')
      constraint PK_writers primary key clustered,
   wr_lname       varchar(40)       not null,
   wr_fname       varchar(20)       not null,
   phone          char(12)          not null
      default ('UNKNOWN'),
   address        varchar(40)           null,
   city           varchar(20)           null,
   state          char(2)               null,
   zip            char(5)               null
      check (zip like '[0-9][0-9][0-9][0-9][0-9]'),
   contract       bit               not null
)
GO

create table houses
(
   house_id       char(4)           not null
      constraint PK_houses primary key clustered
      check (house_id in ('0101', '0202', '0303', '0404', '0505')
         or house_id like '99[0-9][0-9]'),
   house_name     varchar(40)           null,
   city           varchar(20)           null,
   state          char(2)               null,
   country        varchar(30)           null
      default ('USA')
)
GO

create table books
(
   book_id        tid
      constraint PK_books primary key clustered,
   title          varchar(80)       not null,
   kind           char(12)          not null
      default ('UNDECIDED'),
   house_id       char(4)               null
      references houses(house_id),
   price          money                 null,
   advance        money                 null,
   royalty        int                   null,
   sold_this_year int                   null,
   notes          varchar(200)          null,
   pubdate        datetime          not null
      default (getdate())
)
GO

create table bookwriter
(
   wr_id          id
      references writers(wr_id),
   book_id        tid
      references books(book_id),
   wr_ord         tinyint               null,
   share_pct      int                   null,
   constraint PK_bookwriter primary key clustered (wr_id, book_id)
)
GO

create table shops
(
   shop_id        char(4)           not null
      constraint PK_shops primary key clustered,
   shop_name      varchar(40)           null,
   shop_address   varchar(40)           null,
   city           varchar(20)           null,
   state          char(2)               null,
   zip            char(5)               null
)
GO

create table orders
(
   shop_id        char(4)           not null
      references shops(shop_id),
   order_no       varchar(20)       not null,
   order_date     datetime          not null,
   qty            smallint          not null,
   terms          varchar(12)       not null,
   book_id        tid
      references books(book_id),
   constraint PK_orders primary key clustered (shop_id, order_no, book_id)
)
GO

create table royscale
(
   book_id        tid
      references books(book_id),
   low_sales      int                   null,
   high_sales     int                   null,
   royalty        int                   null
)
GO

create table rebates
(
   rebate_kind    varchar(40)       not null,
   shop_id        char(4)               null
      references shops(shop_id),
   low_qty        smallint              null,
   high_qty       smallint              null,
   rebate         dec(4,2)          not null
)
GO

create table roles
(
   role_id        smallint          identity(1,1)
      primary key clustered,
   role_desc      varchar(50)       not null
      default 'Role to be named',
   lowest_lvl     tinyint           not null
      check (lowest_lvl >= 10),
   highest_lvl    tinyint           not null
      check (highest_lvl <= 250)
)
GO

create table house_info
(
   house_id       char(4)           not null
      references houses(house_id)
      constraint PK_house_info primary key clustered,
   logo           image                 null,
   profile        text                  null
)
GO

create table staff
(
   staff_id       empid
      constraint PK_staff primary key nonclustered
      constraint CK_staff_pattern check (staff_id like
      '[A-Z][A-Z][A-Z][1-9][0-9][0-9][0-9][0-9][FM]' or
      staff_id like '[A-Z]-[A-Z][1-9][0-9][0-9][0-9][0-9][FM]'),
   fname          varchar(20)       not null,
   initial        char(1)               null,
   lname          varchar(30)       not null,
   role_id        smallint          not null
      default 1
      references roles(role_id),
   role_lvl       tinyint
      default 10,
   house_id       char(4)           not null
      default ('9950')
      references houses(house_id),
   hire_date      datetime          not null
      default (getdate())
)
GO

raiserror('Creating the trigger ....', 1, 1) with nowait
GO

create trigger staff_level_check
on staff
for insert, update
as
/* Each staff member's level stays inside the band of the role held. */
declare @role smallint, @level tinyint, @low tinyint, @high tinyint
select @role = i.role_id, @level = i.role_lvl, @low = r.lowest_lvl, @high = r.highest_lvl
from inserted i inner join roles r on r.role_id = i.role_id
if @level < @low or @level > @high
begin
   raiserror ('Level %d lies outside the band %d to %d of role %d.', 16, 1, @level, @low, @high, @role)
   rollback transaction
end
GO

raiserror('Loading the rows in any order, with the keys unchecked ....', 1, 1) with nowait
GO

alter table bookwriter nocheck constraint all
alter table books nocheck constraint all
GO

raiserror('Loading the writers of each book ....', 1, 1) with nowait
GO

insert bookwriter values('101-20-3001', 'GA1001', 1, 70)
insert bookwriter values('103-20-3003', 'GA1001', 2, 30)
insert bookwriter values('101-20-3001', 'GA1002', 1, 100)
insert bookwriter values('102-20-3002', 'TR2001', 1, 60)
insert bookwriter values('106-20-3006', 'TR2001', 2, 40)
insert bookwriter values('104-20-3004', 'CK3001', 1, 50)
insert bookwriter values('105-20-3005', 'CK3001', 2, 50)
insert bookwriter values('107-20-3007', 'CK3002', 1, 100)
GO

raiserror('Loading the writers ....', 1, 1) with nowait
GO

insert writers values('101-20-3001', 'Halvorsen', 'Ingrid', '503 555-0101',
   '12 Alder Ct.', 'Eugene', 'OR', '97401', 1)
insert writers values('102-20-3002', 'Okafor', 'Chidi', '206 555-0102',
   '88 Pine St.', 'Seattle', 'WA', '98101', 1)
insert writers values('103-20-3003', 'Marchetti', 'Lucia', '650 555-0103',
   '4 Vallejo Way', 'San Mateo', 'CA', '94401', 1)
insert writers values('104-20-3004', 'Brandt', 'Tobias', '312 555-0104',
   '700 Lake Shore Dr.', 'Chicago', 'IL', '60611', 1)
insert writers values('105-20-3005', 'Nakamura', 'Emi', '808 555-0105',
   '21 Kapiolani Blvd.', 'Honolulu', 'HI', '96814', 1)
insert writers values('106-20-3006', 'Delgado', 'Rafael', '505 555-0106',
   '9 Camino Real', 'Santa Fe', 'NM', '87501', 1)
insert writers values('107-20-3007', 'Quinn', 'Maeve', '617 555-0107',
   '33 Beacon St.', 'Boston', 'MA', '02108', 0)
insert writers (wr_id, wr_lname, wr_fname, contract)
   values('108-20-3008', 'Lindqvist', 'Sven', 0)
GO

raiserror('Loading the publishing houses ....', 1, 1) with nowait
GO

insert houses values('0101', 'Lantern Press', 'Portland', 'OR', 'USA')
insert houses values('0202', 'Harbor & Finch', 'Baltimore', 'MD', 'USA')
insert houses values('0303', 'Quillstone Publishing', 'Denver', 'CO', 'USA')
insert houses values('9950', 'Copperleaf Books', 'Austin', 'TX', 'USA')
insert houses (house_id, house_name, city, country)
   values('9977', 'Edition Rautenberg', 'Hamburg', 'Germany')
GO

raiserror('Loading the house profiles and logos ....', 1, 1) with nowait
GO

insert house_info values('0101', 0x47494638396128001E00B30000030915143E762573D736A83847DD995812FA69475B7A7CBC8BB11D9CE67EAD1BDFBE5040CF85A1E0BA02F1EF630224C42C0000000028001E00000453C37D788EB44DB7482F6D463D19E570244CBBA0E358FC7874FA8CB1955CAFB5321253FE93D1232C45ED4CE9C9990D7DFFDC013051552C63A0B0C76DEEE4CC36D032409691DD436B26AAD87CD6167511A65A4A4E861F51533C011A1614C654FB445B1A38219203EB049DE8F8FA4A73A42FFC6DF3186DC4C162255DA39DB99F7BA8C4BBDDDBA7BD25F7005454CEEB61AFB2FB42169FF7DB252854680C2276062F12A7FA7C57D3C8901709F589EAB296A9498FA1B0B574F0F6A7C6144A3AB6DF8D9A3AB00E2CD07CA57BF2A18EE5586B0B0AF062B8F09E59ACF6B338547F2F84105AB7B38AF35432DB3BF1325C5993364C0D565E26E82B71C02E53AB23869A4C2E6854DDE9431940AA71407FEADB1C51E46CF96BF337D48DA967DE48AEEAAF8F5FDD4A0522B6D5008B33156030003B,
   'Lantern Press publishes field guides and travel writing from its offices in Portland, Oregon.')
insert house_info values('0202', 0x47494638396130001800B300000B214D1C56AE2D8B0F3EC0704FF5D1602A32715F938294F493C955A4FEB6B53317C66878D79DD9E8D23AF9079B0A3CFC2C0000000030001800000485D86BAC9896F7A619122DDF400BF515AE80E1A715EEB13BA746A21240B07B265202550994FF2D7C6A502BD21342AF039445218F68207518E4F581BE6CF9FE3A58EF60B9A469567E59BE1F36BFCA931A4068ECC71AB059DDCCF141593E6D57B3AED762B75F8DCA240096E106DD5AF7D3C7231C48C457B3017772BBDB4EC6DD0A6DF235F95E24E1E4750E4A3704A935A644AC8809FECBDDFDFCB0C83B33BAE8B6AD78B07738E4F339D15F31C3CE70A309CD3C08025FC52E4875E33F718602D12F86A1AB2A878658982BC16EA2D1689B777B0C742C81FDFE5AF742F876DF57EEEE0FA4FF09E1C2697B9C6DD9CBA54775656552A57EF92BA5AC9D07CC41D66F996B61BB820CDE507D5A3C994B36E4C6874EA54772F162077BB57D6991CB0203291D003B,
   'Harbor & Finch has printed cookery and local history in Baltimore since the harbor was rebuilt.')
insert house_info (house_id, profile) values('0303',
   'Quillstone Publishing, Denver, Colorado: poetry, essays and the occasional mountain atlas.')

/* The third logo comes afterwards: the whole image as one literal, then a check that every
   byte arrived. */
update house_info set logo = 0x47494638396120002000B30000050F231644842779E538AE4649E3A75A18086B4D697C82CA8DB72B9EEC8CAF21EDC0564ED18BAFE2C010F3F571042AD22C00000000200020000004DF097885D16CB8733C681DACFD15E95946D944626F3DEAA9808D92097F3122117ACE9480531CA6804E8644A35C83B69E25B789C8D7C83F50B101B6414EA95837B22108DF16C0C730736F2A6BD0037CD34C5DB22CEB4413F620FDA4661EAF5529DF7AECD8F151B539039BE63B338ED4B01546D8C883A7FF5127F875B1C93CAF9F59505AA4BCC606555783924D5C1A56EDD7E713D377EC9B1B1D6B40582647FE50791B687B4F17533AC59F44D823A29A41EABA7B849F087F0A5ACD1F940DC9DCF695542F95833D33A1A7661413601C3766A6372715D4F543D73697289D57B9DF470772C62A2E30404354501C38EC80C61263D530BCEDAB7E3B0A4074ABDA0F9FFD003B
where house_id = '0303'
if (select datalength(logo) from house_info where house_id = '0303') <> 330
   raiserror('The logo of house 0303 did not arrive whole.', 16, 1)
GO

raiserror('Loading the books ....', 1, 1) with nowait
GO

insert books values ('GA1001', 'A Gardener''s Year in Numbers', 'gardening',
   '0101', $19.99, $3000.00, 10, 2210,
   'Planting calendars, soil tables and yields for the home grower, month by month.',
   '03/14/96')
insert books values ('GA1002', 'Seeds, Soil and Spreadsheets', 'gardening',
   '0101', $12.75, $2500.00, 12, 1480,
   'Keeping the records of a kitchen garden on a personal computer.',
   '07/02/97')
insert books values ('TR2001', 'Slow Trains Across the Andes', 'travel',
   '0202', $24.00, $6000.00, 10, 3905,
   'Six weeks on the mountain railways of Peru and Bolivia, with timetables that were never kept.',
   '11/20/95')
insert books values ('CK3001', 'Bread Without Hurry', 'cooking',
   '0303', $15.99, $4000.00, 10, 5120,
   'Long fermentation for busy households: forty loaves and the schedules that fit them.',
   '02/09/98')
insert books values ('CK3002', 'One Pot, Four Seasons', 'cooking',
   '0303', $9.95, $1500.00, 14, 760,
   'A stew for every week of the year, with notes on what the markets sell.',
   '09/30/99')
insert books (book_id, title, house_id)
   values ('UN5001', 'Untitled Collection of Harbor Poems', '0202')
GO

raiserror('Loading the shops ....', 1, 1) with nowait
GO

insert shops values('5001', 'Corner Pages', '14 Main St.', 'Bend', 'OR', '97701')
insert shops values('5002', 'The Reading Room', '230 Market St.', 'Frederick', 'MD', '21701')
insert shops values('5003', 'Paper Moon Books & Tea', '7 Larimer Sq.', 'Boulder', 'CO', '80302')
insert shops values('5004', 'Chapter & Verse', '1200 Congress Ave.', 'Austin', 'TX', '78701')
GO

raiserror('Loading the orders ....', 1, 1) with nowait
GO

insert orders values('5001', 'CP-9601', '04/02/96', 25, 'Net 30', 'GA1001')
insert orders values('5001', 'CP-9714', '08/15/97', 10, 'Net 30', 'GA1002')
insert orders values('5002', 'RR/118', '12/01/95', 40, 'On invoice', 'TR2001')
insert orders values('5003', 'PM 3320', '03/03/98', 60, 'Net 60', 'CK3001')
insert orders values('5003', 'PM 3321', '03/03/98', 15, 'Net 60', 'GA1001')
insert orders values('5004', 'CV-0007', '10/12/99', 35, 'On invoice', 'CK3002')
insert orders values('5004', 'CV-0008', '10/19/99', 5, 'Net 30', 'TR2001')
GO

raiserror('Loading the royalty scales ....', 1, 1) with nowait
GO

insert royscale values('GA1001', 0, 4000, 10)
insert royscale values('GA1001', 4001, 40000, 12)
insert royscale values('TR2001', 0, 3000, 10)
insert royscale values('TR2001', 3001, 30000, 14)
insert royscale values('CK3001', 0, 10000, 10)
insert royscale values('CK3002', 0, 2000, 14)
GO

raiserror('Loading the rebates ....', 1, 1) with nowait
GO

insert rebates values('Opening Order', NULL, NULL, NULL, 8.5)
insert rebates values('Bulk Order', NULL, 50, 500, 5.25)
insert rebates values('Member Discount', '5003', NULL, NULL, 4.0)
GO

raiserror('Loading the roles ....', 1, 1) with nowait
GO

insert roles values ('Unassigned', 10, 10)
insert roles values ('Managing Director', 180, 250)
insert roles values ('Production Manager', 120, 200)
insert roles values ('Copy Editor', 20, 90)
GO

raiserror('Loading the staff ....', 1, 1) with nowait
GO

insert staff values ('IKH12345F', 'Ingeborg', 'K', 'Hansen', 4, 40, '0202', '05/06/94')
insert staff values ('RTM23456M', 'Ruben', 'T', 'Morales', 2, 200, '0101', '01/15/91')
insert staff values ('AJB34567F', 'Adaeze', 'J', 'Bello', 3, 150, '0303', '08/22/93')
insert staff values ('M-O45678M', 'Marek', ' ', 'Olszewski', 4, 55, '0303', '11/02/97')
insert staff (staff_id, fname, lname) values ('L-P56789F', 'Linh', 'Pham')
GO

alter table bookwriter check constraint all
alter table books check constraint all
GO

raiserror('Creating the indexes ....', 1, 1) with nowait
GO

create nonclustered index wrname on writers (wr_lname, wr_fname)
create nonclustered index bookid_ind on bookwriter (book_id)
create nonclustered index booksind on orders (book_id)
create nonclustered index houseid_ind on books (house_id)
GO

update statistics houses
update statistics staff
update statistics roles
GO

raiserror('Creating the view ....', 1, 1) with nowait
GO

create view writer_titles
as
select b.title, bw.wr_ord, w.wr_lname, b.price, b.sold_this_year, b.house_id
from writers w, books b, bookwriter bw
where w.wr_id = bw.wr_id
   and b.book_id = bw.book_id
GO

raiserror('Creating the procedures and the function ....', 1, 1) with nowait
GO

create procedure writers_by_share @share int
as
select wr_id from bookwriter
where share_pct = @share
GO

create procedure house_summary as
select house_id, count(book_id) as books_listed, avg(price) as average_price
from books
where price is not null
group by house_id
order by house_id
GO

create procedure kind_report @kind char(12) = 'cooking'
as
begin
   if not exists (select * from books where kind = @kind)
   begin
      raiserror ('There are no %s books.', 16, 1, @kind)
      return
   end
   save transaction before_report
   select kind, house_id, sum(sold_this_year) as sold
   from books
   where kind = @kind
   group by kind, house_id
end
GO

create function dbo.royalty_due (@book_id varchar(6), @qty int)
returns money
as
begin
   declare @due money
   select @due = price * @qty * royalty / 100 from books where book_id = @book_id
   return @due
end
GO

grant execute on writers_by_share to public
grant select on writer_titles to public
GO

dbcc checkident (roles)
GO

update statistics books
GO

checkpoint
GO

declare @finished varchar(40)
select  @finished = convert(varchar, getdate(), 113)
raiserror('The books database is installed, finished %s.', 1, 1, @finished) with nowait
GO
