-- Tables of the lot-sizing program for MariaDB (and MySQL). The same tables as schema.sql, with
-- what MariaDB needs besides:
-- - utf8mb4 texts whatever the client's locale: "set names" makes the server read the following
--   statements (this file's umlauts) as UTF-8;
-- - keys and names compared exactly, as the program compares them: the binary collation without
--   padding, where 'WW1958' differs from 'ww1958' and from 'WW1958 ';
-- - datetime instead of timestamp, which stops in January 2038; with six digits for fractions of
--   a second, as the other databases keep them;
-- - InnoDB, so that a run's replacement of its lots is one transaction.
set names utf8mb4;

create table Bedarf (
  Bedarf varchar(128) not null primary key,
  StartTermin datetime(6),
  PeriodenLänge integer,
  Beschreibung varchar(255)
) engine=InnoDB default charset=utf8mb4 collate=utf8mb4_nopad_bin;

create table UmrechnungsFaktor (
  Bedarf varchar(128) not null,
  Umrechnung varchar(128),
  UmrechnungsFaktor double precision,
  Beschreibung varchar(255)
) engine=InnoDB default charset=utf8mb4 collate=utf8mb4_nopad_bin;
create index UmrechnungsFaktor_Bedarf on UmrechnungsFaktor (Bedarf);

create table Parameter (
  Bedarf varchar(128) not null,
  Periode integer,
  Parameter varchar(128),
  Wert double precision
) engine=InnoDB default charset=utf8mb4 collate=utf8mb4_nopad_bin;
create index Parameter_Bedarf on Parameter (Bedarf, Parameter, Periode);

create table Termin (
  Bedarf varchar(128) not null,
  Termin datetime(6),
  Menge integer
) engine=InnoDB default charset=utf8mb4 collate=utf8mb4_nopad_bin;
-- Menge too, so that the due quantities are read from the index alone: InnoDB would otherwise
-- look up each row in the table behind the index, which costs more than reading the index.
create index Termin_Bedarf on Termin (Bedarf, Termin, Menge);

-- Termin is the order date as a day number (days since 1899-12-30, time of day as fraction).
create table LosGröße (
  Bedarf varchar(128) not null,
  Termin double precision,
  LosGröße integer,
  Kosten double precision
) engine=InnoDB default charset=utf8mb4 collate=utf8mb4_nopad_bin;
create index LosGröße_Bedarf on LosGröße (Bedarf, Termin);
