#!/usr/bin/env bash
# The test command: installs what is missing, builds both trees and runs every
# test (host tests natively, Windows tests under Wine in the project's own
# prefixes, end-to-end tests through the real dialog). Ends with one line:
#   N passed, N failed
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/setup.sh || exit 1
scripts/build.sh "$top/build" || { echo "build failed"; echo "0 passed, 1 failed"; exit 1; }
. scripts/display.sh

passed=0; failed=0
count() {  # reads ctest's closing line from a log
  local line; line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$1" | tail -1)
  [ -z "$line" ] && { failed=$((failed + 1)); return; }
  local f t
  f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  t=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + t - f)); failed=$((failed + f))
}

echo "== host tests"
(cd build/host && ctest --output-on-failure -j 2) 2>&1 | tee build/host-tests.log
count build/host-tests.log
echo "== Windows tests (under Wine)"
(cd build/win && ctest --output-on-failure -j 2 --timeout 900) 2>&1 | tee build/win-tests.log
count build/win-tests.log
# Every prefix the tests made has its own server; none may outlive the run.
for reg in $(find build -maxdepth 6 -name system.reg 2>/dev/null); do
  WINEPREFIX=$(dirname "$reg") wineserver -k 2>/dev/null || true
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
