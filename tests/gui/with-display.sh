#!/usr/bin/env bash
# Runs a Windows test program under Wine with an X display (Xvfb when none
# is set): programs that create windows need one.
top=$(cd "$(dirname "$0")/../.." && pwd)
. "$top/scripts/display.sh"
"$top/cmake/wine-run.sh" "$@"
