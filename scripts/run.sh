#!/usr/bin/env bash
# Sets up, builds and runs the main job: the feed server and MAVO on a page of
# live prices. Until the client lands this builds the library and its tools
# and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
if [ ! -x build/client/mavo ]; then
  echo "MAVO is not part of this build yet: the library, the tools and the tests were built in build/."
  echo "Run 'bash scripts/test.sh' to test them."
  exit 1
fi
