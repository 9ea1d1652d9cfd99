#!/usr/bin/env bash
# Sets up everything and runs every test: a normal build and a build under
# AddressSanitizer and UndefinedBehaviorSanitizer. The tests start their own
# databases (a SQLite file and a throw-away PostgreSQL cluster).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=$(nproc)

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}

echo "== Build and tests =="
run_suite build
echo "== Build and tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
run_suite build-sanitize -DLOTSIZING_SANITIZE=ON -DLOTSIZING_BENCH=OFF
