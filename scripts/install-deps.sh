#!/usr/bin/env bash
# Installs what building, testing, packaging and running the example need
# (Debian). Skips apt entirely when everything is there already.
set -euo pipefail

# dpkg-dev and file: cpack's Debian package (dpkg-shlibdeps); man-db and
# groff-base: checking the man pages; libxml2-utils: checking the report's SVG;
# lintian: checking the package; systemd: systemd-analyze verify of the units;
# logrotate: checking the log rotation file; python3-yaml: the test that runs
# the Kubernetes manifest; util-linux: flock in the cron recipe; locales: the
# sources of an 8-bit locale for the test that runs the programs under one.
packages=(build-essential cmake libgtest-dev unixodbc unixodbc-dev libsqliteodbc
          odbc-postgresql postgresql sqlite3 libsqlite3-dev mariadb-server odbc-mariadb
          dpkg-dev file man-db groff-base libxml2-utils lintian systemd logrotate
          python3-yaml util-linux locales)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
    || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
