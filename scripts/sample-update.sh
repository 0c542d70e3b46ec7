# Sourced by the end-to-end tests and the main command: the real packed
# updater (real engine, the sample Kestrin patches) run in a fresh prefix
# holding a sample Kestrin 5.0 installation. Builds on testbed.sh.
for need in "$DV_TOP/scripts/testbed.sh" "$DV_TOP/scripts/sample-install.sh" \
            "$DV_BUILD/tests/gui/gui_driver.exe" "$DV_BUILD/../host/tools/mkpatch"; do
  [ -e "$need" ] || { echo "FAIL: missing $need"; exit 1; }
done
. "$DV_TOP/scripts/testbed.sh"
scratch=$DV_BUILD/e2e/$test_name
export WINEPREFIX=$scratch/prefix
SAMPLE=$scratch/sample
UPDATER=$scratch/DV503Updater.exe
OLD_INSTALL='C:\Program Files\Vantor Corp\Kestrin 5.0'
OLD_SHARED='C:\Program Files\Vantor Corp\Vantor'
NEW_INSTALL='C:\Program Files\Halvern\Dovetra 5'

# The sample versions and their patches, and the updater carrying them
# (BASE: another build of the updater, such as app/updater_faults.exe).
make_updater() {  # [BASE]
  "$DV_TOP/scripts/pack-sample.sh" "$DV_BUILD/.." "$scratch" ${1:+"$1"} >"$scratch/pack.log" 2>&1 \
    || { fail "sample versions or packing"; cat "$scratch/pack.log"; return 1; }
}

# install_sample INSTALL SHARED: Kestrin 5.0 laid out in the prefix, with the
# sample's shared folder in place of the script's stand-in one. At the old
# default paths it is laid out once per build (staged_install).
install_sample() {
  if [ "$1|$2" = "$OLD_INSTALL|$OLD_SHARED" ]; then staged_install; else lay_out_sample "$@"; fi
}
lay_out_sample() {
  local install=$1 shared=$2
  # No lingering session: the script waits for the server to go at its end.
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  "$DV_TOP/scripts/sample-install.sh" "$WINEPREFIX" "$SAMPLE/5.0/install" \
    --install "$install" --shared "$shared" --driver "$DRIVER" >"$scratch/install.log" 2>&1 \
    || { fail "sample-install"; cat "$scratch/install.log"; return 1; }
  local dir; dir=$(win_path "$shared")
  rm -rf "$dir"; mkdir -p "$dir"
  cp -a "$SAMPLE/5.0/shared/." "$dir/"
  # Values naming the old folders, for the registry rewrite to find.
  wine reg add 'HKCU\Software\Vantor Corp.\Kestrin\5.0\Paths' /v 'Program' /d "$install\\Kestrin.exe" /f >/dev/null
  wine reg add 'HKCU\Software\Kestrin Test\Documents' /v 'Last Folder' /d "$install\\Samples" /f >/dev/null
  wineserver -w
}

# The installation at the old default paths, laid out once per build in a
# prefix of the stage's own (a clone of the same template) and kept as
# save_pristine keeps a machine; a test's prefix gets it as restore_pristine
# would. Named after what it is made from; two tests asking at once make it once.
staged_install() {
  local stage key dir
  stage=$(cd "$DV_BUILD/.." && pwd)/stage
  key=$( { wine --version; readlink -f "$SAMPLE"
           sha256sum "$DV_TOP/scripts/sample-install.sh" "$DV_TOP/scripts/sample-update.sh" "$DRIVER"
         } 2>&1 | sha256sum | cut -c1-16)
  dir=$stage/kestrin-$key
  mkdir -p "$stage"
  ( flock 9
    [ -d "$dir" ] && exit 0
    rm -rf "$stage"/kestrin-*
    export WINEPREFIX=$dir.new/prefix; scratch=$dir.new
    mkdir -p "$scratch"; "$DV_TOP/scripts/prefix.sh" ensure "$WINEPREFIX" || exit 1
    lay_out_sample "$OLD_INSTALL" "$OLD_SHARED" || exit 1
    save_pristine
    mv "$scratch/pristine" "$dir"; rm -rf "$scratch"
  ) 9>"$stage/.kestrin.lock" || { fail "the staged sample installation"; return 1; }
  stop_prefix || { fail "the prefix's Wine server does not end"; return 1; }
  (cd "$WINEPREFIX/drive_c" && rm -rf "Program Files" ProgramData users/Public/Desktop && tar xf "$dir/c.tar")
  cp "$dir"/*.reg "$WINEPREFIX/"
}

# Runs the updater and presses "Begin Update"; waits until IDCANCEL reads
# "Quit" (the run has completed) or the time runs out. Args: extra switches.
# Starts the prefix's server and services with their output away from any
# pipe: a service started by a piped driver call would hold the pipe open.
warm_prefix() {
  wineserver -p 120
  wine "$DRIVER" wait-gone "no such window" 0 </dev/null >/dev/null 2>&1
}

run_update() {
  warm_prefix
  start_updater "$UPDATER" "$@"
  # Nothing after this can pass without the window: stop at once.
  drv wait-window "$CAPTION" 30 >/dev/null \
    || { fail "no updater window (updater: $(wait_updater 1))"; finish; }
  drv click "$CAPTION" 1 >/dev/null
  wait_quit 120
}

wait_quit() {  # SECONDS
  local i
  for i in $(seq $(($1 * 2))); do
    [ "$(drv text "$CAPTION" 2)" = "Quit" ] && return 0
    sleep 0.5
  done
  fail "the run did not complete in $1 s"; return 1
}

# The dialog's message text (the fifth control).
message() { drv nth-text "$CAPTION" 4; }

quit_updater() {  # [EXIT CODE]: 0 (updated) unless said
  drv click "$CAPTION" 2 >/dev/null
  local rc; rc=$(wait_updater 30)
  expect_eq "updater's exit code after Quit" "${1:-0}" "$rc"
}

# same_tree WHAT EXPECTED_DIR ACTUAL_DIR [IGNORE_REGEX]: byte for byte, the
# same names; files matching IGNORE (relative paths) are left out.
same_tree() {
  local what=$1 want=$2 have=$3 ignore=${4:-'^$'}
  local d; d=$(diff <(cd "$want" && find . -type f | sort) \
                    <(cd "$have" && find . -type f | grep -Ev "$ignore" | sort))
  [ -z "$d" ] || { fail "$what: other files: $d"; return 1; }
  local f bad=0
  while IFS= read -r f; do
    cmp -s "$want/$f" "$have/$f" || { fail "$what: $f differs"; bad=1; }
  done < <(cd "$want" && find . -type f)
  [ $bad = 0 ] && echo "ok: $what"
}

# The extracted payload files are gone from the temp folder.
expect_extracted_gone() {
  local temp; temp=$(win_path 'C:\users')
  local left; left=$(find "$temp" \( -name patch.exe -o -name patchw32.dll -o -name '*.RTP' \) 2>/dev/null)
  expect_eq "extracted files deleted" "" "$left"
}

reg_value() {  # KEY VALUE: prints the data, empty when missing
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v v="$2" '
    { i = index($0, "REG_SZ"); if (i && index($0, v)) { s = substr($0, i + 6); sub(/^[ \t]+/, "", s); print s } }'
}

# wait_message PREFIX SECONDS: until the dialog's message starts with PREFIX.
wait_message() {
  local i
  for i in $(seq $(($2 * 2))); do
    case "$(message)" in "$1"*) return 0 ;; esac
    sleep 0.5
  done
  fail "no message starting [$1] in $2 s (have [$(message)])"; return 1
}

# Ends the prefix's Wine server and waits until nothing of it is left: the
# server saves its registry from a child process of its own, which may go
# on writing after "wineserver -w" has returned. Server processes are known
# by their folder, which is named after the prefix's inode.
stop_prefix() {
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  local ino i p busy; ino=$(printf '%x' "$(stat -c %i "$WINEPREFIX")")
  for i in $(seq 100); do
    busy=""
    for p in $(pgrep wineserver 2>/dev/null); do
      case "$(readlink "/proc/$p/cwd" 2>/dev/null)" in *"-$ino") busy=1 ;; esac
    done
    [ -z "$busy" ] && return 0
    sleep 0.1
  done
  return 1
}

# The machine as install_sample left it, kept so that each row of a table
# starts from the same one: the folders an update touches and the registry.
save_pristine() {
  stop_prefix
  rm -rf "$scratch/pristine"; mkdir -p "$scratch/pristine"
  cp -a "$WINEPREFIX"/*.reg "$scratch/pristine/"
  (cd "$WINEPREFIX/drive_c" && tar cf "$scratch/pristine/c.tar" "Program Files" ProgramData users/Public/Desktop)
}
restore_pristine() {
  stop_prefix || fail "the prefix's Wine server does not end"
  # Not through winepath: that would start a server on the old registry.
  (cd "$WINEPREFIX/drive_c" && rm -rf "Program Files" ProgramData users/Public/Desktop &&
    tar xf "$scratch/pristine/c.tar")
  cp -a "$scratch/pristine"/*.reg "$WINEPREFIX/"
}

# unix_to_win PATH: a Unix path below a drive of the prefix as Windows names
# it ("winepath -w" for any other).
unix_to_win() {
  local rest=${1#"$WINEPREFIX"/dosdevices/}
  case "$rest" in
    [a-z]:/*) local d=${rest:0:1} r=${rest:2}; printf '%s\n' "${d^^}:${r//\//\\}" ;;
    *) winepath -w "$1" 2>/dev/null ;;
  esac
}

# What an update leaves, to compare one run with another: the snapshot
# without the engine's logs, and each new shortcut's target and description
# (a link file holds its target's times, which differ from run to run).
final_state() {
  snapshot | grep -Ev '\.err( |$)'
  local l
  for l in "$(win_path 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs')/Dovetra 5"/*.lnk \
           "$(win_path 'C:\users\Public\Desktop')"/*.lnk; do
    [ -e "$l" ] && echo "$l: $(drv link-info "$(unix_to_win "$l")" | tr '\n' '|')"
  done
}

# Runs the updater to its end without a window; prints its exit code.
quiet() { wine "$UPDATER" "$@" >/dev/null 2>&1; echo $?; }

# Everything an update could touch: file names, sizes and bytes of the
# installation, the shortcuts and the update record; the registry keys
# (read as the user WINE_AS runs Wine as, when set: as_user) but Wine's own
# and the shell's cache of folder paths, which Wine fills for a new user.
snapshot() {
  ( cd "$(win_path 'C:\')" && find "Program Files" ProgramData/Microsoft/Windows/'Start Menu' \
      "ProgramData/Dovetra 5.0.3 Update" users/Public/Desktop -printf '%p %s\n' 2>/dev/null | sort
    find "Program Files" -type f -print0 | sort -z | xargs -0 md5sum )
  for k in 'HKCU\Software' 'HKCR\.ksd' 'HKCR\Kestrin.Document'; do
    ${WINE_AS:-} wine reg query "$k" /s 2>/dev/null | tr -d '\r'
  done | awk '/^HKEY_/ { wine = index($0, "HKEY_CURRENT_USER\\Software\\Wine") == 1 ||
                              $0 ~ /\\Explorer\\Shell Folders$/ } !wine'
}

# Prints the command line of a text editor running in this prefix.
editor_in_prefix() {
  local p
  for p in $(pgrep -f 'notepad\.exe'); do
    cat "/proc/$p/environ" 2>/dev/null | tr '\0' '\n' | grep -qx "WINEPREFIX=$WINEPREFIX" || continue
    tr '\0' ' ' <"/proc/$p/cmdline"; echo
  done
}

# The test bed's ordinary user (made by scripts/test.sh). Wine run as root
# overwrites read-only files and ignores folder rights; as this user it keeps
# Windows' rules, so tests of rights run as it.
DV_TEST_USER=${DV_TEST_USER:-dvtest}
# Hands the prefix and the scratch folder to that user; the root session ends.
hand_to_user() {
  [ "$(id -u)" = 0 ] || return 0
  id "$DV_TEST_USER" >/dev/null 2>&1 || useradd -m "$DV_TEST_USER" || { fail "no user $DV_TEST_USER"; return 1; }
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  # Debian's Wine keeps the name of the server's private folder (root's) in
  # the prefix; the user's server makes a folder of its own.
  rm -f "$WINEPREFIX/wineserver"
  # The user's profile, as wineboot would make it (much faster): root's,
  # with real folders where root's point into /root.
  local profile=$WINEPREFIX/drive_c/users/$DV_TEST_USER l
  if [ ! -d "$profile" ]; then
    cp -a "$WINEPREFIX/drive_c/users/root" "$profile"
    for l in "$profile"/*; do [ -L "$l" ] && rm "$l" && mkdir "$l"; done
  fi
  # Wine's binaries stay root's: they are shared with the template (prefix.sh).
  find "$scratch" \( -path "$WINEPREFIX/drive_c/windows/*" -type f -links +1 \) -prune \
    -o -exec chown -h "$DV_TEST_USER:" {} +
}
as_user() {  # COMMAND...: as that user, in this prefix and display
  if [ "$(id -u)" != 0 ]; then "$@"; return; fi
  runuser -u "$DV_TEST_USER" -- env HOME="$(getent passwd "$DV_TEST_USER" | cut -d: -f6)" \
    WINEPREFIX="$WINEPREFIX" WINEDEBUG="$WINEDEBUG" WINEDLLOVERRIDES="$WINEDLLOVERRIDES" \
    DISPLAY="$DISPLAY" LC_ALL=C.UTF-8 "$@"
}

# A power cut: every process of this prefix and its Wine server end at once
# with SIGKILL, so whatever the server kept in memory (registry writes not yet
# saved) is lost, as a machine's unflushed writes are; what programs flushed
# to files stays. The server saves the registry by itself every 30 s and when
# it ends normally (a few seconds after its last program unless started with
# "wineserver -p"): keep it up until the cut. Seen under Wine 8: a value added
# with "reg add" is gone after the cut, and kept after "wineserver -k".
power_cut() {
  local ino pids me=$BASHPID
  ino=$(printf '%x' "$(stat -c %i "$WINEPREFIX")")
  pids=$( { grep -lzx "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null
            find /proc -mindepth 2 -maxdepth 2 -name cwd -lname "*-$ino" 2>/dev/null; } |
          cut -d/ -f3 | grep -vx -e $$ -e "$me" | sort -u)
  [ -n "$pids" ] && kill -9 $pids 2>/dev/null
  stop_prefix
}
