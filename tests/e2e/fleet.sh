#!/usr/bin/env bash
# As a fleet tool runs the update: by an account whose own hive holds none of
# the suite's keys (SYSTEM's token cannot be had under Wine: root's prefix
# user stands in, its suite keys saved into a hive file and deleted), for the
# users who used the suite: "bob" (S-...-2001, hive loaded below HKEY_USERS as
# for a user logged on) and "carol" (S-...-2002, listed in ProfileList, hive
# not loaded). Each row: the exit code with or without /msicodes, the tree,
# each profile's registry, the log. Wine writes nothing back to the file of a
# hive loaded with RegLoadKey, so carol's registry is seen through the log's
# lines of her part (loaded, rewritten, unloaded), not in her file.
. "$DV_TOP/scripts/sample-update.sh"
fresh_prefix
make_updater "$DV_BUILD/app/updater_faults.exe" || finish
install_sample "$OLD_INSTALL" "$OLD_SHARED" || finish
LOG='C:\fleet.log'; log=$(win_path 'C:\')/fleet.log
PL='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList'
BOB=S-1-5-21-7-7-7-2001 CAROL=S-1-5-21-7-7-7-2002
for u in bob carol; do mkdir -p "$(win_path 'C:\users')/$u"; done
drv hive save 'C:\users\bob\NTUSER.DAT' || fail "hive save"
cp "$(win_path 'C:\users')/bob/NTUSER.DAT" "$(win_path 'C:\users')/carol/NTUSER.DAT"
for k in 'HKCU\Software\Vantor Corp.' 'HKCU\Software\Kestrin Test'; do wine reg delete "$k" /f >/dev/null 2>&1; done
wine reg add "$PL\\$BOB" /v ProfileImagePath /d 'C:\users\bob' /f >/dev/null
save_pristine

# row NAME CODE SWITCHES...: from the pristine machine (bob loaded unless
# NOBOB=1, carol listed unless NOCAROL=1), the updater's exit code.
row() {
  local name=$1 code=$2; shift 2
  restore_pristine; start_session
  [ "${NOBOB:-}" = 1 ] || drv hive load $BOB 'C:\users\bob\NTUSER.DAT' || fail "$name: bob's hive"
  [ "${NOCAROL:-}" = 1 ] || list_carol
  [ -z "${HELD:-}" ] || hold "$HELD"
  rm -f "$log"
  expect_eq "$name: exit code" "$code" "$(run "$@")"
}
# The exit code as Windows gives it (Wine's own exit status keeps 8 bits).
# The updater's path and the log's have no blanks.
run() { wine cmd /v:on /c "$(winepath -w "$UPDATER") /quiet /log $LOG $* >nul 2>&1 & echo !errorlevel!" | tr -d '\r'; }
list_carol() { wine reg add "$PL\\$CAROL" /v ProfileImagePath /d 'C:\users\carol' /f >/dev/null; }
hold() {  # FILE: held open without sharing (a user logging on) until FILE.release
  ( wine "$DRIVER" hold "$1" 300 >/dev/null 2>&1 & )
  for i in $(seq 100); do drv hold "$1" 0 >/dev/null || return 0; sleep 0.1; done
  fail "$1 not held"
}
release() { touch "$(win_path "$1").release"; for i in $(seq 50); do [ -e "$(win_path "$1").release" ] || break; sleep 0.2; done; }
# The detection rule of README.md, exactly as written there.
detected() { wine reg query 'HKLM\SOFTWARE\Halvern\Dovetra 5\Update' /v Version /reg:32 2>/dev/null | tr -d '\r' |
  grep -Eq '^ +Version +REG_SZ +5\.0\.3$' && echo yes || echo no; }
new_value() { reg_value "$1\\Software\\Halvern\\Dovetra 5" 'Vantor Directory'; }
# The registry a completed update leaves in a user's root.
migrated() {  # NAME ROOT
  expect_eq "$1: new keys" "$NEW_INSTALL" "$(new_value "$2")"
  expect_eq "$1: paths rewritten" "$NEW_INSTALL\\Dovetra.exe" \
    "$(reg_value "$2\\Software\\Vantor Corp.\\Kestrin\\5.0\\Paths" Program)"
  wine reg query "$2\\Software\\Vantor Corp.\\Vantor" >/dev/null 2>&1 && fail "$1: old key left" || echo "ok: $1: old keys gone"
}
completed() {  # NAME: the tree, the shortcuts, nothing of the suite in the running account's hive
  same_tree "$1: tree" "$SAMPLE/final/install" "$(win_path "$NEW_INSTALL")" '^\./RTP[123]\.err$'
  [ -e "$(win_path 'C:\users\Public\Desktop')/Dovetra 5.lnk" ] && echo "ok: $1: shortcut" || fail "$1: no shortcut"
  expect_eq "$1: nothing written to the running account's hive" "" "$(new_value HKCU)"
  expect_eq "$1: detected as installed" yes "$(detected)"
}
carol_done() {  # NAME: her part in the log, her hive unloaded again
  grep -q "registry profile $CAROL (C:\\\\users\\\\carol\\\\NTUSER.DAT): 0 new values not written, 0 old keys not deleted; unloaded" "$log" \
    && echo "ok: $1: carol's part" || fail "$1: carol's part not logged: $(grep -i profile "$log")"
  grep -q "registry HKEY_USERS\\\\Dovetra Update $CAROL: 3 values rewritten" "$log" \
    && echo "ok: $1: carol's paths" || fail "$1: carol's paths not rewritten: $(grep "registry HKEY_USERS" "$log")"
  wine reg query "HKU\\Dovetra Update $CAROL" >/dev/null 2>&1 && fail "$1: carol's hive left loaded" || true
}

NOCAROL=1 row "the installing user's hive loaded" 0 /msicodes
migrated "loaded" "HKU\\$BOB"; completed "loaded"

row "two users, one hive not loaded" 0
migrated "two users: bob" "HKU\\$BOB"; completed "two users"; carol_done "two users"

# carol logging on: her file held. Her part is left to a second run.
f='C:\users\carol\NTUSER.DAT'
HELD=$f NOBOB=1 row "a hive that cannot be loaded" 1618 /msicodes
expect_eq "not detected as installed" no "$(detected)"
grep -q "exit code 1618 (Windows Installer's, /msicodes; the updater's 5)" "$log" && echo "ok: both codes logged" \
  || fail "codes not logged: $(tail -2 "$log")"
grep -q "registry profile $CAROL .*could not be loaded (error 32)" "$log" && echo "ok: the profile is named" \
  || fail "the held profile not named"
release "$f"; rm -f "$log"
expect_eq "then a second run" 0 "$(run)"
carol_done "second run"; completed "second run"

# A power cut while carol's hive is loaded for her part.
DV_KILL_AT=registry-root:1 row "a power cut in carol's part" 99
power_cut; start_session; drv hive load $BOB 'C:\users\bob\NTUSER.DAT'; list_carol
rm -f "$log"
expect_eq "after the power cut, a second run" 0 "$(run)"
migrated "power cut: bob" "HKU\\$BOB"; completed "power cut"; carol_done "power cut"

# Profiles that disagree about the shared folder: a refusal naming both.
other=$(win_path 'C:\Other\Vantor'); mkdir -p "$other"; cp "$(win_path "$OLD_SHARED")/WMF.F32" "$other/"
for codes in "10" "1603 /msicodes"; do
  restore_pristine; start_session; drv hive load $BOB 'C:\users\bob\NTUSER.DAT'
  wine reg add "HKU\\$BOB\\Software\\Vantor Corp.\\Vantor" /v 'Vantor Directory' /d 'C:\Other\Vantor' /f >/dev/null
  list_carol; rm -f "$log"; set -- $codes
  expect_eq "profiles disagree ${2:-}" "$1" "$(run ${2:-})"
done
grep -q "$BOB: C:\\\\Other\\\\Vantor; $CAROL: $(sed 's/\\/\\\\/g' <<<"$OLD_SHARED")" "$log" \
  && echo "ok: the refusal names both" || fail "refusal: $(grep -i profiles "$log")"
expect_eq "bad switch" 7 "$(run /nosuch)"
# As a fleet tool may start it, with no command processor to expand the log's path.
quiet /quiet /log '%SystemDrive%\fleet-x.log' /nosuch >/dev/null
grep -q "Unknown switch: /nosuch" "$(win_path 'C:\')/fleet-x.log" && echo "ok: %VAR% in the log's path" || fail "log path not expanded"
expect_eq "bad switch /msicodes" 1639 "$(run /nosuch /msicodes)"
finish
