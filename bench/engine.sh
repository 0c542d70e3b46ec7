#!/usr/bin/env bash
# Patch size, build and apply time and memory on every delta corpus, for our
# builder/engine and, side by side in the same run, bsdiff/bspatch,
# xdelta3 -9 -S djw (-D: gzip files taken as bytes, as by the others) and
# zstd -19 --long=27 --patch-from (per changed file).
#
# Usage: bench/engine.sh [BUILD_ROOT]   (default: build; needs BUILD_ROOT/host
# built; uses BUILD_ROOT/win/engine/win/patch.exe or $ENGINE_DIR under Wine
# when present). The corpora are the pairs of releases in $CORPUS (default
# ../shared/corpus beside the worktree): Debian packages (NAME_VERSION_ARCH.deb)
# and npm tarballs (NAME-VERSION.tgz), the lower version the old tree; and
# a large file of our own: the 47 MB x86-64 library of two releases of
# Debian's libnode108 ($BIG_DEBS, fetched with apt-get download into
# BUILD_ROOT/bench-debs when absent; BIG_DEBS= leaves it out). ONLY=NAME runs
# one corpus. Our apply runs with one and with two decoding threads
# (DVPATCH_THREADS), on the host and under Wine. The ast-grep pair's sg.exe
# (the same 51 MB program under a second name) is left out, which halves
# that corpus's run. Under each table a line says how our patch compares
# with the smallest of the other tools' and our two-thread apply with
# bspatch's.
# Prints one Markdown table per corpus. Times are wall-clock seconds with the
# CPU seconds (user + system) in brackets, and memory is peak resident set
# size, all from /usr/bin/time -v; the machine may be shared, so compare the
# CPU figures when wall times disagree.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
root=$(cd "${1:-$top/build}" && pwd)
corpus=$(cd "${CORPUS:-$top/../shared/corpus}" && pwd)
mkpatch=$root/host/tools/mkpatch
applypatch=$root/host/tools/applypatch
engine_dir=${ENGINE_DIR:-$root/win/engine/win}
prefix=${BENCH_PREFIX:-$root/prefix-bench}
big_debs=${BIG_DEBS-libnode108=18.20.4+dfsg-1~deb12u2 libnode108=18.20.4+dfsg-1~deb12u3}
debs=$root/bench-debs
have_wine=0
# Files of a corpus left out of both trees, by the corpus's name.
declare -A SKIP_FILES=([ast-grep-cli-win32-ia32-msvc]=package/sg.exe)
[ -f "$engine_dir/patch.exe" ] && [ -f "$engine_dir/patchw32.dll" ] && command -v wine >/dev/null && have_wine=1

# unpack ARCHIVE DIR; symbolic links are left out, as the builder leaves them.
unpack() {
  mkdir -p "$2"
  case "$1" in
    *.deb) dpkg -x "$1" "$2" ;;
    *.tgz | *.tar.gz) tar -xzf "$1" -C "$2" ;;
  esac
  find "$2" -type l -delete
}

# measure NAME COMMAND...: runs COMMAND under /usr/bin/time -v and leaves
# "seconds(cpu) kib" in $work/NAME.m.
measure() {
  local name=$1
  shift
  /usr/bin/time -v -o "$work/$name.time" "$@" >"$work/$name.out" 2>&1 || {
    echo "bench: $name failed:" >&2
    cat "$work/$name.out" >&2
    return 1
  }
  awk -F': ' '/Elapsed/ {n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]}
              /User time|System time/ {cpu += $2}
              /Maximum resident/ {kb = $2} END {printf "%.2f(%.2f) %d\n", s, cpu, kb}' "$work/$name.time" >"$work/$name.m"
}

# Per-file tools: one loop per tool and phase, so /usr/bin/time reports the
# whole loop's time and the largest single process's memory.
per_file() {
  local tool=$1 make=$2 apply=$3
  mkdir -p "$work/$tool"
  measure "$tool-build" bash -c "while read -r f; do p=\"$work/$tool/\$(echo \"\$f\" | tr / _)\"; $make; done <'$work/changed'"
  measure "$tool-apply" bash -c "while read -r f; do p=\"$work/$tool/\$(echo \"\$f\" | tr / _)\"; $apply; done <'$work/changed'"
  du -cb "$work/$tool"/*.p | tail -1 | cut -f1 >"$work/$tool.size"
  while read -r f; do
    cmp -s "$work/$tool/$(echo "$f" | tr / _).out" "$work/new/$f" || { echo "bench: $tool differs on $f" >&2; exit 1; }
  done <"$work/changed"
}

# The real engine under Wine: the patch beside patch.exe, the old tree as the
# working folder, in a prefix of its own. Besides /usr/bin/time on wine, the
# engine process's own peak (VmHWM) is sampled from /proc. Wine's start is
# measured alone too: patch.exe with no arguments loads the library and
# stops at the command line check.
wine_apply() {
  "$top/scripts/prefix.sh" ensure "$prefix" >/dev/null
  . "$top/scripts/wine-env.sh"
  export WINEPREFIX=$prefix
  local drive=$prefix/drive_c/bench-engine
  rm -rf "$drive"
  mkdir -p "$drive/engine"
  cp "$engine_dir/patch.exe" "$engine_dir/patchw32.dll" "$work/p.rtp" "$drive/engine/"
  cp -a "$work/old" "$drive/tree"
  wineserver -p 5 2>/dev/null || true
  # The first start after the server starts brings the prefix's services up
  # (about a second); the figure below is a start with them running.
  (cd "$drive/tree" && wine "$drive/engine/patch.exe" >/dev/null 2>&1 || true)
  (cd "$drive/tree" && measure wine-start bash -c "wine '$drive/engine/patch.exe' || true")
  local hwm_file=$work/wine.hwm threads
  for threads in 1 2; do
    rm -rf "$drive/tree"
    cp -a "$work/old" "$drive/tree"
    echo 0 >"$hwm_file"
    ( while :; do
        for s in /proc/[0-9]*/status; do
          grep -qs '^Name:.*patch.exe' "$s" || continue
          kb=$(awk '/VmHWM/ {print $2}' "$s" 2>/dev/null || true)
          [ -n "$kb" ] && [ "$kb" -gt "$(cat "$hwm_file")" ] && echo "$kb" >"$hwm_file"
        done
        sleep 0.05
      done ) &
    local sampler=$!
    rm -f "$work/wine-apply.m"
    (cd "$drive/tree" && DVPATCH_THREADS=$threads measure wine-apply wine "$drive/engine/patch.exe" -e -i -v -noc p.rtp) || true
    kill "$sampler" 2>/dev/null || true
    wait "$sampler" 2>/dev/null || true
    if [ -f "$work/wine-apply.m" ] && diff -r -x patch.err "$drive/tree" "$work/new" >"$work/wine.diff" 2>&1; then
      read -r s kb <"$work/wine-apply.m"
      echo "| ours, engine patch.exe under Wine, $threads thread(s) | (same file) | | | | $s | $(ratio "$s" "$bspatch_s") | $kb (engine process: $(cat "$hwm_file")) |"
    else
      echo "| ours, engine patch.exe under Wine, $threads thread(s) | (same file) | | | | failed: tree differs (see $work/wine.diff) | | |"
    fi
  done
  read -r ws wkb <"$work/wine-start.m"
  echo "| (of which Wine's start: patch.exe, no arguments) | | | | | $ws | | $wkb |"
  rm -rf "$drive"
}

# ratio A B: A / B for "s(cpu)" or plain numbers, as "wall (cpu)".
ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN {split(a, x, /[()]/); split(b, y, /[()]/);
    if (y[2] == "") printf "%.3f", x[1] / y[1];
    else printf "%.2f (%.2f)", x[1] / y[1], (y[2] > 0 ? x[2] / y[2] : 0)}'
}

row() {  # row LABEL TOOL [APPLY_MEASURE]
  local size bs bk as ak
  size=$(cat "$work/$2.size")
  read -r bs bk <"$work/$2-build.m"
  read -r as ak <"$work/${3:-$2-apply}.m"
  printf '| %s | %s | %s | %s | %s | %s | %s | %s |\n' "$1" "$size" "$(ratio "$size" "$bsdiff_size")" "$bs" "$bk" \
    "$as" "$(ratio "$as" "$bspatch_s")" "$ak"
}

# bench_corpus NAME OLD_ARCHIVE NEW_ARCHIVE
bench_corpus() {
  work=$root/bench-engine/$1
  rm -rf "$work"
  mkdir -p "$work"
  unpack "$2" "$work/old"
  unpack "$3" "$work/new"
  for f in ${SKIP_FILES[$1]:-}; do rm -f "$work/old/$f" "$work/new/$f"; done
  (cd "$work/new" && find . -type f | sed "s|^\./||" | sort) | while read -r f; do
    cmp -s "$work/old/$f" "$work/new/$f" || echo "$f"
  done >"$work/changed"

  measure ours-build "$mkpatch" "$work/old" "$work/new" "$work/p.rtp"
  stat -c %s "$work/p.rtp" >"$work/ours.size"
  for threads in 1 2; do
    rm -rf "$work/host-tree"
    cp -a "$work/old" "$work/host-tree"
    DVPATCH_THREADS=$threads DVPATCH_PHASES=1 measure ours-apply-$threads "$applypatch" "$work/host-tree" "$work/p.rtp"
    diff -r "$work/host-tree" "$work/new" >/dev/null || { echo "bench: host apply differs" >&2; exit 1; }
  done

  per_file bsdiff 'bsdiff "'$work'/old/$f" "'$work'/new/$f" "$p.p"' \
    'bspatch "'$work'/old/$f" "$p.out" "$p.p"'
  per_file xdelta3 'xdelta3 -D -9 -S djw -e -f -s "'$work'/old/$f" "'$work'/new/$f" "$p.p"' \
    'xdelta3 -D -d -f -s "'$work'/old/$f" "$p.p" "$p.out"'
  per_file zstd 'zstd -q -f -19 --long=27 --patch-from="'$work'/old/$f" "'$work'/new/$f" -o "$p.p"' \
    'zstd -q -f -d --long=27 --patch-from="'$work'/old/$f" "$p.p" -o "$p.out"'

  bsdiff_size=$(cat "$work/bsdiff.size")
  read -r bspatch_s _ <"$work/bsdiff-apply.m"
  echo "### $1: $(basename "$2") -> $(basename "$3")"
  echo
  echo "$(wc -l <"$work/changed") changed files of $(cd "$work/new" && find . -type f | wc -l)." \
    "Run $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo)."
  echo
  echo "| tool | patch bytes | / bsdiff | build s (cpu) | build peak KiB | apply s (cpu) | apply / bspatch, wall (cpu) | apply peak KiB |"
  echo "|---|---|---|---|---|---|---|---|"
  row "ours: mkpatch / applypatch (host), one patch file, 1 thread" ours ours-apply-1
  row "ours: the same, 2 threads" ours ours-apply-2
  row "bsdiff 4.3 / bspatch, per file" bsdiff
  row "xdelta3 -9 -S djw, per file" xdelta3
  row "zstd -19 --long=27 --patch-from, per file" zstd
  [ "$have_wine" = 1 ] && wine_apply
  local best=bsdiff t
  for t in xdelta3 zstd; do [ "$(cat "$work/$t.size")" -lt "$(cat "$work/$best.size")" ] && best=$t; done
  read -r as _ <"$work/ours-apply-2.m"
  echo
  echo "Ours against the best other tool: $(cat "$work/ours.size") bytes, $(ratio "$(cat "$work/ours.size")" "$(cat "$work/$best.size")") of $best's $(cat "$work/$best.size");" \
    "host apply on 2 threads $as s, $(ratio "$as" "$bspatch_s") of bspatch's $bspatch_s s (wall (cpu))."
  echo
  echo "Host apply by phase, 2 threads (CPU seconds): $(grep '^phases' "$work/ours-apply-2.out" | cut -d' ' -f2- || true)"
  echo
}

# The large file's two releases, from Debian's archive through apt.
if [ -n "$big_debs" ]; then
  mkdir -p "$debs"
  for want in $big_debs; do
    name=${want%%=*} version=${want#*=}
    ls "$debs/${name}_${version//:/%3a}_"*.deb >/dev/null 2>&1 || (cd "$debs" && apt-get download -q "$want" >/dev/null 2>&1) \
      || { echo "bench: cannot fetch $want with apt-get download" >&2; exit 1; }
  done
fi

# Pairs: the archives of one name, sorted by version; the first is the old
# release, the last the new.
for dir in "$corpus" $([ -n "$big_debs" ] && echo "$debs"); do
  for key in $(ls "$dir" | sed -n 's/_.*\.deb$//p; s/-[0-9][^-]*\.tgz$//p' | sort -u); do
    [ -z "${ONLY:-}" ] || [ "$key" = "$ONLY" ] || continue
    mapfile -t pair < <(ls "$dir" | grep -E "^${key}(_[0-9].*\.deb|-[0-9][^-]*\.tgz)$" | sort -V)
    [ "${#pair[@]}" -ge 2 ] || continue
    bench_corpus "$key" "$dir/${pair[0]}" "$dir/${pair[${#pair[@]} - 1]}"
  done
done
