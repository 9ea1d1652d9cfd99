#!/usr/bin/env bash
# Builds the Debian package and checks it: its files, conffiles, copyright and
# changelog, lintian, the systemd units (systemd-analyze verify, where it
# exists) and the example, run from the package unpacked into a private
# folder. Then it installs the package on this machine, runs the installed
# example, checks the man pages, the service's user, permissions, units and
# log rotation, runs a batch as the service's user, and purges the package
# again.
#
#   scripts/package-test.sh [BUILD_DIR]
#
# BUILD_DIR: a configured build tree to package (scripts/test.sh passes its
# `build`); default build-package, configured here as a Release tree without
# tests and benchmark. Needs root or sudo. Where lotsizing is installed already,
# the installed package is left as it is and only the private folder is tried.
set -euo pipefail
cd "$(dirname "$0")/.."

dir=${1:-build-package}
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
fail() { echo "package-test: $*" >&2; exit 1; }
note() { echo "package-test: $*"; }

# The man pages render without a warning.
for page in man/*.1; do
  warnings=$(groff -man -Tutf8 -k -ww -z "$page" 2>&1)
  [[ -z $warnings ]] || fail "$page: $warnings"
done

if [[ ! -f $dir/CMakeCache.txt ]]; then
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DLOTSIZING_TESTS=OFF -DLOTSIZING_BENCH=OFF >/dev/null
fi
cmake --build "$dir" -j "$(nproc)" >/dev/null
rm -rf "$dir/package"
cpack --config "$dir/CPackConfig.cmake" -G DEB -B "$dir/package" >/dev/null
debs=("$dir"/package/lotsizing_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "cpack made no single package: ${debs[*]}"
deb=$(realpath "${debs[0]}")
version=$(dpkg-deb -f "$deb" Version)

# The programs, their man pages, the shared files, the documentation, the
# service and its configuration; no tests, no benchmark.
contents=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }')
unexpected=$(grep -Ev '^\./(usr/(bin/lotsizing(-batch|-report)?|share/man/man1/lotsizing(-batch|-report)?\.1\.gz|share/lotsizing/.+|share/doc/lotsizing/(copyright|changelog\.Debian\.gz|README\.md\.gz|examples/.+)|share/lintian/overrides/lotsizing)|lib/systemd/system/lotsizing-batch@\.(service|timer)|etc/lotsizing/(batch\.conf|odbc\.ini)|etc/logrotate\.d/lotsizing)$' \
  <<<"$contents" || true)
[[ -z $unexpected ]] || fail "unexpected files in the package: $unexpected"
programs=$(sed -n 's|^\./usr/bin/||p' <<<"$contents")
for program in lotsizing lotsizing-batch $programs; do
  grep -qx "./usr/bin/$program" <<<"$contents" || fail "$program is not in the package"
  grep -qx "./usr/share/man/man1/$program.1.gz" <<<"$contents" || fail "no man page for $program"
done
for file in usr/share/doc/lotsizing/{copyright,changelog.Debian.gz,README.md.gz} \
            lib/systemd/system/lotsizing-batch@.{service,timer} \
            etc/lotsizing/{batch.conf,odbc.ini} etc/logrotate.d/lotsizing; do
  grep -qx "./$file" <<<"$contents" || fail "$file is not in the package"
done
dpkg-deb -c "$deb" | grep -q ' \./var/log/lotsizing/$' || fail "the package does not make /var/log/lotsizing"
# Every file under /etc is a conffile, and every conffile is in the package.
conffiles=$(dpkg-deb -I "$deb" conffiles) || fail "the package has no conffiles"
etcFiles=$(sed -n 's|^\./etc/|/etc/|p' <<<"$contents" | sort)
[[ $(sort <<<"$conffiles") == "$etcFiles" ]] || fail "conffiles: $conffiles"$'\n'"files under /etc: $etcFiles"

# Unpacked into a private folder: the documentation, the units and the example.
work=$(mktemp -d)
installed=no
userMade=no
cleanup() {
  if [[ $installed == yes ]]; then
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq lotsizing >/dev/null 2>&1 || true
  fi
  if [[ $userMade == yes ]]; then $sudo deluser --system --quiet lotsizing >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
root=$work/root
dpkg-deb -x "$deb" "$root"
doc=$root/usr/share/doc/lotsizing
head -1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  || fail "copyright is not in Debian's machine-readable format"
grep -qx 'License: Expat' "$doc/copyright" || fail "copyright names no MIT (Expat) licence"
changelogVersion=$(zcat "$doc/changelog.Debian.gz" | dpkg-parsechangelog -l- -S Version) \
  || fail "changelog.Debian.gz does not parse"
[[ $changelogVersion == "$version" ]] || fail "the changelog's version $changelogVersion is not the package's $version"
cmp -s <(zcat "$doc/README.md.gz") README.md || fail "README.md.gz is not the README"

# lintian finds no error and no warning (the overrides give their reasons).
lintianOutput=$(lintian --fail-on error,warning "$deb" 2>&1) \
  || fail "lintian:"$'\n'"$lintianOutput"

# The units as systemd reads them: systemd-analyze verify prints every problem
# but fails only on some, so any output fails. The program and the man page are
# looked for in the private folder.
unit=$root/lib/systemd/system/lotsizing-batch@.service
grep -q '^ExecStart=/usr/bin/lotsizing-batch ' "$unit" || fail "the service does not start /usr/bin/lotsizing-batch"
verify() {  # verify UNIT... with the given environment
  local output
  output=$(systemd-analyze verify "$@" 2>&1) || fail "systemd-analyze verify $*: $output"
  [[ -z $output ]] || fail "systemd-analyze verify $*: $output"
}
if command -v systemd-analyze >/dev/null 2>&1; then
  units=$work/units
  mkdir "$units"
  for kind in service timer; do
    sed "s|=/usr/bin/|=$root/usr/bin/|" "$root/lib/systemd/system/lotsizing-batch@.$kind" \
      >"$units/lotsizing-batch@1.$kind"
  done
  MANPATH=$root/usr/share/man verify "$units/lotsizing-batch@1.service" "$units/lotsizing-batch@1.timer"
else
  note "no systemd-analyze on this machine; the units are not verified"
fi

# The example from the unpacked files alone: run-example.sh finds the programs
# beside it.
checkExample() {  # checkExample SCRIPT FOLDER: runs the example there, checks WW1958
  local output lots
  output=$(cd "$work" && env -u ODBCINI -u ODBCSYSINI "$1" "$2") \
    || fail "the example $1 failed:"$'\n'"$output"
  grep -Eq '^WW1958 Gesamtkosten: 864(\.0*)?$' <<<"$output" || fail "WW1958 does not cost 864:"$'\n'"$output"
  lots=$(sqlite3 "$2/example.db" \
    "select group_concat(LosGröße, ' ') from (select LosGröße from LosGröße where Bedarf = 'WW1958' order by Termin);")
  [[ $lots == "98 97 121 112 67 135" ]] || fail "WW1958 lots: $lots, expected 98 97 121 112 67 135"
}
checkExample "$root/usr/share/lotsizing/example/run-example.sh" "$work/private-example"

if dpkg-query -W -f='${Status}' lotsizing 2>/dev/null | grep -q "ok installed"; then
  note "lotsizing is installed on this machine: left as it is, the package was tried unpacked only"
  note "$(basename "$deb") checked"
  exit 0
fi

# Installed on this machine. The recommended drivers are left out: the example
# needs only SQLite's, which scripts/install-deps.sh installs, and removing the
# package then leaves the machine as it was.
getent passwd lotsizing >/dev/null || userMade=yes
installed=yes
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
checkExample /usr/share/lotsizing/example/run-example.sh "$work/example"

# The man pages are found and show their umlauts, unless dpkg is told to leave
# man pages out (slim container images).
manPages=yes
if grep -Eqs '^path-exclude=?.*/usr/share/man' /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/*; then
  note "dpkg leaves man pages out on this machine; not looking for them"
  manPages=no
else
  for program in $programs; do
    [[ $(man -w "$program") == "/usr/share/man/man1/$program.1.gz" ]] || fail "man -w $program: $(man -w "$program" 2>&1)"
  done
  page=$(LC_ALL=C.UTF-8 MANWIDTH=80 man lotsizing 2>/dev/null) || fail "man lotsizing failed"
  grep -q "LosGröße" <<<"$page" || fail "man lotsizing does not show LosGröße"
fi

# The service as installed: its user, who may write the log folder and read the
# data sources (and no one else but root and adm), the units disabled.
getent passwd lotsizing >/dev/null || fail "the package made no user lotsizing"
[[ $(stat -c '%U:%G %a' /var/log/lotsizing) == "lotsizing:adm 2750" ]] \
  || fail "/var/log/lotsizing: $(stat -c '%U:%G %a' /var/log/lotsizing)"
[[ $(stat -c '%U:%G %a' /etc/lotsizing/odbc.ini) == "root:lotsizing 640" ]] \
  || fail "/etc/lotsizing/odbc.ini: $(stat -c '%U:%G %a' /etc/lotsizing/odbc.ini)"
if compgen -G '/etc/systemd/system/*.wants/lotsizing-batch@*' >/dev/null; then
  fail "the package enabled a unit: $(ls /etc/systemd/system/*.wants/lotsizing-batch@*)"
fi
if command -v systemd-analyze >/dev/null 2>&1; then
  verify --man="$manPages" lotsizing-batch@1.service lotsizing-batch@1.timer
fi
rotation=$($sudo logrotate -d /etc/logrotate.d/lotsizing 2>&1) || fail "logrotate: $rotation"
! grep -qi 'error' <<<"$rotation" || fail "logrotate: $rotation"

# A batch as the service's user appends its log to the log folder.
chmod 755 "$work"
$sudo chown -R lotsizing: "$work/example"
$sudo runuser -u lotsizing -- env ODBCINI="$work/example/odbc.ini" LANG=C.UTF-8 \
  /usr/bin/lotsizing-batch Beispiel --shard 1/1 --log /var/log/lotsizing/batch-1.log \
  || fail "lotsizing-batch as the user lotsizing failed"
grep -q 'summary: planned=2 refused=0 failed=0' /var/log/lotsizing/batch-1.log \
  || fail "the log: $(cat /var/log/lotsizing/batch-1.log)"

# A purge takes the configuration, the log folder and the permissions along.
$sudo env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq lotsizing >/dev/null
installed=no
for path in /etc/lotsizing /etc/logrotate.d/lotsizing /var/log/lotsizing /lib/systemd/system/lotsizing-batch@.service; do
  [[ ! -e $path ]] || fail "$path is left after the purge"
done
if dpkg-statoverride --list | grep -q lotsizing; then
  fail "statoverrides left after the purge: $(dpkg-statoverride --list | grep lotsizing)"
fi
note "$(basename "$deb") installed, the example planned WW1958 at 864, purged again"
