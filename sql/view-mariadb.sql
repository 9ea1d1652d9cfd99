-- LosGrößeKalender: the rows of LosGröße with the order date as a calendar date and time.
-- LosGröße.Termin counts days since 1899-12-30 00:00; before that day the whole days count
-- back and the fraction, the time of day, still counts forward (-1.25 is 1899-12-29 06:00).
-- Load after schema-mariadb.sql: mariadb planung < sql/view-mariadb.sql
set names utf8mb4;
create view LosGrößeKalender as
select Bedarf,
       timestamp'1899-12-30 00:00:00'
         + interval round((truncate(Termin, 0) + abs(Termin - truncate(Termin, 0))) * 86400000000)
           microsecond as Bestelltermin,
       LosGröße,
       Kosten
from LosGröße;
