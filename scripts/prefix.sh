#!/usr/bin/env bash
# Wine prefixes of the project's own.
#   prefix.sh ensure DIR   create DIR as a fresh prefix unless it is one already
#   prefix.sh clone SRC DST  copy a ready prefix (much faster than wineboot)
# A template prefix is made once under build/prefix-template and copied, since
# wineboot takes about 18 s and a copy well under one.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
template=$top/build/prefix-template
. "$top/scripts/wine-env.sh"

make_template() {
  [ -f "$template/.ready" ] && return 0
  mkdir -p "$top/build"
  exec 9>"$top/build/.prefix.lock"
  flock 9
  [ -f "$template/.ready" ] && return 0
  rm -rf "$template"
  WINEPREFIX=$template wineboot -i >/dev/null 2>&1
  WINEPREFIX=$template wineserver -w
  # Let Wine draw captions itself: no window manager runs under Xvfb.
  WINEPREFIX=$template wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  WINEPREFIX=$template wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  WINEPREFIX=$template wineserver -w
  touch "$template/.ready"
}

case "${1:-}" in
  ensure)
    dir=$2
    [ -f "$dir/system.reg" ] && exit 0
    make_template
    mkdir -p "$(dirname "$dir")"
    exec 8>"$dir.lock"; flock 8
    [ -f "$dir/system.reg" ] && exit 0
    rm -rf "$dir"; cp -a "$template" "$dir"; rm -f "$dir/.ready"
    ;;
  clone)
    make_template
    rm -rf "$3"; cp -a "$2" "$3"
    ;;
  *) echo "usage: prefix.sh ensure DIR | clone SRC DST" >&2; exit 2 ;;
esac
