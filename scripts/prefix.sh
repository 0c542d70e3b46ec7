#!/usr/bin/env bash
# Wine prefixes of the project's own.
#   prefix.sh ensure DIR   create DIR as a fresh prefix unless it is one already
#   prefix.sh clone SRC DST  copy a ready prefix (much faster than wineboot)
# A template prefix is made once under build/prefix-template and copied, since
# wineboot takes about 18 s and a copy well under one.
# Copies share Wine's own DLLs, programs and code-page tables with the template
# as hard links: they are 1.26 of a prefix's 1.3 GB, and after wineboot Wine
# only reads them (it rewrites them when its version changes, so the template
# is remade then). Everything else (registry, ini files, profiles) is a copy
# of its own, so a test that writes there leaves the template alone.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
template=$top/build/prefix-template
. "$top/scripts/wine-env.sh"

make_template() {
  local version; version=$(wine --version 2>/dev/null)
  [ "$(cat "$template/.ready" 2>/dev/null)" = "$version" ] && return 0
  mkdir -p "$top/build"
  exec 9>"$top/build/.prefix.lock"
  flock 9
  [ "$(cat "$template/.ready" 2>/dev/null)" = "$version" ] && return 0
  rm -rf "$template"
  WINEPREFIX=$template wineboot -i >/dev/null 2>&1
  WINEPREFIX=$template wineserver -w
  # Let Wine draw captions itself: no window manager runs under Xvfb.
  WINEPREFIX=$template wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  WINEPREFIX=$template wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  WINEPREFIX=$template wineserver -w
  echo "$version" >"$template/.ready"
}

# clone SRC DST: DST as a copy of the ready prefix SRC, Wine's binaries shared.
clone() {
  rm -rf "$2"
  cp -al "$1" "$2"
  local f
  find "$2" -type f ! \( -path "$2/drive_c/windows/*" \
      \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.nls' \) \) -print0 |
    while IFS= read -r -d '' f; do
      cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f" || return 1
    done
}

case "${1:-}" in
  ensure)
    dir=$2
    [ -f "$dir/system.reg" ] && exit 0
    make_template
    mkdir -p "$(dirname "$dir")"
    exec 8>"$dir.lock"; flock 8
    [ -f "$dir/system.reg" ] && exit 0
    clone "$template" "$dir"; rm -f "$dir/.ready"
    ;;
  clone)
    make_template
    clone "$2" "$3"
    ;;
  *) echo "usage: prefix.sh ensure DIR | clone SRC DST" >&2; exit 2 ;;
esac
