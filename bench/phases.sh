#!/usr/bin/env bash
# The update's time in the dialog and with /quiet, on the sample installation
# with unchanged files added up to about 300 MB, and the dialog's progress
# bar once a second beside the share of the run's time gone by (the work
# done, counted as time). Prints figures only; asserts nothing.
# Usage: bench/phases.sh [BUILD_ROOT]   (default: build; MB=300)
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
root=${1:-$top/build}
export DV_TOP=$top DV_BUILD=$root/win
. "$top/scripts/sample-update.sh"
fresh_prefix
make_updater || exit 1
install_sample "$OLD_INSTALL" "$OLD_SHARED" || exit 1
# Unchanged files: no patch step names them; the copy, the move and the
# preflight's reading see them all.
dir="$(win_path "$OLD_INSTALL")/Kestrin Libraries/Bench"
mkdir -p "$dir"
for i in $(seq $((${MB:-300} / 10))); do head -c 10485760 /dev/urandom >"$dir/part-$i.kli"; done
echo "installation: $(du -sm "$(win_path "$OLD_INSTALL")" | cut -f1) MB"
save_pristine

restore_pristine
warm_prefix
t0=$(date +%s.%N)
wine "$UPDATER" /quiet /log 'C:\quiet.log' >/dev/null 2>&1
echo "exit code $? with /quiet"
quiet_s=$(echo "$(date +%s.%N) - $t0" | bc)

restore_pristine
warm_prefix
start_updater "$UPDATER" /log 'C:\dialog.log'
drv wait-window "$CAPTION" 30 >/dev/null || { echo "no updater window"; exit 1; }
drv click "$CAPTION" 1 >/dev/null
t0=$(date +%s.%N)
positions=()
while [ "$(drv text "$CAPTION" 2)" != "Quit" ]; do
  positions+=("$(echo "$(date +%s.%N) - $t0" | bc) $(drv progress "$CAPTION" 1000)")
  sleep 1
done
dialog_s=$(echo "$(date +%s.%N) - $t0" | bc)
drv click "$CAPTION" 2 >/dev/null
echo "exit code $(wait_updater 30) in the dialog"

printf '%-10s %8.1f s from launch to exit\n%-10s %8.1f s from the click to "Quit"\n' "/quiet" "$quiet_s" "dialog" "$dialog_s"
# The same span of both runs, from their logs: the preflight's start to the
# outcome. The bar's samples are set beside the share of the dialog's span
# gone by (the work done, counted as time).
for run in quiet dialog; do
  python3 - "$WINEPREFIX/drive_c/$run.log" "$run" <<'PY'
import sys, datetime
t = {}
for line in open(sys.argv[1], encoding='utf-8', errors='replace'):
    for key in ('preflight: begun', 'outcome:'):
        if line[24:].startswith(key):
            t[key] = datetime.datetime.strptime(line[:23], '%Y-%m-%d %H:%M:%S.%f')
span = (t['outcome:'] - t['preflight: begun']).total_seconds()
print('%-10s %8.1f s from the preflight to the outcome (log)' % (sys.argv[2], span))
open(sys.argv[1] + '.span', 'w').write('%.3f' % span)
PY
done
span=$(cat "$WINEPREFIX/drive_c/dialog.log.span")
printf '%8s %8s %8s\n' second bar time
for p in "${positions[@]}"; do
  set -- $p
  share=$(echo "$1 * 100 / $span" | bc)
  [ "$share" -gt 100 ] && share=100
  printf '%8.1f %7d%% %7d%%\n' "$1" $(($2 * 100 / 250)) "$share"
done
[ -n "${KEEP:-}" ] || rm -rf "$scratch"
