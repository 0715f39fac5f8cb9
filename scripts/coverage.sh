#!/usr/bin/env bash
# Builds the whole suite with coverage counters in build-coverage/, runs every
# test and reports line and branch coverage of the product code (everything
# outside tests/, bench/ and fuzz/), in all and per folder.
#   scripts/coverage.sh            build, test, report
#   scripts/coverage.sh --report   report from the counters of the last run
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=build-coverage
if [ "${1:-}" != "--report" ]; then
  bash scripts/deps.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLE_BUILD_CLIENT=ON \
        -DBRINDLE_COVERAGE=ON -DBRINDLE_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)"
  find "$build" -name '*.gcda' -delete
  (
    cd "$build"
    export QT_QPA_PLATFORM=offscreen
    source ../scripts/pgtest.sh
    trap brindle_pg_stop EXIT
    brindle_pg_start "$PWD/pgtest"
    # Failures are reported by ctest; the figures are still worth having.
    ctest -j "$(nproc)" --timeout 900 --output-on-failure || echo "coverage run: some tests failed" >&2
  )
fi
gcovr --root "$root" --object-directory "$build" -j "$(nproc)" \
      --filter "$root/(Common|client|feed|tools)/" \
      --exclude-unreachable-branches --exclude-throw-branches \
      --json-summary-pretty --json-summary "$build/coverage.json" >/dev/null
python3 - "$build/coverage.json" <<'PY'
import json, os, sys
from collections import defaultdict
files = json.load(open(sys.argv[1]))["files"]
folders = defaultdict(lambda: [0, 0, 0, 0])
for f in files:
    row = folders[os.path.dirname(f["filename"])]
    row[0] += f["line_covered"]; row[1] += f["line_total"]
    row[2] += f["branch_covered"]; row[3] += f["branch_total"]
def pct(a, b):
    return f"{100.0 * a / b:5.1f}%" if b else "    -"
print(f"{'folder':44} {'lines':>15} {'':>6} {'branches':>15} {'':>6}")
total = [0, 0, 0, 0]
for name in sorted(folders):
    r = folders[name]
    total = [t + v for t, v in zip(total, r)]
    print(f"{name:44} {r[0]:7}/{r[1]:<7} {pct(r[0], r[1])} {r[2]:7}/{r[3]:<7} {pct(r[2], r[3])}")
print(f"{'all':44} {total[0]:7}/{total[1]:<7} {pct(total[0], total[1])} {total[2]:7}/{total[3]:<7} {pct(total[2], total[3])}")
PY
