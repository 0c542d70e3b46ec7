# Sourced by the GUI tests, the end-to-end tests (through sample-update.sh)
# and the main command: each run gets a prefix and a scratch folder of its
# own under the build folder, an X display, the GUI driver and a packed
# updater. Expects: DV_BUILD (the win build folder), DV_TOP (the source tree).
set -uo pipefail
: "${DV_BUILD:?}" "${DV_TOP:?}"
. "$DV_TOP/scripts/wine-env.sh"
. "$DV_TOP/scripts/display.sh"

# A part of a long table: the script's first argument "PART/PARTS" (CTest
# runs the parts side by side); its own scratch folder and prefix.
DV_PART=""
case "${1:-}" in [1-9]*/[1-9]*) DV_PART=$1 ;; esac
test_name=$(basename "$0" .sh)${DV_PART:+-${DV_PART%/*}of${DV_PART#*/}}
scratch=$DV_BUILD/gui/$test_name
export WINEPREFIX=$scratch/prefix
DRIVER=$DV_BUILD/tests/gui/gui_driver.exe
shots=$DV_BUILD/../screenshots
failures=0
CAPTION="Kestrin 5.0 to Dovetra 5 Updater"

fresh_prefix() {
  wineserver -k 2>/dev/null || true
  rm -rf "$scratch"; mkdir -p "$scratch"
  "$DV_TOP/scripts/prefix.sh" ensure "$WINEPREFIX"
  # Replaces display.sh's trap, so it stops that Xvfb too.
  trap 'wineserver -k 2>/dev/null || true; [ -n "${DV_XVFB_PID:-}" ] && kill $DV_XVFB_PID 2>/dev/null' EXIT
  start_session
}

# One wineserver for the whole test: two programs started together on a
# cold prefix (the updater and the driver) otherwise race to start it.
start_session() {
  wineserver -p 60 </dev/null >/dev/null 2>&1
  wine cmd /c exit >/dev/null 2>&1
}

# Programs started while wineserver runs inherit the session's environment;
# a change to HKCU\Environment needs a new session.
new_session() { wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; start_session; }

drv() { wine "$DRIVER" "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }

# part_row: whether this part runs the table's next row (the rows are dealt
# out to the parts in turn); without a part, every row.
rows_seen=0
part_row() {
  rows_seen=$((rows_seen + 1))
  [ -z "$DV_PART" ] || [ $(((rows_seen - 1) % ${DV_PART#*/} + 1)) = "${DV_PART%/*}" ]
}

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_eq() {  # what expected actual
  if [ "$2" == "$3" ]; then echo "ok: $1"; else fail "$1: expected [$2], got [$3]"; fi
}

# pack OUT.exe BASE.exe TAG=FILE...: the updater with payload blocks
# appended by the payload's pack tool from the host build beside this one.
pack() {
  local out=$1 base=$2; shift 2
  local tool=$DV_BUILD/../host/tools/pack/pack
  [ -x "$tool" ] || { fail "no pack tool at $tool (build the host tree)"; return 1; }
  "$tool" append "$base" "$out" "$@" >/dev/null || { fail "pack append $*"; return 1; }
}

# Stand-in payload files: text, not the patch engine.
stand_in_blocks() {  # DIR: writes the five files, prints TAG=FILE for pack
  local d=$1; mkdir -p "$d"
  local tag
  for tag in PDLL RTP3 RTP2 RTP1 PEXE; do
    printf 'stand-in %s block: text, not the patch engine\r\n' "$tag" >"$d/$tag.bin"
  done
  echo "PDLL=$d/PDLL.bin RTP3=$d/RTP3.bin RTP2=$d/RTP2.bin RTP1=$d/RTP1.bin PEXE=$d/PEXE.bin"
}

# Starts an updater in the background; wait_updater gives its exit code.
start_updater() {  # EXE [ARGS...]
  rm -f "$scratch/exit"
  ( wine "$@" >"$scratch/updater.out" 2>&1; echo $? >"$scratch/exit" ) &
}
wait_updater() {  # [SECONDS]: prints the exit code, or "running"
  local s=${1:-20} i
  for i in $(seq $((s * 10))); do
    [ -s "$scratch/exit" ] && { cat "$scratch/exit"; return; }
    sleep 0.1
  done
  echo running
}

screenshot() {  # NAME [CAPTION]: the screen, cropped to the window when given
  mkdir -p "$shots"
  local crop=() r
  if [ $# -gt 1 ] && r=$(drv rect "$2") && [ -n "$r" ]; then
    set -- "$1" $r
    crop=(-crop "$4x$5+$2+$3")
  fi
  import -window root "${crop[@]}" +repage "$shots/$1.png" 2>/dev/null || echo "note: no screenshot $1"
}

# win_path WINDOWS_PATH: its Unix path, as "winepath -u" gives it. A path on
# a drive of the prefix that exists as written (letter case and all) is
# mapped here without starting a Wine program; any other is left to
# winepath, which matches names without regard to case.
win_path() {
  case "$1" in
    [A-Za-z]:\\*)
      local d=${1:0:1} u
      u=$WINEPREFIX/dosdevices/${d,,}:${1:2}; u=${u//\\//}
      [ -e "$u" ] && { printf '%s\n' "$u"; return; } ;;
  esac
  winepath -u "$1" 2>/dev/null
}

# A passing test's prefix goes (CI's disk holds only a few at once); a failing
# one's stays to be looked into. The main command keeps its own (keep_prefix=1).
keep_prefix=0
finish() {
  wineserver -k 2>/dev/null || true
  if [ "$failures" -eq 0 ]; then
    [ "$keep_prefix" = 1 ] || { wineserver -w 2>/dev/null; rm -rf "$WINEPREFIX"; }
    echo "PASS: $test_name"; exit 0
  fi
  echo "$failures failure(s) in $test_name"; exit 1
}
