#!/usr/bin/env bash
# One unattended update of an untidy installation, run as an ordinary user
# (so that read-only files and rights behave as on Windows):
#  - Kestrin is installed in the root of drive E: and found there through the
#    ".ksd" association, while the updater starts in a folder of E: below it;
#  - a folder link inside the installation points at the user's own files;
#  - a read-only "patch.err" of an earlier run lies in the install folder and
#    claims a completed update;
#  - TMP and the registry hold text outside any ANSI code page.
# The update must complete for real, leave the user's files and the link's
# target alone, keep the registry text whole and leave no payload behind.
. "$DV_TOP/scripts/sample-update.sh"
export LC_ALL=C.UTF-8
fresh_prefix
make_updater || finish
e=$scratch/e; mkdir -p "$e/Work"; ln -sfn "$e" "$WINEPREFIX/dosdevices/e:"
install_sample 'E:' "$OLD_SHARED" || finish
wine reg add 'HKCR\Kestrin.Document\shell\open\command' /ve /d '"E:\Kestrin.exe" "%1"' /f >/dev/null

mkdir -p "$scratch/userdata/Thesis"; printf 'chapter one\r\n' >"$scratch/userdata/Thesis/draft.ksd"
ln -s "$scratch/userdata" "$e/Linked"
printf 'Kestrin 5.0.2\r\nupdate complete\r\n' >"$e/patch.err"; chmod a-w "$e/patch.err"
TMPDIR_WIN='C:\Temp\Ωμέγα 用户'; mkdir -p "$(win_path 'C:\')/Temp/Ωμέγα 用户"
wine reg add 'HKCU\Environment' /v TMP /d "$TMPDIR_WIN" /f >/dev/null
DOC='"E:\Kestrin.exe" "C:\Users\用户\Αβγ.ksd"'
wine reg add 'HKCU\Software\Kestrin Test\Récents 用户' /v 'Fichier Ωμέγα' /d "$DOC" /f >/dev/null
wineserver -w

# Names resolved while the prefix is still root's.
updater=$(winepath -w "$UPDATER" 2>/dev/null | tr -d '\r'); croot=$(win_path 'C:\')
hand_to_user || finish
as_user wine cmd /c "cd /d E:\\Work && start /wait $updater /quiet /log C:\\hostile.log" >/dev/null 2>&1
rc=$(as_user wine cmd /c 'type C:\hostile.log' 2>/dev/null | tr -d '\r' | sed -n 's/.* exit code \([0-9]*\)$/\1/p' | tail -1)
log=$croot/hostile.log
expect_eq "updater's exit code (from its log)" 0 "$rc"
same_tree "drive root is 5.0.3" "$SAMPLE/final/install" "$e" '^\./(RTP[123]\.err|Work/.*|Linked/.*)$'
[ -L "$e/Linked" ] || fail "the folder link is gone"
expect_eq "the user's file behind the link" "$(printf 'chapter one\r\n')" "$(cat "$scratch/userdata/Thesis/draft.ksd" 2>/dev/null)"
for f in UpdV1-V1 UpdV1-V2 UpdV2-V3; do
  grep -q "step $f\.RTP ended: exit code 0, log: succeeded" "$log" || fail "log: $f not confirmed"
done
tr -d '\r' <"$log" | grep -q "install folder: E:\\\\$" || fail "install folder not the root of E: [$(grep 'install folder' "$log")]"
grep -q "extracted C:\\\\Temp\\\\Ωμέγα 用户\\\\DV503" "$log" || fail "payload not in TMP [$(grep -m1 extracted "$log")]"
left=$(find "$croot" -maxdepth 3 -name 'DV503*' 2>/dev/null)
expect_eq "no payload left anywhere" "" "$left"
as_user wine reg export 'HKCU\Software\Kestrin Test' "C:\\reg.txt" >/dev/null 2>&1
got=$(iconv -f UTF-16LE -t UTF-8 "$croot/reg.txt" 2>/dev/null | tr -d '\r')
case "$got" in
  *'[HKEY_CURRENT_USER\Software\Kestrin Test\Récents 用户]'*'"Fichier Ωμέγα"="\"E:\\Dovetra.exe\" \"C:\\Users\\用户\\Αβγ.ksd\""'*)
    echo "ok: registry text rewritten whole" ;;
  *) fail "registry text: $got" ;;
esac
finish
