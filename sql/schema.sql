-- Tables of the lot-sizing program. Names are unquoted so that one file serves SQLite and
-- PostgreSQL alike (PostgreSQL folds them to lower case, statements are unquoted too).
-- Every table is read or written by "where Bedarf=?": each has an index that starts with Bedarf,
-- extended by the sort columns of its query so that the rows come out of the index in order.
-- Types are chosen so that both ODBC drivers report what the program reads: TIMESTAMP as a
-- timestamp, INTEGER as a 32-bit integer, DOUBLE PRECISION as a double, VARCHAR as text.

create table Bedarf (
  Bedarf varchar(128) not null primary key,
  StartTermin timestamp,
  PeriodenLänge integer,
  Beschreibung varchar(255)
);

create table UmrechnungsFaktor (
  Bedarf varchar(128) not null,
  Umrechnung varchar(128),
  UmrechnungsFaktor double precision,
  Beschreibung varchar(255)
);
create index UmrechnungsFaktor_Bedarf on UmrechnungsFaktor (Bedarf);

create table Parameter (
  Bedarf varchar(128) not null,
  Periode integer,
  Parameter varchar(128),
  Wert double precision
);
create index Parameter_Bedarf on Parameter (Bedarf, Parameter, Periode);

create table Termin (
  Bedarf varchar(128) not null,
  Termin timestamp,
  Menge integer
);
create index Termin_Bedarf on Termin (Bedarf, Termin);

-- Termin is the order date as a day number (days since 1899-12-30, time of day as fraction).
create table LosGröße (
  Bedarf varchar(128) not null,
  Termin double precision,
  LosGröße integer,
  Kosten double precision
);
create index LosGröße_Bedarf on LosGröße (Bedarf, Termin);
