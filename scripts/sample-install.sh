#!/usr/bin/env bash
# Lays out a "Kestrin 5.0" installation in a Wine prefix, as its own installer
# would have left it, for the updater to find.
#   sample-install.sh PREFIX [TREE] [options]
#     TREE                the install folder's files (copied); default: a
#                         minimal tree with Kestrin.exe and a few files
#     --install DIR       install folder (Windows path), default
#                         "C:\Program Files\Vantor Corp\Kestrin 5.0"
#     --shared DIR        shared folder, default "C:\Program Files\Vantor Corp\Vantor"
#     --no-association    leave out the ".ksd" association
#     --no-shared-value   leave out "Vantor Directory"
#     --driver EXE        the GUI driver, for the shortcuts (default: the one
#                         in build/win/tests/gui); without one no shortcuts
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { sed -n 2,15p "$0" >&2; exit 2; }
export WINEPREFIX=$1; shift
. "$top/scripts/wine-env.sh"
tree=""
install='C:\Program Files\Vantor Corp\Kestrin 5.0'
shared='C:\Program Files\Vantor Corp\Vantor'
association=1; sharedValue=1
driver=$(ls "$top"/build*/win/tests/gui/gui_driver.exe 2>/dev/null | head -1 || true)
while [ $# -gt 0 ]; do
  case $1 in
    --install) install=$2; shift 2 ;;
    --shared) shared=$2; shift 2 ;;
    --no-association) association=0; shift ;;
    --no-shared-value) sharedValue=0; shift ;;
    --driver) driver=$2; shift 2 ;;
    -*) echo "sample-install: unknown option $1" >&2; exit 2 ;;
    *) tree=$1; shift ;;
  esac
done
"$top/scripts/prefix.sh" ensure "$WINEPREFIX"

unix() { winepath -u "$1" 2>/dev/null; }
installDir=$(unix "$install"); sharedDir=$(unix "$shared")
mkdir -p "$installDir" "$sharedDir"
if [ -n "$tree" ]; then
  cp -a "$tree"/. "$installDir"/
else
  printf 'MZ stand-in Kestrin 5.0 program\r\n' >"$installDir/Kestrin.exe"
  printf 'Kestrin 5.0 help\r\n' >"$installDir/Kestrin.hlp"
  printf 'uninstall log\r\n' >"$installDir/UnInst.isu"
  printf 'registration\r\n' >"$installDir/KSReg.dat"
fi
[ -f "$installDir/Kestrin.exe" ] || { echo "sample-install: no Kestrin.exe in $installDir" >&2; exit 1; }
printf 'WMF filter\r\n' >"$sharedDir/WMF.F32"
printf '[Preferences]\r\nUnits=cm\r\n' >"$sharedDir/Kestrin.prf"
printf '[Preferences]\r\nDictionary=en-US\r\n' >"$sharedDir/Vantor.prf"

reg() { wine reg "$@" >/dev/null; }
if [ $association = 1 ]; then
  reg add 'HKCR\.ksd' /ve /d 'Kestrin.Document' /f
  reg add 'HKCR\Kestrin.Document\shell\open\command' /ve /d "\"$install\\Kestrin.exe\" \"%1\"" /f
fi
if [ $sharedValue = 1 ]; then
  reg add 'HKCU\Software\Vantor Corp.\Vantor' /v 'Vantor Directory' /d "$shared" /f
fi

# Shortcuts: the old Start-menu folder under the all-users Programs folder
# and one on the desktop (the all-users desktop, where the installer put it).
if [ -n "$driver" ]; then
  programs=$(unix 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs')
  desktop=$(unix 'C:\users\Public\Desktop')
  mkdir -p "$programs/Kestrin 5.0" "$desktop"
  wine "$driver" mklink 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Kestrin 5.0\Kestrin 5.0.lnk' \
    "$install\\Kestrin.exe" "" "Kestrin 5.0"
  wine "$driver" mklink 'C:\users\Public\Desktop\Kestrin 5.0.lnk' "$install\\Kestrin.exe" "" "Kestrin 5.0"
else
  echo "sample-install: no GUI driver built, no shortcuts made" >&2
fi
