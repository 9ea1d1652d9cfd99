#!/usr/bin/env bash
# Installs what building, testing and running the example need (Debian).
# Skips apt entirely when everything is there already.
set -euo pipefail

packages=(build-essential cmake libgtest-dev unixodbc unixodbc-dev libsqliteodbc
          odbc-postgresql postgresql sqlite3 libsqlite3-dev libxml2-utils)

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
