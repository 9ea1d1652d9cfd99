#!/usr/bin/env python3
"""Writes sql/example_data.sql, the bundled example demands (deterministic).

PUMPE-4711: a year of weekly periods from Monday 2027-01-04, due dates on working
days at various times of day, time-phased setup and unit costs, both interest
rates, a lot grid and a currency factor.
WW1958: the classic 12-period example of Wagner and Whitin (1958): daily periods,
holding cost 1 per unit and period; its optimal total cost is 864.
"""
import datetime
import random
import sys

out = []
w = out.append

w("-- The bundled example demands. Made by scripts/make_example_data.py; load after schema.sql.")
w("")
w("-- PUMPE-4711: centrifugal pump, weekly planning for 2027.")
w("insert into Bedarf(Bedarf,StartTermin,PeriodenLänge,Beschreibung) values "
  "('PUMPE-4711','2027-01-04 00:00:00',1,'Kreiselpumpe KP 40, Wochenplanung 2027');")
catalogue = [
    ("RüstKosten", 1.0, "Euro je Rüstvorgang"),
    ("StückKosten", 1.0, "Euro je Stück"),
    ("LosRaster", 1.0, "Stück"),
    ("KapitalbindungsZinssatz", 0.01, "Prozent je Zinsjahr"),
    ("WagnisZinssatz", 0.01, "Prozent je Zinsjahr"),
    ("PeriodenLänge", 7.0, "Tage je Woche"),
    ("ZinsJahr", 360.0, "Zinstage je Jahr"),
    ("Währung", 1.95583, "DM je Euro"),
]
for name, factor, text in catalogue:
    w("insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor,Beschreibung) values "
      f"('PUMPE-4711','{name}',{factor!r},'{text}');")
parameters = [
    ("RüstKosten", 1, 180.0), ("RüstKosten", 27, 195.0),
    ("StückKosten", 1, 42.5), ("StückKosten", 14, 43.8), ("StückKosten", 40, 44.2),
    ("LosRaster", 1, 10.0), ("LosRaster", 27, 20.0),
    ("KapitalbindungsZinssatz", 1, 8.0),
    ("WagnisZinssatz", 1, 2.0), ("WagnisZinssatz", 30, 3.0),
]
for name, period, value in parameters:
    w("insert into Parameter(Bedarf,Periode,Parameter,Wert) values "
      f"('PUMPE-4711',{period},'{name}',{value!r});")

rng = random.Random(4711)
holidays = {datetime.date(2027, 1, 1), datetime.date(2027, 3, 26), datetime.date(2027, 3, 29),
            datetime.date(2027, 5, 1), datetime.date(2027, 5, 6), datetime.date(2027, 5, 17),
            datetime.date(2027, 10, 3), datetime.date(2027, 12, 24), datetime.date(2027, 12, 27),
            datetime.date(2027, 12, 31)}
day = datetime.date(2027, 1, 4)
while day <= datetime.date(2027, 12, 31):
    if day.weekday() < 5 and day not in holidays and rng.random() < 0.45:
        seconds = rng.randrange(6 * 3600, 17 * 3600 + 1800)
        moment = datetime.datetime.combine(day, datetime.time()) + datetime.timedelta(seconds=seconds)
        quantity = rng.choice([4, 6, 8, 10, 12, 15, 18, 24, 30, 36])
        w("insert into Termin(Bedarf,Termin,Menge) values "
          f"('PUMPE-4711','{moment:%Y-%m-%d %H:%M:%S}',{quantity});")
    day += datetime.timedelta(days=1)

w("")
w("-- WW1958: Wagner and Whitin's 12-period example, one period per day.")
w("-- Unit cost 360 over an interest year of 360 days at 75 % + 25 %: holding cost 1 per unit and day.")
w("insert into Bedarf(Bedarf,StartTermin,PeriodenLänge,Beschreibung) values "
  "('WW1958','2027-01-04 00:00:00',1,'Wagner und Whitin 1958, zwölf Perioden');")
for name, factor, text in [("RüstKosten", 1.0, "Geldeinheiten"), ("StückKosten", 1.0, "Geldeinheiten"),
                           ("LosRaster", 1.0, "Stück"), ("KapitalbindungsZinssatz", 1.0, "Anteil"),
                           ("WagnisZinssatz", 1.0, "Anteil"), ("PeriodenLänge", 1.0, "Tage"),
                           ("ZinsJahr", 360.0, "Zinstage"), ("Währung", 1.0, "Geldeinheiten")]:
    w("insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor,Beschreibung) values "
      f"('WW1958','{name}',{factor!r},'{text}');")
w("insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('WW1958',1,'StückKosten',360.0);")
w("insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('WW1958',1,'LosRaster',1.0);")
w("insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('WW1958',1,'KapitalbindungsZinssatz',0.75);")
w("insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('WW1958',1,'WagnisZinssatz',0.25);")
demands = [69, 29, 36, 61, 61, 26, 34, 67, 45, 67, 79, 56]
setups = [85, 102, 102, 101, 98, 114, 105, 86, 119, 110, 98, 114]
for period, setup in enumerate(setups, start=1):
    w("insert into Parameter(Bedarf,Periode,Parameter,Wert) values "
      f"('WW1958',{period},'RüstKosten',{float(setup)!r});")
for period, quantity in enumerate(demands):
    moment = datetime.datetime(2027, 1, 4, 12, 0, 0) + datetime.timedelta(days=period)
    w("insert into Termin(Bedarf,Termin,Menge) values "
      f"('WW1958','{moment:%Y-%m-%d %H:%M:%S}',{quantity});")

sys.stdout.write("\n".join(out) + "\n")
