#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix (never ~/.wine).
# WINEPREFIX may be set by the caller (a test that needs a throwaway prefix);
# otherwise the shared test prefix beside the build is used.
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=${DV_TEST_PREFIX:-$here/../build/prefix-test}}"
export WINEPREFIX
. "$here/../scripts/wine-env.sh"
"$here/../scripts/prefix.sh" ensure "$WINEPREFIX" >/dev/null || exit 1
exec wine "$@"
