#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine, runs the installed
# example from the installed files alone, checks the plan of WW1958 and the man
# pages, and removes the package again.
#
#   scripts/package-test.sh [BUILD_DIR]
#
# BUILD_DIR: a configured build tree to package (scripts/test.sh passes its
# `build`); default build-package, configured here as a Release tree without
# tests and benchmark. Needs root or sudo. Where lotsizing is installed already
# it stops rather than replace and remove it.
set -euo pipefail
cd "$(dirname "$0")/.."

dir=${1:-build-package}
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
fail() { echo "package-test: $*" >&2; exit 1; }

# The man pages render without a warning.
for page in man/*.1; do
  warnings=$(groff -man -Tutf8 -k -ww -z "$page" 2>&1)
  [[ -z $warnings ]] || fail "$page: $warnings"
done

if dpkg-query -W -f='${Status}' lotsizing 2>/dev/null | grep -q "ok installed"; then
  fail "lotsizing is installed on this machine; remove it first (apt-get purge lotsizing)"
fi

if [[ ! -f $dir/CMakeCache.txt ]]; then
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DLOTSIZING_TESTS=OFF -DLOTSIZING_BENCH=OFF >/dev/null
fi
cmake --build "$dir" -j "$(nproc)" >/dev/null
rm -rf "$dir/package"
cpack --config "$dir/CPackConfig.cmake" -G DEB -B "$dir/package" >/dev/null
debs=("$dir"/package/lotsizing_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "cpack made no single package: ${debs[*]}"
deb=$(realpath "${debs[0]}")

# Only the programs, their man pages and the shared files; no tests, no benchmark.
contents=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }')
unexpected=$(grep -Ev '^\./usr/(bin/lotsizing(-batch|-report)?|share/man/man1/lotsizing(-batch|-report)?\.1\.gz|share/lotsizing/.+)$' \
  <<<"$contents" || true)
[[ -z $unexpected ]] || fail "unexpected files in the package: $unexpected"
programs=$(sed -n 's|^\./usr/bin/||p' <<<"$contents")
for program in lotsizing lotsizing-batch $programs; do
  grep -qx "./usr/bin/$program" <<<"$contents" || fail "$program is not in the package"
  grep -qx "./usr/share/man/man1/$program.1.gz" <<<"$contents" || fail "no man page for $program"
done

work=$(mktemp -d)
cleanup() {
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq lotsizing >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
# The recommended drivers are left out: the example needs only SQLite's, which
# scripts/install-deps.sh installs, and removing the package then leaves the
# machine as it was.
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >/dev/null

# The example, from the installed files alone, in a folder of its own.
output=$(cd "$work" && env -u ODBCINI -u ODBCSYSINI /usr/share/lotsizing/example/run-example.sh "$work/example") \
  || fail "the installed example failed:"$'\n'"$output"
grep -Eq '^WW1958 Gesamtkosten: 864(\.0*)?$' <<<"$output" || fail "WW1958 does not cost 864:"$'\n'"$output"
lots=$(sqlite3 "$work/example/example.db" \
  "select group_concat(LosGröße, ' ') from (select LosGröße from LosGröße where Bedarf = 'WW1958' order by Termin);")
[[ $lots == "98 97 121 112 67 135" ]] || fail "WW1958 lots: $lots, expected 98 97 121 112 67 135"

# The man pages are found and show their umlauts, unless dpkg is told to leave
# man pages out (slim container images).
if grep -Eqs '^path-exclude=?.*/usr/share/man' /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/*; then
  echo "package-test: dpkg leaves man pages out on this machine; not looking for them"
else
  for program in $programs; do
    [[ $(man -w "$program") == "/usr/share/man/man1/$program.1.gz" ]] || fail "man -w $program: $(man -w "$program" 2>&1)"
  done
  page=$(LC_ALL=C.UTF-8 MANWIDTH=80 man lotsizing 2>/dev/null) || fail "man lotsizing failed"
  grep -q "LosGröße" <<<"$page" || fail "man lotsizing does not show LosGröße"
fi
echo "package-test: $(basename "$deb") installed, the example planned WW1958 at 864, removed again"
