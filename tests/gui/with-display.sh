#!/usr/bin/env bash
# Runs a Windows test program under Wine with an X display (Xvfb when none
# is set): programs that create windows need one. Each such program gets a
# prefix of its own: Wine's desktop process takes the display of the first
# program of a prefix, so a windowless test started beside it in a shared
# prefix would leave it no display at all.
top=$(cd "$(dirname "$0")/../.." && pwd)
. "$top/scripts/display.sh"
export WINEPREFIX=${WINEPREFIX:-$top/build/prefix-$(basename "$1" .exe)}
"$top/cmake/wine-run.sh" "$@"
