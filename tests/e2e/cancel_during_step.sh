#!/usr/bin/env bash
# Cancel in the dialog while the engine runs each of the three patch steps:
# the engine is ended, the dialog closes with Cancel's result, the extracted
# files are deleted, no file of the installation is torn (each is whole in
# some version), and a second run finishes the update exactly as an update
# never interrupted. The engine is held (SIGSTOP) as soon as the step's one
# appears, so the step is surely under way. Stopped inside its start-up,
# under Wine the child also holds its parent's CreateProcess, and with it the
# dialog: it is let on a moment at a time until the dialog answers again.
. "$DV_TOP/scripts/sample-update.sh"
fresh_prefix
make_updater || finish
install_sample "$OLD_INSTALL" "$OLD_SHARED" || finish
save_pristine
dir=$(win_path "$OLD_INSTALL")

restore_pristine
expect_eq "uninterrupted update" 0 "$(quiet /quiet)"
want=$(final_state)

engine_pids() {  # the Unix pids of this prefix's patch engines
  local p
  for p in $(pgrep -f 'patch\.exe'); do
    tr '\0' '\n' 2>/dev/null <"/proc/$p/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done
}

for step in 1 2 3; do
  restore_pristine
  warm_prefix
  start_updater "$UPDATER"
  drv wait-window "$CAPTION" 30 >/dev/null || { fail "no updater window (updater: $(wait_updater 1))"; finish; }
  drv click "$CAPTION" 1 >/dev/null
  # The step's engine is the step-th one to appear.
  held="" seen=" "
  for i in $(seq 3000); do
    for p in $(engine_pids); do
      case "$seen" in *" $p "*) continue ;; esac
      seen="$seen$p "
      [ "$(wc -w <<<"$seen")" = "$step" ] && { kill -STOP "$p"; held=$p; }
    done
    [ -n "$held" ] && break
    sleep 0.01
  done
  [ -n "$held" ] || { fail "step $step: its engine never started"; finish; }
  for i in $(seq 20); do
    timeout 3 wine "$DRIVER" nth-text "$CAPTION" 4 >/dev/null 2>&1 && break
    kill -CONT "$held"; sleep 0.05; kill -STOP "$held"
  done
  sleep 2  # a few ticks with the engine still running
  case "$(message)" in "Now updating the Kestrin installation"*) echo "ok: step $step: under way" ;;
    *) fail "step $step: not under way: $(message)" ;; esac
  drv click "$CAPTION" 2 >/dev/null
  expect_eq "step $step: the updater ends as cancelled" 6 "$(wait_updater 30)"
  # Ended, the engine changes nothing once it may run again. (Under Wine a
  # process stopped while it is ended may linger, idle, after SIGCONT: what
  # counts is that it does no more work.)
  tree_state() { (cd "$dir" && find . -type f -printf '%p %s %T@\n' | sort); }
  before=$(tree_state)
  kill -CONT "$held" 2>/dev/null
  sleep 3
  expect_eq "step $step: nothing changes after Cancel" "$before" "$(tree_state)"
  kill -KILL "$held" 2>/dev/null
  expect_extracted_gone
  [ -e "$(win_path "$NEW_INSTALL")" ] && fail "step $step: relocated after Cancel"

  python3 - "$dir" "$SAMPLE" <<'PY' && echo "ok: step $step: no file torn" || fail "step $step: a file is torn"
import os, sys
root, sample = sys.argv[1], sys.argv[2]
versions = [os.path.join(sample, v) for v in ("5.0/merged", "5.0.1", "5.0.2", "5.0.3")]
engine_own = ("patch.err", "patch.jnl", "RTP3.err", "RTP1.err", "RTP2.err")
bad = []
for dirpath, _, names in os.walk(root):
    for n in names:
        rel = os.path.relpath(os.path.join(dirpath, n), root)
        # The engine's own: its logs, journal, kept old versions and the new
        # versions it stages, which the next run's recovery removes.
        if rel in engine_own or rel.startswith("~patch") or rel.endswith(".~dvnew"):
            continue
        data = open(os.path.join(root, rel), "rb").read()
        if not any(os.path.isfile(os.path.join(v, rel)) and open(os.path.join(v, rel), "rb").read() == data
                   for v in versions):
            bad.append(rel)
if bad: print("\n".join(bad))
sys.exit(1 if bad else 0)
PY
  expect_eq "step $step: a second run" 0 "$(quiet /quiet)"
  have=$(final_state)
  [ "$have" == "$want" ] && echo "ok: step $step: as if never cancelled" ||
    fail "step $step: differs: $(diff <(echo "$want") <(echo "$have") | head -10)"
done
finish
