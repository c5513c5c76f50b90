/* ----------------------------------------------------------------------------
   InstBooks.sql : installs the "books" sample database of a small publishing
   house: user data types, tables with their CHECK constraints and foreign
   keys, the rows, views, procedures, a function and triggers.
   Written for the Schemion test suite in the manner of the sample-database
   scripts that came with database servers of the year 2000.
---------------------------------------------------------------------------- */

set nocount on
set dateformat mdy
GO

declare @dttm varchar(55)
select  @dttm = convert(varchar, getdate(), 113)
raiserror('Beginning InstBooks.SQL at %s ....', 1, 1, @dttm) with nowait
GO

if exists (select * from master..sysdatabases where name = 'books')
   drop database books
GO

/* The server's version decides nothing here, but the script says which one it met. */
if convert(varchar(20), serverproperty('ProductVersion')) like '8.[0-9]%'
   raiserror('Installing on a server of version 8 ....', 1, 1) with nowait
GO

create database books
GO

checkpoint
GO

use books
GO

if db_name() <> 'books'
   raiserror('Error in InstBooks.SQL, ''USE books'' failed!  Killing the SPID now.', 22, 127) with log
GO

execute sp_addtype id, 'varchar(11)', 'NOT NULL'
execute sp_addtype tid, 'varchar(6)', 'NOT NULL'
execute sp_addtype empid, 'char(9)', 'NOT NULL'
GO

raiserror('Now at the create table section ....', 1, 1) with nowait
GO

create table writers
(
   wr_id          id

         check (wr_id like '[0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9][0-9][0-9]')

         constraint UPKCL_wridind primary key clustered,

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

         constraint UPKCL_houseind primary key clustered

         check (house_id in ('1389', '0736', '0877', '1622', '1756')
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

         constraint UPKCL_bookidind primary key clustered,

   title          varchar(80)       not null,

   kind           char(12)          not null

         default ('UNDECIDED'),

   house_id       char(4)               null

         references houses(house_id),

   price          money                 null,
   advance        money                 null,
   royalty        int                   null,
   ytd_sales      int                   null,
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
   royaltyper     int                   null,

   constraint UPKCL_bookwriterind primary key clustered (wr_id, book_id)
)
GO

create table shops
(
   shop_id        char(4)           not null

         constraint UPK_shopid primary key clustered,

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

   ord_num        varchar(20)       not null,
   ord_date       datetime          not null,
   qty            smallint          not null,
   payterms       varchar(12)       not null,

   book_id        tid

         references books(book_id),

   constraint UPKCL_orders primary key clustered (shop_id, ord_num, book_id)
)
GO

create table royscale
(
   book_id        tid

         references books(book_id),

   lorange        int                   null,
   hirange        int                   null,
   royalty        int                   null
)
GO

create table rebates
(
   rebatetype     varchar(40)       not null,

   shop_id        char(4)               null

         references shops(shop_id),

   lowqty         smallint              null,
   highqty        smallint              null,
   rebate         dec(4,2)          not null
)
GO

create table roles
(
   role_id        smallint          identity(1,1)

         primary key clustered,

   role_desc      varchar(50)       not null

         default 'New Position - title not formalized yet',

   min_lvl        tinyint           not null

         check (min_lvl >= 10),

   max_lvl        tinyint           not null

         check (max_lvl <= 250)
)
GO

create table house_info
(
   house_id       char(4)           not null

         references houses(house_id)

         constraint UPKCL_house_info primary key clustered,

   logo           image                 null,
   pr_info        text                  null
)
GO

create table staff
(
   staff_id       empid

         constraint PK_staff_id primary key nonclustered

         constraint CK_staff_id check (staff_id like
            '[A-Z][A-Z][A-Z][1-9][0-9][0-9][0-9][0-9][FM]' or
            staff_id like '[A-Z]-[A-Z][1-9][0-9][0-9][0-9][0-9][FM]'),

   fname          varchar(20)       not null,
   minit          char(1)               null,
   lname          varchar(30)       not null,

   role_id        smallint          not null

         default 1

         references roles(role_id),

   role_lvl       tinyint

         default 10,

   house_id       char(4)           not null

         default ('9952')

         references houses(house_id),

   hire_date      datetime          not null

         default (getdate())
)
GO

raiserror('Now at the create trigger section ....', 1, 1) with nowait
GO

create trigger staff_insupd
on staff
for insert, update
as
/* A staff member's level must lie within the level range of the role. */
declare @min_lvl tinyint,
   @max_lvl tinyint,
   @emp_lvl tinyint,
   @role_id smallint
select @min_lvl = min_lvl,
   @max_lvl = max_lvl,
   @emp_lvl = i.role_lvl,
   @role_id = i.role_id
from staff e, roles r, inserted i
where e.staff_id = i.staff_id and i.role_id = r.role_id
if (@role_id = 1) and (@emp_lvl <> 10)
begin
   raiserror ('Role id 1 expects the default level of 10.', 16, 1)
   rollback transaction
end
else
if not (@emp_lvl between @min_lvl and @max_lvl)
begin
   raiserror ('The level for role_id:%d should be between %d and %d.',
      16, 1, @role_id, @min_lvl, @max_lvl)
   rollback transaction
end
GO

raiserror('Now at the inserts to writers ....', 1, 1) with nowait
GO

insert writers values('409-56-7008', 'Bennet', 'Abraham', '415 658-9932',
   '6223 Bateman St.', 'Berkeley', 'CA', '94705', 1)
insert writers values('213-46-8915', 'Green', 'Marjorie', '415 986-7020',
   '309 63rd St. #411', 'Oakland', 'CA', '94618', 1)
insert writers values('238-95-7766', 'Carson', 'Cheryl', '415 548-7723',
   '589 Darwin Ln.', 'Berkeley', 'CA', '94705', 1)
insert writers values('998-72-3567', 'Ringer', 'Albert', '801 826-0752',
   '67 Seventh Av.', 'Salt Lake City', 'UT', '84152', 1)
insert writers values('899-46-2035', 'Ringer', 'Anne', '801 826-0752',
   '67 Seventh Av.', 'Salt Lake City', 'UT', '84152', 1)
insert writers values('722-51-5454', 'DeFrance', 'Michel', '219 547-9982',
   '3 Balding Pl.', 'Gary', 'IN', '46403', 1)
insert writers values('807-91-6654', 'Panteley', 'Sylvia', '301 946-8853',
   '1956 Arlington Pl.', 'Rockville', 'MD', '20853', 1)
insert writers (wr_id, wr_lname, wr_fname, contract)
   values('893-72-1158', 'McBadden', 'Heather', 0)
GO

raiserror('Now at the inserts to houses ....', 1, 1) with nowait
GO

insert houses values('0736', 'New Moon Books', 'Boston', 'MA', 'USA')
insert houses values('0877', 'Binnet & Hardley', 'Washington', 'DC', 'USA')
insert houses values('1389', 'Algodata Infosystems', 'Berkeley', 'CA', 'USA')
insert houses values('9952', 'Scootney Books', 'New York', 'NY', 'USA')
insert houses (house_id, house_name, city, country)
   values('9901', 'GGG&G', 'Muenchen', 'Germany')
GO

raiserror('Now at the inserts to house_info ....', 1, 1) with nowait
GO

insert house_info values('0736', 0x47494638396128001E00B30000030915143E762573D736A83847DD995812FA69475B7A7CBC8BB11D9CE67EAD1BDFBE5040CF85A1E0BA02F1EF630224C42C0000000028001E00000453C37D788EB44DB7482F6D463D19E570244CBBA0E358FC7874FA8CB1955CAFB5321253FE93D1232C45ED4CE9C9990D7DFFDC013051552C63A0B0C76DEEE4CC36D032409691DD436B26AAD87CD6167511A65A4A4E861F51533C011A1614C654FB445B1A38219203EB049DE8F8FA4A73A42FFC6DF3186DC4C162255DA39DB99F7BA8C4BBDDDBA7BD25F7005454CEEB61AFB2FB42169FF7DB252854680C2276062F12A7FA7C57D3C8901709F589EAB296A9498FA1B0B574F0F6A7C6144A3AB6DF8D9A3AB00E2CD07CA57BF2A18EE5586B0B0AF062B8F09E59ACF6B338547F2F84105AB7B38AF35432DB3BF1325C5993364C0D565E26E82B71C02E53AB23869A4C2E6854DDE9431940AA71407FEADB1C51E46CF96BF337D48DA967DE48AEEAAF8F5FDD4A0522B6D5008B33156030003B, 'This is sample text data for New Moon Books, publisher 0736 in the books database. New Moon Books is located in Boston, Massachusetts.')
insert house_info values('0877', 0x47494638396130001800B300000B214D1C56AE2D8B0F3EC0704FF5D1602A32715F938294F493C955A4FEB6B53317C66878D79DD9E8D23AF9079B0A3CFC2C0000000030001800000485D86BAC9896F7A619122DDF400BF515AE80E1A715EEB13BA746A21240B07B265202550994FF2D7C6A502BD21342AF039445218F68207518E4F581BE6CF9FE3A58EF60B9A469567E59BE1F36BFCA931A4068ECC71AB059DDCCF141593E6D57B3AED762B75F8DCA240096E106DD5AF7D3C7231C48C457B3017772BBDB4EC6DD0A6DF235F95E24E1E4750E4A3704A935A644AC8809FECBDDFDFCB0C83B33BAE8B6AD78B07738E4F339D15F31C3CE70A309CD3C08025FC52E4875E33F718602D12F86A1AB2A878658982BC16EA2D1689B777B0C742C81FDFE5AF742F876DF57EEEE0FA4FF09E1C2697B9C6DD9CBA54775656552A57EF92BA5AC9D07CC41D66F996B61BB820CDE507D5A3C994B36E4C6874EA54772F162077BB57D6991CB0203291D003B, 'This is sample text data for Binnet & Hardley, publisher 0877 in the books database. Binnet & Hardley is located in Washington, D.C.')
insert house_info (house_id, pr_info) values('1389', 'This is sample text data for Algodata Infosystems, publisher 1389 in the books database. Algodata Infosystems is located in Berkeley, California.')

/* The third logo comes afterwards: the whole image as one literal, then a check that every
   byte arrived. */
update house_info set logo = 0x47494638396120002000B30000050F231644842779E538AE4649E3A75A18086B4D697C82CA8DB72B9EEC8CAF21EDC0564ED18BAFE2C010F3F571042AD22C00000000200020000004DF097885D16CB8733C681DACFD15E95946D944626F3DEAA9808D92097F3122117ACE9480531CA6804E8644A35C83B69E25B789C8D7C83F50B101B6414EA95837B22108DF16C0C730736F2A6BD0037CD34C5DB22CEB4413F620FDA4661EAF5529DF7AECD8F151B539039BE63B338ED4B01546D8C883A7FF5127F875B1C93CAF9F59505AA4BCC606555783924D5C1A56EDD7E713D377EC9B1B1D6B40582647FE50791B687B4F17533AC59F44D823A29A41EABA7B849F087F0A5ACD1F940DC9DCF695542F95833D33A1A7661413601C3766A6372715D4F543D73697289D57B9DF470772C62A2E30404354501C38EC80C61263D530BCEDAB7E3B0A4074ABDA0F9FFD003B
where house_id = '1389'
if (select datalength(logo) from house_info where house_id = '1389') <> 330
   raiserror('The logo of 1389 did not load.', 16, 1)
GO

raiserror('Now at the inserts to books ....', 1, 1) with nowait
GO

insert books values ('BU1032', 'The Busy Executive''s Database Guide', 'business',
   '1389', $19.99, $5000.00, 10, 4095,
   'An overview of available database systems with emphasis on common business applications. Illustrated.',
   '06/12/91')
insert books values ('BU1111', 'Cooking with Computers: Surreptitious Balance Sheets', 'business',
   '1389', $11.95, $5000.00, 10, 3876,
   'Helpful hints on how to use your electronic resources to the best advantage.',
   '06/09/91')
insert books values ('PC8888', 'Secrets of Silicon Valley', 'popular_comp',
   '1389', $20.00, $8000.00, 10, 4095,
   'Muckraking reporting on the world''s largest computer hardware and software manufacturers.',
   '06/12/94')
insert books values ('PS2091', 'Is Anger the Enemy?', 'psychology',
   '0736', $10.95, $2275.00, 12, 2045,
   'Carefully researched study of the effects of strong emotions on the body. Metabolic charts included.',
   '06/15/91')
insert books values ('TC7777', 'Sushi, Anyone?', 'trad_cook',
   '0877', $14.99, $8000.00, 10, 4095,
   'Detailed instructions on how to make authentic Japanese sushi in your spare time.',
   '06/12/91')
insert books (book_id, title, house_id)
   values ('MC3026', 'The Psychology of Computer Cooking', '0877')
GO

raiserror('Now at the inserts to bookwriter ....', 1, 1) with nowait
GO

insert bookwriter values('409-56-7008', 'BU1032', 1, 60)
insert bookwriter values('213-46-8915', 'BU1032', 2, 40)
insert bookwriter values('213-46-8915', 'BU1111', 1, 100)
insert bookwriter values('238-95-7766', 'PC8888', 1, 50)
insert bookwriter values('722-51-5454', 'PC8888', 2, 50)
insert bookwriter values('998-72-3567', 'PS2091', 1, 50)
insert bookwriter values('899-46-2035', 'PS2091', 2, 50)
insert bookwriter values('807-91-6654', 'TC7777', 1, 100)
GO

raiserror('Now at the inserts to shops ....', 1, 1) with nowait
GO

insert shops values('7066', 'Barnum''s', '567 Pasadena Ave.', 'Tustin', 'CA', '92789')
insert shops values('7067', 'News & Brews', '577 First St.', 'Los Gatos', 'CA', '96745')
insert shops values('7131', 'Doc-U-Mat: Quality Laundry and Books', '24-A Avogadro Way', 'Remulade', 'WA', '98014')
insert shops values('8042', 'Bookbeat', '679 Carson St.', 'Portland', 'OR', '89076')
GO

raiserror('Now at the inserts to orders ....', 1, 1) with nowait
GO

insert orders values('7066', 'QA7442.3', '09/13/94', 75, 'ON invoice', 'PS2091')
insert orders values('7067', 'D4482', '09/14/94', 10, 'Net 60', 'PS2091')
insert orders values('7131', 'N914008', '09/14/94', 20, 'Net 30', 'PS2091')
insert orders values('7131', 'P3087a', '05/29/93', 20, 'Net 60', 'PC8888')
insert orders values('8042', '423LL922', '09/14/94', 15, 'ON invoice', 'BU1111')
insert orders values('8042', 'QA879.1', '5/22/93', 30, 'Net 30', 'BU1032')
insert orders values('7067', 'P2121', '6/15/92', 40, 'Net 30', 'TC7777')
GO

raiserror('Now at the inserts to royscale ....', 1, 1) with nowait
GO

insert royscale values('BU1032', 0, 5000, 10)
insert royscale values('BU1032', 5001, 50000, 12)
insert royscale values('PC8888', 0, 5000, 10)
insert royscale values('PC8888', 5001, 10000, 12)
insert royscale values('PS2091', 0, 1000, 10)
insert royscale values('TC7777', 0, 15000, 10)
GO

raiserror('Now at the inserts to rebates ....', 1, 1) with nowait
GO

insert rebates values('Initial Customer', NULL, NULL, NULL, 10.5)
insert rebates values('Volume Discount', NULL, 100, 1000, 6.7)
insert rebates values('Customer Discount', '8042', NULL, NULL, 5.0)
GO

raiserror('Now at the inserts to roles ....', 1, 1) with nowait
GO

insert roles values ('New Hire - Job not specified', 10, 10)
insert roles values ('Chief Executive Officer', 200, 250)
insert roles values ('Business Operations Manager', 175, 225)
insert roles values ('Editor', 25, 100)
GO

raiserror('Now at the inserts to staff ....', 1, 1) with nowait
GO

insert staff values ('PMA42628M', 'Paolo', 'M', 'Accorti', 4, 35, '0877', '08/27/92')
insert staff values ('PSA89086M', 'Pedro', 'S', 'Afonso', 2, 200, '1389', '12/24/90')
insert staff values ('VPA30890F', 'Victoria', 'P', 'Ashworth', 3, 180, '0877', '09/13/90')
insert staff values ('H-B39728F', 'Helen', ' ', 'Bennett', 4, 35, '0877', '09/21/89')
insert staff (staff_id, fname, lname) values ('L-B31947F', 'Lesley', 'Brown')
GO

raiserror('Now at the create index section ....', 1, 1) with nowait
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

raiserror('Now at the create view section ....', 1, 1) with nowait
GO

create view bookview
as
select title, wr_ord, wr_lname, price, ytd_sales, house_id
from writers, books, bookwriter
where writers.wr_id = bookwriter.wr_id
   and books.book_id = bookwriter.book_id
GO

raiserror('Now at the create procedure section ....', 1, 1) with nowait
GO

create procedure byroyalty @percentage int
as
select wr_id from bookwriter
where bookwriter.royaltyper = @percentage
GO

create procedure reptq1 as
select house_id, count(book_id) as book_count, avg(price) as avg_price
from books
where price is not null
group by house_id
order by house_id
GO

create procedure reptq2 @kind char(12) = 'business'
as
begin
   if not exists (select * from books where kind = @kind)
   begin
      raiserror ('No books of kind %s.', 16, 1, @kind)
      return
   end
   save transaction before_report
   select kind, house_id, sum(ytd_sales) as total
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

grant execute on byroyalty to public
grant select on bookview to public
GO

dbcc checkident (roles)
GO

update statistics books
GO

checkpoint
GO

declare @dttm varchar(55)
select  @dttm = convert(varchar, getdate(), 113)
raiserror('Ending InstBooks.SQL at %s ....', 1, 1, @dttm) with nowait
GO
