#!/usr/bin/env bash
# A second run always finishes the update. Each row cuts the power at one
# boundary of the whole update: the test build of the updater ends itself
# there (DV_KILL_AT; during a patch step the engine ends itself mid-step
# first, DV_ENGINE_STOP), then every process of the prefix and its Wine
# server are killed, so registry writes the server had not saved are lost
# (power_cut). Then the updater runs again: the machine must end exactly as
# after an update never interrupted (tree, shared folder, shortcuts,
# registry, no update record left). The last rows: a crash of the updater's
# own; a step failed on a file held open, which is then closed.
. "$DV_TOP/scripts/sample-update.sh"
fresh_prefix
make_updater "$DV_BUILD/app/updater_faults.exe" || finish
install_sample "$OLD_INSTALL" "$OLD_SHARED" || finish
save_pristine
run_quiet() { wine "$UPDATER" /quiet /log 'C:\resume.log' >/dev/null 2>&1; echo $?; }

# The update never interrupted: what every row must end with.
restore_pristine
expect_eq "uninterrupted update" 0 "$(run_quiet)"
want=$(final_state)
[ -n "$(grep 'Dovetra 5.lnk' <<<"$want")" ] || fail "the reference run made no shortcut"

# cut_row KILL_AT [ENGINE_STOP]: the power cut there, then run again. The
# server stays up after the updater ends (as a machine's would), so nothing
# but its own periodic save keeps the registry.
cut_row() {
  part_row || return 0
  restore_pristine
  wineserver -p 600 </dev/null >/dev/null 2>&1
  local code
  code=$(DV_KILL_AT=$1 DV_ENGINE_STOP=${2:-} run_quiet)
  power_cut
  [ "$code" = 0 ] && { fail "$1 ${2:-}: never reached (exit code 0)"; return; }
  expect_eq "$1 ${2:+(engine stop $2) }power cut, then a second run" 0 "$(run_quiet)"
  local have; have=$(final_state)
  [ "$have" == "$want" ] && echo "ok: $1 ${2:-}: as if never interrupted" ||
    fail "$1 ${2:-}: differs: $(diff <(echo "$want") <(echo "$have") | head -20)"
}

# Boundaries by name and count (app/fault.h): before the Nth item of a part,
# after a part's work has ended but before the record notes it ("ended"),
# after the record notes it ("done"), after each registry root.
for row in shared-copy:2 shared-copy:9 ended:1 done:1 ended:2 ended:4 done:4 move:1 move:20 move:44 ended:5 \
           renames:4 renames:14 done:6 shortcuts:1 shortcuts:4 registry:2 registry:300 registry-root:1 registry-root:2 \
           registry-root:3 \
           done:9; do
  cut_row "$row"
done
# A fault of the updater's own on the worker, half-way through the registry:
# its own exit code and a last line in the log, and a second run finishes.
crash_row() {
  restore_pristine
  expect_eq "a crash ends with its own code" 12 "$(DV_CRASH_AT=registry:3 run_quiet)"
  grep -q "the updater stopped on an internal error (exception 0xC0000005)" "$(win_path 'C:\resume.log')" \
    && echo "ok: the crash is in the log" || fail "no crash line in the log"
  expect_eq "after a crash, a second run" 0 "$(run_quiet)"
  local have; have=$(final_state)
  [ "$have" == "$want" ] && echo "ok: crash: as if never interrupted" ||
    fail "crash: differs: $(diff <(echo "$want") <(echo "$have") | head -10)"
}
part_row && crash_row

# The engine ends itself inside each patch step; the updater is gone as it notices.
cut_row ended:2 1:4
cut_row ended:3 2:6
cut_row ended:4 3:3

# A step fails on a file held open after the preflight had passed; once it
# is closed, a second run finishes the update.
engine_pid() {  # the Unix pid of this prefix's patch engine
  local p
  for p in $(pgrep -f 'patch\.exe'); do
    tr '\0' '\n' 2>/dev/null <"/proc/$p/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && { echo "$p"; return; }
  done
}
held_row() {
  local run held target i
  restore_pristine
  ( run_quiet >"$scratch/held.code" ) &
  run=$!
  held=""
  for i in $(seq 500); do held=$(engine_pid); [ -n "$held" ] && { kill -STOP "$held"; break; }; sleep 0.02; done
  target="$OLD_INSTALL\\KSDraw.dll"  # step 2 changes it
  ( wine "$DRIVER" hold "$target" 120 >/dev/null 2>&1 & )
  sleep 3
  kill -CONT "$held" 2>/dev/null
  wait "$run"
  expect_eq "a step failed on a held file" 4 "$(cat "$scratch/held.code")"
  touch "$(win_path "$target").release"
  for i in $(seq 50); do [ -e "$(win_path "$target").release" ] || break; sleep 0.2; done
  expect_eq "closed, then a second run" 0 "$(run_quiet)"
  local have; have=$(final_state)
  [ "$have" == "$want" ] && echo "ok: held file: as if never interrupted" ||
    fail "held file: differs: $(diff <(echo "$want") <(echo "$have") | head -10)"
}
part_row && held_row
finish
