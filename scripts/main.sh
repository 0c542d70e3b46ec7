#!/usr/bin/env bash
# The main job, from a fresh Debian 12 machine to an updated installation:
#   1. installs what is missing and builds everything (updater, engine, tools);
#   2. writes the sample Kestrin 5.0 .. 5.0.3 trees and builds their three
#      patches with our builder, then packs the updater with the real engine;
#   3. lays Kestrin 5.0 out at the old default paths in a fresh Wine prefix
#      (build/win/e2e/main/prefix), with its association, registry values,
#      Start-menu folder and desktop shortcut;
#   4. runs the updater through its dialog: "Begin Update", the bar moving,
#      the completion message, "Quit";
#   5. prints a report: the result checked against 5.0.3 byte for byte, the
#      renames, the shortcuts, the registry values, the screenshots.
#
#   scripts/main.sh             drives the dialog itself (under Xvfb when no display)
#   scripts/main.sh --by-hand   shows the dialog on your display for you to drive
#   scripts/main.sh -d          diagnostic mode (either way)
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
by_hand=0; switches=()
for a in "$@"; do
  case $a in
    --by-hand) by_hand=1 ;;
    -d) switches+=(-d) ;;
    *) sed -n 2,17p "$0" >&2; exit 2 ;;
  esac
done
if [ $by_hand = 1 ] && [ -z "${DISPLAY:-}" ]; then
  echo "main: --by-hand needs a display (DISPLAY is not set)" >&2; exit 2
fi

echo "== 1. set-up and build"
"$top/scripts/setup.sh" || exit 1
mkdir -p "$top/build"
"$top/scripts/build.sh" "$top/build" >"$top/build/main-build.log" 2>&1 \
  || { tail -40 "$top/build/main-build.log"; echo "main: build failed"; exit 1; }
echo "built: $(file -b "$top/build/win/app/updater.exe" | cut -d, -f1-2)"

export DV_BUILD=$top/build/win DV_TOP=$top
. "$top/scripts/sample-update.sh"
keep_prefix=1

echo "== 2. sample versions, patches, packed updater"
fresh_prefix
make_updater || finish
for p in "$SAMPLE"/patches/*.RTP; do
  printf '  %-14s %9d bytes  first bytes %s\n' "$(basename "$p")" "$(stat -c %s "$p")" "$(head -c4 "$p" | od -An -tx1 | tr -d ' \n')"
done
"$DV_BUILD/../host/tools/pack/pack" list "$UPDATER" | sed 's/^/  /'

echo "== 3. Kestrin 5.0 at the old default paths"
install_sample "$OLD_INSTALL" "$OLD_SHARED" || finish
registry_names=(
  'HKCR\Kestrin.Document\shell\open\command|'
  'HKCU\Software\Vantor Corp.\Kestrin\5.0\Paths|Program'
  'HKCU\Software\Kestrin Test\Documents|Last Folder'
  'HKCU\Software\Vantor Corp.\Vantor|Vantor Directory'
  'HKCU\Software\Halvern\Dovetra 5|Vantor Directory'
  'HKCU\Software\Halvern\Dovetra for Windows\Dovetra 5|MainDictionary'
  'HKCU\Software\Halvern\Dovetra for Windows\Dovetra 5|Offscreen'
  'HKCU\Software\Design Science\KSEQ2\Preferences\Directories|AppDir'
)
read_value() {  # KEY|NAME (empty name: the default value)
  local key=${1%%|*} name=${1#*|}
  if [ -z "$name" ]; then
    wine reg query "$key" /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ[[:space:]]*//p'
  else
    reg_value "$key" "$name"
  fi
}
declare -A before
for r in "${registry_names[@]}"; do before[$r]=$(read_value "$r"); done

echo "== 4. the update, through the dialog"
warm_prefix
if [ $by_hand = 1 ]; then
  echo "The updater is on your display. Press \"Begin Update\", wait for the message, then \"Quit\"."
  start_updater "$UPDATER" "${switches[@]}"
  echo "updater ended with $(wait_updater 3600)"
else
  start_updater "$UPDATER" "${switches[@]}"
  drv wait-window "$CAPTION" 30 >/dev/null || { fail "no updater window"; finish; }
  sleep 1
  screenshot main-1-before "$CAPTION"
  echo "  message: $(message)"
  drv click "$CAPTION" 1 >/dev/null
  sleep 0.5
  screenshot main-2-during "$CAPTION"
  echo "  message: $(message)"
  positions=()
  for i in 1 2 3 4; do positions+=("$(drv progress "$CAPTION" 1000)"); sleep 1; done
  echo "  progress bar, once a second: ${positions[*]}"
  wait_quit 300
  sleep 1
  screenshot main-3-after "$CAPTION"
  msg=$(message)
  echo "  message: $msg"
  echo "  button 2: $(drv text "$CAPTION" 2)"
  expect_eq "completion message" \
    "The Kestrin installation in folder \"$NEW_INSTALL\" has been updated to Dovetra 5.0.3.${switches:+  (Vantor folder is \"$OLD_SHARED\").}" "$msg"
  quit_updater
fi

echo "== 5. report"
new=$(win_path "$NEW_INSTALL"); old=$(win_path "$OLD_INSTALL"); shared=$(win_path "$OLD_SHARED")
ignore='^\./(RTP[123]\.err|patch\.err|patchv1-v2\.err)$'
count=$(cd "$new" 2>/dev/null && find . -type f | grep -Evc "$ignore")
same_tree "all $count files of \"$NEW_INSTALL\" equal Dovetra 5.0.3 byte for byte" "$SAMPLE/final/install" "$new" "$ignore"
same_tree "shared folder \"$OLD_SHARED\" as expected after the renames" "$SAMPLE/final/shared" "$shared"
expect_extracted_gone
echo "  old install folder: $( [ -e "$old" ] && echo "still there, holding $(find "$old" -type f | wc -l) file(s)" || echo removed)"
echo "  renames:"
for pair in "$new/Kestrin.exe|$new/Dovetra.exe" "$shared/Kestrin Labels|$shared/Dovetra Labels" \
            "$new/Kestrin Labels|$new/Dovetra Labels" \
            "$shared/Kestrin 5 Preferences.prf|$shared/Dovetra 5 Preferences.prf" \
            "$shared/Kestrin 5 Palettes.prf|$shared/Dovetra 5 Palettes.prf"; do
  from=${pair%%|*} to=${pair#*|}
  state="missing"
  [ -e "$to" ] && state="present"
  [ -e "$from" ] && state="$state, old name still there"
  printf '    %-44s -> %-28s %s\n' "$(basename "$(dirname "$from")")\\$(basename "$from")" "$(basename "$to")" "$state"
done
echo "  step logs: $(cd "$new" 2>/dev/null && ls RTP*.err patch*.err 2>/dev/null | tr '\n' ' ')"

programs=$(win_path 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs')
desktop=$(win_path 'C:\users\Public\Desktop')
label() { case $1 in "$programs"/*) echo "Programs\\${1#"$programs"/}" ;; *) echo "Desktop\\${1#"$desktop"/}" ;; esac; }
echo "  shortcuts (read back through the shell's link object):"
for l in "$programs/Dovetra 5/Dovetra 5.lnk" "$programs/Dovetra 5/Kestrin 4 to 3 Converter.lnk" \
         "$programs/Dovetra 5/FileConverter.lnk" "$programs/Dovetra 5/ReadMe.lnk" "$desktop/Dovetra 5.lnk"; do
  if info=$(drv link-info "$(winepath -w "$l" 2>/dev/null)"); then
    printf '    %-40s -> %s ("%s")\n' "$(label "$l")" "$(sed -n 1p <<<"$info")" "$(sed -n 2p <<<"$info")"
  else
    fail "no shortcut $(label "$l")"
  fi
done
[ -e "$programs/Kestrin 5.0" ] && fail "old Start-menu folder left" || echo "    old Start-menu folder \"Kestrin 5.0\": removed"
[ -e "$desktop/Kestrin 5.0.lnk" ] && fail "old desktop shortcut left" || echo "    desktop \"Kestrin 5.0.lnk\": removed"
echo "  registry (before -> after):"
for r in "${registry_names[@]}"; do
  after=$(read_value "$r")
  printf '    %s [%s]\n      %s\n   -> %s\n' "${r%%|*}" "${r#*|}" "${before[$r]:-(none)}" "${after:-(none)}"
done
expect_eq "open command names the new program" "\"$NEW_INSTALL\\Dovetra.exe\" \"%1\"" \
  "$(read_value 'HKCR\Kestrin.Document\shell\open\command|')"
echo "  screenshots: $(realpath "$shots"/main-[123]-*.png 2>/dev/null | tr '\n' ' ')"
finish
