#!/usr/bin/env bash
# Sets up and runs the main job on the bundled example database: installs the
# packages, builds the program, creates examples/example.db (SQLite) with a
# project-local ODBC data source "Beispiel", plans the two example demands,
# shows the rows written to LosGröße and the plan of WW1958 as lotsizing-report
# prints it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target lotsizing lotsizing-report

mkdir -p examples
database="$root/examples/example.db"
rm -f "$database"
cat sql/schema.sql sql/example_data.sql | sqlite3 "$database"
cat > examples/odbc.ini <<INI
[Beispiel]
Description = Bundled example planning database
Driver = /usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so
Database = $database
Timeout = 5000
INI
export ODBCINI="$root/examples/odbc.ini"

for demand in PUMPE-4711 WW1958; do
  echo
  echo "\$ lotsizing Beispiel $demand"
  # The program writes code page 850; iconv shows its umlauts on a UTF-8 terminal.
  set +e
  build/lotsizing Beispiel "$demand" 2>&1 | iconv -f CP850 -t UTF-8
  status=${PIPESTATUS[0]}
  set -e
  echo
  echo "(exit status $status)"
done

echo
echo "Rows written to LosGröße:"
sqlite3 -header -column "$database" \
  "select Bedarf, date(Termin + 2415018.5) as Bestelltag, LosGröße, round(Kosten, 2) as Kosten from LosGröße order by Bedarf, Termin;"
echo
sqlite3 "$database" "select 'WW1958 Gesamtkosten: ' || sum(Kosten) from LosGröße where Bedarf='WW1958';"

echo
echo "\$ lotsizing-report Beispiel WW1958"
build/lotsizing-report Beispiel WW1958
