#!/usr/bin/env bash
# Builds the updater, packs it with stand-in payload blocks, lays a sample
# Kestrin 5.0 installation into a fresh prefix BUILD/prefix-main and starts
# the updater there. With a display of your own the dialog stays up for you;
# under Xvfb (no DISPLAY) a screenshot is taken and the dialog is cancelled.
#   run-updater.sh [BUILD_ROOT] [-d]
# The payload here is stand-in text, not the patch engine: "Begin Update"
# cannot patch anything with it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
root=$top/build; args=()
for a in "$@"; do
  case $a in -d) args+=(-d) ;; *) root=$a ;; esac
done
had_display=${DISPLAY:-}
"$top/scripts/build.sh" "$root"
. "$top/scripts/display.sh"
. "$top/scripts/wine-env.sh"
export WINEPREFIX=$root/prefix-main
driver=$root/win/tests/gui/gui_driver.exe
caption="Kestrin 5.0 to Dovetra 5 Updater"

wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
"$top/scripts/prefix.sh" ensure "$WINEPREFIX"
# Its own stdio: a server left holding our output pipe would hold up a reader.
wineserver -p 30 </dev/null >/dev/null 2>&1
"$top/scripts/sample-install.sh" "$WINEPREFIX" --driver "$driver"

run=$root/run; mkdir -p "$run/blocks"
blocks=()
for tag in PDLL RTP3 RTP2 RTP1 PEXE; do
  printf 'stand-in %s block: text, not the patch engine\r\n' "$tag" >"$run/blocks/$tag.bin"
  blocks+=("$tag=$run/blocks/$tag.bin")
done
"$root/host/tools/pack/pack" append "$root/win/app/updater.exe" "$run/updater.exe" "${blocks[@]}"

echo "run-updater: starting $run/updater.exe ${args[*]:-} in $WINEPREFIX"
wine "$run/updater.exe" "${args[@]}" &
updater=$!
if wine "$driver" wait-window "$caption" 30; then
  sleep 1
  mkdir -p "$root/screenshots"
  import -window root "$root/screenshots/run-updater.png" && echo "run-updater: screenshot $root/screenshots/run-updater.png"
  wine "$driver" nth-text "$caption" 4 | tr -d '\r'
else
  echo "run-updater: the dialog did not appear" >&2
fi
echo "run-updater: the payload is stand-in text, so \"Begin Update\" cannot patch anything here."
if [ -z "$had_display" ]; then
  wine "$driver" click "$caption" 2 >/dev/null || true
fi
rc=0; wait "$updater" || rc=$?
echo "run-updater: the updater ended with exit code $rc"
wineserver -k 2>/dev/null || true
