#!/usr/bin/env bash
# The test command: installs what is missing, builds both trees and runs every
# test (host tests natively, Windows tests under Wine in the project's own
# prefixes, end-to-end tests through the real updater). Ends with one line:
#   N passed, N failed
# counted from CTest's JUnit reports, one per tree.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/setup.sh || exit 1
scripts/build.sh "$top/build" || { echo "build failed"; echo "0 passed, 1 failed"; exit 1; }
. scripts/display.sh
# Tests of read-only files and rights run Wine as this ordinary user: as root
# Wine overwrites what Windows would refuse.
export DV_TEST_USER=dvtest
id "$DV_TEST_USER" >/dev/null 2>&1 || useradd -m "$DV_TEST_USER" || exit 1

echo "== host tests"
(cd build/host && ctest --output-on-failure -j 2 --output-junit "$top/build/host-tests.xml")
echo "== Windows tests (under Wine)"
(cd build/win && ctest --output-on-failure -j 2 --timeout 900 --output-junit "$top/build/win-tests.xml")
# Every prefix the tests made has its own server; none may outlive the run.
for reg in $(find build -maxdepth 6 -name system.reg 2>/dev/null); do
  WINEPREFIX=$(dirname "$reg") wineserver -k 2>/dev/null || true
done

# A tree whose report is missing counts as one failure.
python3 - build/host-tests.xml build/win-tests.xml <<'PY'
import sys, xml.etree.ElementTree as ET
passed = failed = 0
for path in sys.argv[1:]:
    try:
        cases = ET.parse(path).getroot().iter('testcase')
    except (OSError, ET.ParseError):
        failed += 1
        continue
    for c in cases:
        if c.get('status') == 'run' and c.find('failure') is None and c.find('error') is None:
            passed += 1
        else:
            failed += 1
print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
PY
