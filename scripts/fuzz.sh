#!/usr/bin/env bash
# A long fuzz campaign over any range of seeds:
#
#   scripts/fuzz.sh FROM TO [JOBS]
#
# Builds the program and lotsizing_fuzz (tests/fuzz) in build/, then runs seeds
# FROM to TO, JOBS at a time (default: one per core). Each violation is printed
# as one line with the seed and a one-line reproduction; the databases of
# failing seeds stay in fuzz-failures/ (as generated, before the run), with
# those lines in fuzz-failures/README and the odbc.ini they name.
# With MODE=batch it runs lotsizing-batch on hostile keys files and logs
# instead (lotsizing_fuzz --mode batch), keeping failing seeds in
# fuzz-batch-failures/ with a script that repeats their runs.
# With SANITIZE=1 the campaign runs the build under AddressSanitizer and
# UndefinedBehaviorSanitizer in build-sanitize/ instead, leak checks on as in
# the tests (tests/lsan.supp, libodbcinst kept loaded).
# Exit status: 0 when every seed passed, 1 when any failed.
set -euo pipefail
cd "$(dirname "$0")/.."

usage="usage: scripts/fuzz.sh FROM TO [JOBS]"
from=${1:?$usage}
to=${2:?$usage}
jobs=${3:-$(nproc)}

scripts/install-deps.sh
if [[ ${SANITIZE:-0} == 1 ]]; then
  dir=build-sanitize
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLOTSIZING_SANITIZE=ON -DLOTSIZING_BENCH=OFF \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O0 -g -DNDEBUG" >/dev/null
  odbcinst=$(readlink -f "$(ldconfig -p | awk '/libodbcinst\.so\.2 /{print $NF; exit}')")
  export LD_PRELOAD=$odbcinst
  export ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0
  export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
else
  dir=build
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$dir" -j "$(nproc)" --target lotsizing lotsizing-batch lotsizing_fuzz >/dev/null
mode=${MODE:-single}
keep=fuzz-failures
[[ $mode == batch ]] && keep=fuzz-batch-failures

# The campaign writes an odbc.ini of its own when ODBCINI is not set.
unset ODBCINI
exec "$dir/tests/fuzz/lotsizing_fuzz" --mode "$mode" --from "$from" --to "$to" --jobs "$jobs" --keep "$keep"
