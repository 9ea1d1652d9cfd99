#!/usr/bin/env bash
# Test databases for one ctest run of one build directory, as two fixtures (tests/CMakeLists.txt):
#
#   databases.sh odbc-start WORKDIR SOURCEDIR   writes WORKDIR/odbc.ini, WORKDIR/odbcinst.ini and a
#                                               SQLite template file: all that SQLite tests need
#   databases.sh start      WORKDIR SOURCEDIR   starts a throw-away PostgreSQL cluster and MariaDB
#                                               server (after odbc-start, which it runs if need be)
#   databases.sh stop       WORKDIR SOURCEDIR   stops both servers
#   databases.sh odbc-stop  WORKDIR SOURCEDIR   stops the servers if need be and removes every
#                                               scratch file
#
# Everything lives in one short scratch folder under /tmp (recorded in WORKDIR/scratch), so that
# the Unix socket path and the connection strings stay short. The PostgreSQL server listens on a
# Unix socket in that folder only (no TCP port), so several build directories can run their tests
# at the same time; so does the MariaDB server. Neither server runs as root: as root the
# PostgreSQL cluster belongs to the `postgres` system user, the MariaDB server to `mysql`. The
# MariaDB server starts with its built-in defaults (latin1, case-blind collation): the schema
# itself must make texts utf8mb4 and keys exact.
#
# WORKDIR/odbc.ini names two data sources:
#   lsz_sqlite  the SQLite3 ODBC driver; tests add ";Database=<file>" for their own file
#   lsz_pg      psqlODBC (Unicode) on the cluster as its superuser; tests add ";Database=<name>"
#   lsz_pg_ansi the same through psqlODBC's ANSI driver
#   lsz_maria   MariaDB Connector/ODBC on the MariaDB server as root; tests add ";Database=<name>"
# WORKDIR/odbcinst.ini registers their two drivers (the tests set ODBCSYSINI=WORKDIR) with
# DontDLClose = 1: the driver manager then keeps a driver loaded until the process ends, so that
# the leak checker can still name the driver's code in the stack of what the driver leaked
# (tests/lsan.supp). Nothing from /etc/odbc.ini or /etc/odbcinst.ini is used.
# Test databases are copies of a template with sql/schema.sql loaded: SQLite the file
# <scratch>/template.db, PostgreSQL the database lsz_template. MariaDB has no templates: each test
# database loads sql/schema-mariadb.sql.
set -euo pipefail

action=${1:?odbc-start|start|stop|odbc-stop}
workdir=${2:?WORKDIR}
sourcedir=${3:?SOURCEDIR}
pgbin=/usr/lib/postgresql/15/bin
port=5432

driver_path() {  # the first existing driver library among the candidates, else the library
                 # that the system's odbcinst.ini registers under the given name
  local name=$1 registered=$2 dir library
  for dir in /usr/lib/x86_64-linux-gnu/odbc /usr/lib/aarch64-linux-gnu/odbc /usr/lib64 /usr/lib/odbc /usr/lib; do
    if [[ -e $dir/$name ]]; then echo "$dir/$name"; return; fi
  done
  library=$(env -u ODBCSYSINI odbcinst -q -d -n "$registered" 2>/dev/null | sed -n 's/^Driver *= *//p')
  if [[ -z $library ]]; then
    echo "no ODBC driver $name and none registered as \"$registered\"" >&2
    return 1
  fi
  echo "$library"
}

as_cluster_owner() {  # runs a command as the owner of the cluster
  if [[ $(id -u) -eq 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi
}

mariadb_program() {  # the path of a MariaDB server program (/usr/sbin is not on every PATH)
  if [[ -x /usr/sbin/$1 ]]; then echo "/usr/sbin/$1"; else command -v "$1"; fi
}

stop_mariadb() {
  local scratch=$1 pid
  [[ -f $scratch/msock/mariadb.pid ]] || return 0
  pid=$(cat "$scratch/msock/mariadb.pid")
  # Its data is thrown away: no orderly shutdown needed.
  kill -KILL "$pid" 2>/dev/null || true
  while kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
}

start_mariadb() {
  local scratch=$1 user=() i
  mkdir "$scratch/maria" "$scratch/msock"
  if [[ $(id -u) -eq 0 ]]; then
    chown mysql: "$scratch/maria" "$scratch/msock"
    user=(--user=mysql)
  fi
  "$(mariadb_program mariadb-install-db)" --no-defaults "${user[@]}" --datadir="$scratch/maria" \
    --auth-root-authentication-method=normal --skip-test-db --skip-name-resolve \
    >"$scratch/mariadb-install.log" 2>&1 || { cat "$scratch/mariadb-install.log" >&2; exit 1; }
  # Durability is not needed: no flush per commit, no doublewrite, no binary log.
  "$(mariadb_program mariadbd)" --no-defaults "${user[@]}" --datadir="$scratch/maria" \
    --socket="$scratch/msock/mariadb.sock" --skip-networking --pid-file="$scratch/msock/mariadb.pid" \
    --log-error="$scratch/msock/server.log" --innodb-buffer-pool-size=64M \
    --innodb-flush-log-at-trx-commit=0 --innodb-doublewrite=0 --skip-log-bin \
    --max-connections=300 </dev/null >/dev/null 2>&1 &
  for ((i = 0; i < 300; i++)); do
    mariadb-admin --no-defaults -S "$scratch/msock/mariadb.sock" -u root ping >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "the MariaDB server did not start" >&2
  cat "$scratch/msock/server.log" >&2 || true
  exit 1
}

stop() {
  local scratch
  [[ -f $workdir/scratch ]] || return 0
  scratch=$(cat "$workdir/scratch")
  stop_mariadb "$scratch"
  if [[ -d $scratch/pg ]]; then
    as_cluster_owner "$pgbin/pg_ctl" -D "$scratch/pg" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$scratch/pg" "$scratch/sock" "$scratch/maria" "$scratch/msock"
}

odbc_stop() {
  local scratch
  [[ -f $workdir/scratch ]] || return 0
  stop
  scratch=$(cat "$workdir/scratch")
  case $scratch in /tmp/lsz.*) rm -rf "$scratch" ;; esac
  rm -f "$workdir/scratch" "$workdir/odbc.ini" "$workdir/odbcinst.ini"
}

start() {
  [[ -f $workdir/scratch && -d $(cat "$workdir/scratch") ]] || odbc_start
  stop  # servers left behind by an interrupted run
  local scratch
  scratch=$(cat "$workdir/scratch")
  mkdir "$scratch/pg" "$scratch/sock"
  if [[ $(id -u) -eq 0 ]]; then chown postgres: "$scratch/pg" "$scratch/sock"; fi
  as_cluster_owner "$pgbin/initdb" -D "$scratch/pg" -U postgres -A trust -E UTF8 --locale=C.UTF-8 \
    >"$scratch/initdb.log" 2>&1 || { cat "$scratch/initdb.log" >&2; exit 1; }
  as_cluster_owner "$pgbin/pg_ctl" -D "$scratch/pg" -l "$scratch/pg/server.log" -w \
    -o "-c listen_addresses='' -c unix_socket_directories='$scratch/sock' -p $port -c fsync=off \
        -c max_connections=200 -c shared_buffers=32MB -c log_line_prefix='%m [%p] %d '" start >/dev/null \
    || { cat "$scratch/pg/server.log" >&2; exit 1; }
  psql -X -q -v ON_ERROR_STOP=1 -h "$scratch/sock" -p $port -U postgres -d postgres \
    -c "create database lsz_template"
  psql -X -q -v ON_ERROR_STOP=1 -h "$scratch/sock" -p $port -U postgres -d lsz_template \
    -f "$sourcedir/sql/schema.sql"
  start_mariadb "$scratch"
}

# The data sources name the servers' sockets before the servers run: a SQLite
# test needs no server, and the servers start in the folder named here.
odbc_start() {
  odbc_stop  # files and servers left behind by an interrupted run
  mkdir -p "$workdir"
  local scratch
  scratch=$(mktemp -d /tmp/lsz.XXXXXX)
  chmod 755 "$scratch"
  echo "$scratch" >"$workdir/scratch"

  sqlite3 "$scratch/template.db" <"$sourcedir/sql/schema.sql"

  local sqlite_driver pg_driver pg_ansi_driver maria_driver
  sqlite_driver=$(driver_path libsqlite3odbc.so SQLite3)
  pg_driver=$(driver_path psqlodbcw.so "PostgreSQL Unicode")
  pg_ansi_driver=$(driver_path psqlodbca.so "PostgreSQL ANSI")
  maria_driver=$(driver_path libmaodbc.so "MariaDB Unicode")
  cat >"$workdir/odbcinst.ini" <<EOF
[lsz SQLite3]
Driver = $sqlite_driver
DontDLClose = 1

[lsz PostgreSQL Unicode]
Driver = $pg_driver
DontDLClose = 1

[lsz PostgreSQL ANSI]
Driver = $pg_ansi_driver
DontDLClose = 1

[lsz MariaDB]
Driver = $maria_driver
DontDLClose = 1
EOF

  cat >"$workdir/odbc.ini" <<EOF
[lsz_sqlite]
Driver = lsz SQLite3
Database = $scratch/default.db
Timeout = 10000

[lsz_pg]
Driver = lsz PostgreSQL Unicode
Servername = $scratch/sock
Port = $port
Username = postgres
Database = postgres

[lsz_pg_ansi]
Driver = lsz PostgreSQL ANSI
Servername = $scratch/sock
Port = $port
Username = postgres
Database = postgres

[lsz_maria]
Driver = lsz MariaDB
Socket = $scratch/msock/mariadb.sock
User = root
Database = mysql
CHARSET = utf8mb4
EOF
}

case $action in
  odbc-start) odbc_start ;;
  start) start ;;
  stop) stop ;;
  odbc-stop) odbc_stop ;;
  *) echo "usage: $0 odbc-start|start|stop|odbc-stop WORKDIR SOURCEDIR" >&2; exit 2 ;;
esac
