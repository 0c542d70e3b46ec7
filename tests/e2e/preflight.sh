#!/usr/bin/env bash
# Nothing starts that cannot finish: a row per thing that stands in the way
# of an update, each on a fresh sample Kestrin 5.0. For each row /check and
# the update itself (/quiet /log) must agree on the exit code, the update
# must change nothing anywhere (installation, shared folder, shortcuts,
# registry, no update record), and the log must name what is in the way.
# Files in use are also met in the dialog: its box offers Retry, which
# completes the update once the file is closed.
. "$DV_TOP/scripts/sample-update.sh"
fresh_prefix
make_updater || finish
LOG='C:\deploy\preflight.log'; log=$(win_path 'C:\')/deploy/preflight.log; mkdir -p "$(dirname "$log")"
dir=$(win_path "$OLD_INSTALL")
# Files each patch step changes first (the sample's builds): step 1 changes
# KSText.dll, step 2 KSDraw.dll, step 3 KSSpell.dll, and none of them before.
STEP_FILES=(KSText.dll KSDraw.dll KSSpell.dll)

fresh_install() {  # [INSTALL]: Kestrin 5.0 anew, at the default paths unless told
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  local f
  for f in 'C:\Program Files\Vantor Corp' 'C:\Program Files\Halvern' 'C:\ProgramData\Dovetra 5.0.3 Update'; do
    rm -rf "$(win_path "$f")"
  done
  install_sample "${1:-$OLD_INSTALL}" "$OLD_SHARED"
}

# refused NAME CODE PATTERN: /check and the update both end with CODE,
# change nothing, and log PATTERN. Wine runs as the user WINE_AS says.
refused() {
  local name=$1 code=$2 pattern=$3
  local before; before=$(snapshot)
  rm -f "$log"
  expect_eq "$name: /check" "$code" "$(${WINE_AS:-} wine "$UPDATER" /check /quiet /log "$LOG" >/dev/null 2>&1; echo $?)"
  expect_eq "$name: update" "$code" "$(${WINE_AS:-} wine "$UPDATER" /quiet /log "$LOG" >/dev/null 2>&1; echo $?)"
  expect_eq "$name: nothing changed" "$before" "$(snapshot)"
  [ "$(grep -c "exit code $code" "$log")" -ge 2 ] || fail "$name: exit code not logged twice"
  grep -Eq "$pattern" "$log" && echo "ok: $name: log names it" || fail "$name: log lacks [$pattern]: $(cat "$log")"
}

# A file held without sharing: met in the dialog, retried once it is closed.
fresh_install || finish
held="$OLD_INSTALL\\${STEP_FILES[1]}"
( wine "$DRIVER" hold "$held" 300 >/dev/null 2>&1 & )
for i in $(seq 50); do [ "$(quiet /check /quiet)" = 8 ] && break; sleep 0.2; done
refused "file held open" 8 "KSDraw\.dll: in use by another program"
warm_prefix
start_updater "$UPDATER"
drv wait-window "$CAPTION" 30 >/dev/null || { fail "no updater window"; finish; }
drv click "$CAPTION" 1 >/dev/null
box=$(drv msgbox-text DV503Updater 30)
case "$box" in *"KSDraw.dll: in use by another program"*) echo "ok: the box names the file" ;;
  *) fail "box: [$box]" ;; esac
expect_eq "the box offers Retry and Cancel" "2 4" "$(drv msgbox-buttons DV503Updater | sort -n | tr "\n" " " | sed "s/ $//")"
touch "$(win_path "$held").release"
for i in $(seq 50); do [ -e "$(win_path "$held").release" ] || break; sleep 0.2; done
drv msgbox-answer DV503Updater 4 >/dev/null
wait_quit 120
quit_updater 0
same_tree "after Retry the update completed" "$SAMPLE/final/install" "$(win_path "$NEW_INSTALL")" '^\./RTP[123]\.err$'

# A running program of the installation.
fresh_install || finish
wine "$OLD_INSTALL\\Kestrin.exe" >/dev/null 2>&1 &
for i in $(seq 50); do [ "$(quiet /check /quiet)" = 8 ] && break; sleep 0.2; done
refused "running program" 8 "Kestrin\.exe: in use by another program"
wineserver -k 2>/dev/null; wineserver -w 2>/dev/null

# A file of each patch step changed since it was installed.
for step in 1 2 3; do
  fresh_install || finish
  f=${STEP_FILES[$((step - 1))]}
  printf 'a local change' | dd of="$dir/$f" bs=1 seek=5000 conv=notrunc 2>/dev/null
  refused "changed file of step $step" 10 "${f//./\\.}: not the version patch step $step"
done

# The new folder: taken by a file of the installation's, or merely there.
fresh_install || finish
new=$(win_path "$NEW_INSTALL"); mkdir -p "$new"; printf 'not ours' >"$new/Kestrin.exe"
refused "new folder taken" 10 "Dovetra 5\\\\Kestrin\.exe: A file or folder of that name is there already"
rm "$new/Kestrin.exe"
expect_eq "empty new folder: /check" 0 "$(quiet /check /quiet)"
expect_eq "empty new folder: update" 0 "$(quiet /quiet)"
same_tree "empty new folder: updated into it" "$SAMPLE/final/install" "$new" '^\./RTP[123]\.err$'

# Another update running: the second changes nothing.
fresh_install || finish
warm_prefix
start_updater "$UPDATER"
drv wait-window "$CAPTION" 30 >/dev/null || { fail "no updater window"; finish; }
refused "second updater" 9 "Another update of Kestrin to Dovetra 5\.0\.3 is running"
drv click "$CAPTION" 2 >/dev/null
wait_updater 30 >/dev/null

# A drive too small for the new files (needs the right to mount).
small=$scratch/small; mkdir -p "$small"
if mount -t tmpfs -o size=3400k tmpfs "$small" 2>/dev/null; then
  ln -sfn "$small" "$WINEPREFIX/dosdevices/f:"
  fresh_install 'F:\Kestrin' || { umount "$small"; finish; }
  refused "drive too small" 10 "Drive F:\\\\: the update needs [0-9]+ MB there, [0-9]+ MB are free"
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  umount "$small"; rm -f "$WINEPREFIX/dosdevices/f:"
else
  echo "note: cannot mount a small drive here: that row is skipped"
fi

# An install folder the ordinary user may not write (as that user, for whom
# Wine keeps Windows' rights).
fresh_install || finish
hand_to_user || finish
chmod a-w "$dir"
WINE_AS=as_user refused "folder not writable" 10 "Kestrin 5\.0: this user cannot write in the installation"
chmod u+w "$dir"
finish
