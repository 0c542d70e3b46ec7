#!/usr/bin/env bash
# Cancel while the engine runs a step: the engine is ended, the dialog closes
# with Cancel's result, the extracted files are deleted, and no file of the
# installation is torn: each is whole in some version. The engine is held
# (SIGSTOP) as soon as it appears, so the step is surely under way. Stopped
# inside its start-up, under Wine the child also holds its parent's
# CreateProcess, and with it the dialog: it is let on a moment at a time
# until the dialog answers again.
. "$DV_TOP/scripts/sample-update.sh"
fresh_prefix
make_updater || finish
install_sample "$OLD_INSTALL" "$OLD_SHARED" || finish
dir=$(win_path "$OLD_INSTALL")

engine_pid() {  # the Unix pid of this prefix's patch engine
  local p
  for p in $(pgrep -f 'patch\.exe'); do
    cat "/proc/$p/environ" 2>/dev/null | tr '\0' '\n' | grep -qx "WINEPREFIX=$WINEPREFIX" && { echo "$p"; return; }
  done
}

warm_prefix
start_updater "$UPDATER"
drv wait-window "$CAPTION" 30 >/dev/null || { fail "no updater window (updater: $(wait_updater 1))"; finish; }
drv click "$CAPTION" 1 >/dev/null
held=""
for i in $(seq 400); do
  held=$(engine_pid)
  [ -n "$held" ] && { kill -STOP "$held"; break; }
  sleep 0.02
done
[ -n "$held" ] || { fail "the engine never started"; finish; }
for i in $(seq 20); do
  timeout 3 wine "$DRIVER" nth-text "$CAPTION" 4 >/dev/null 2>&1 && break
  kill -CONT "$held"; sleep 0.05; kill -STOP "$held"
done
sleep 2  # a few ticks with the engine still running
case "$(message)" in "Now updating the Kestrin installation"*) echo "ok: run under way" ;;
  *) fail "not under way: $(message)" ;; esac
drv click "$CAPTION" 2 >/dev/null
expect_eq "updater ends as cancelled" 6 "$(wait_updater 30)"
# Ended, the engine changes nothing once it may run again. (Under Wine a
# process stopped while it is ended may linger, idle, after SIGCONT: what
# counts is that it does no more work.)
tree_state() { (cd "$dir" && find . -type f -printf '%p %s %T@\n' | sort); }
before=$(tree_state)
kill -CONT "$held" 2>/dev/null
sleep 3
expect_eq "nothing changes after Cancel" "$before" "$(tree_state)"
kill -KILL "$held" 2>/dev/null
expect_extracted_gone
[ -e "$(win_path "$NEW_INSTALL")" ] && fail "relocated after Cancel"

python3 - "$dir" "$SAMPLE" <<'PY' && echo "ok: no file torn" || fail "a file of the installation is torn"
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
finish
