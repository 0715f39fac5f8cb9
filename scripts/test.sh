#!/usr/bin/env bash
# Sets up, builds and runs every test.
#   scripts/test.sh                      normal build in build/
#   BRINDLE_SANITIZE=thread scripts/test.sh   sanitizer build in build-thread/
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

sanitize=${BRINDLE_SANITIZE:-}
build=build${sanitize:+-${sanitize//,/-}}
jobs=$(nproc)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLE_BUILD_CLIENT=ON -DBRINDLE_SANITIZE="$sanitize" >/dev/null
cmake --build "$build" -j "$jobs"
cd "$build"
export QT_QPA_PLATFORM=offscreen
# A private PostgreSQL server for the ODBC tests, stopped on exit whatever
# happens.
source ../scripts/pgtest.sh
trap brindle_pg_stop EXIT
brindle_pg_start "$PWD/pgtest"
ctest --output-on-failure -j "$jobs" --timeout 600
