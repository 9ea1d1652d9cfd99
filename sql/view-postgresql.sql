-- LosGrößeKalender: the rows of LosGröße with the order date as a calendar date and time.
-- LosGröße.Termin counts days since 1899-12-30 00:00; before that day the whole days count
-- back and the fraction, the time of day, still counts forward (-1.25 is 1899-12-29 06:00).
-- Load after schema.sql: psql -d planung -f sql/view-postgresql.sql
create view LosGrößeKalender as
select Bedarf,
       timestamp '1899-12-30 00:00:00'
         + (trunc(Termin) + abs(Termin - trunc(Termin))) * interval '1 day' as Bestelltermin,
       LosGröße,
       Kosten
from LosGröße;
