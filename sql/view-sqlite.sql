-- LosGrößeKalender: the rows of LosGröße with the order date as a calendar date and time.
-- LosGröße.Termin counts days since 1899-12-30 00:00 (Julian day 2415018.5); before that day
-- the whole days count back and the fraction, the time of day, still counts forward
-- (-1.25 is 1899-12-29 06:00). Load after schema.sql: sqlite3 planning.db < sql/view-sqlite.sql
create view LosGrößeKalender as
select Bedarf,
       datetime(2415018.5 + cast(Termin as integer) + abs(Termin - cast(Termin as integer)))
         as Bestelltermin,
       LosGröße,
       Kosten
from LosGröße;
