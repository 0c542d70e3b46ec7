#!/usr/bin/env bash
# Registry migration benchmark: the reference walk against ours on the same
# synthetic registry (10,000 keys, 100,000 values, a tenth naming the old
# folders) in throwaway Wine prefixes. Prints both times side by side and
# compares the results value by value.
# Usage: bench/registry/run.sh [BUILD_ROOT]   (default: build; ROUNDS=3, KEEP=1
# keeps the prefixes)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
root=${1:-$top/build}
rounds=${ROUNDS:-3}
exe=$root/win/bench/registry/registry_bench.exe
[ -f "$exe" ] || cmake --build "$root/win" --target registry_bench >/dev/null
work=$root/prefix-bench-registry
. "$top/scripts/wine-env.sh"

run() {  # run PREFIX ARGS...: one command of the bench program in PREFIX
    local p=$1; shift
    WINEPREFIX=$p wine "$exe" "$@"
    WINEPREFIX=$p wineserver -w  # registry saved, server gone
}

rm -rf "$work"; mkdir -p "$work"
# Four prefixes of about a gigabyte each: gone at the end unless KEEP=1.
[ -n "${KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
"$top/scripts/prefix.sh" ensure "$work/filled"
echo "filling the synthetic registry ..."
run "$work/filled" fill

printf '%-8s %14s %14s %9s\n' round reference ours speed-up
ref_times=(); our_times=()
for r in $(seq "$rounds"); do
    "$top/scripts/prefix.sh" clone "$work/filled" "$work/reference"
    "$top/scripts/prefix.sh" clone "$work/filled" "$work/ours"
    ref=$(run "$work/reference" reference | tr -d '\r')
    our=$(run "$work/ours" ours | tr -d '\r')
    rt=${ref%% s*}; ot=${our%% s*}
    ref_times+=("$rt"); our_times+=("$ot")
    printf '%-8s %12s s %12s s %8.2fx\n' "$r" "$rt" "$ot" "$(awk -v a="$rt" -v b="$ot" 'BEGIN{print a/b}')"
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
rm_=$(median "${ref_times[@]}"); om=$(median "${our_times[@]}")
printf '%-8s %12s s %12s s %8.2fx\n' median "$rm_" "$om" "$(awk -v a="$rm_" -v b="$om" 'BEGIN{print a/b}')"
echo "values read per run: reference ${ref#* s, }, ours ${our#* s, }"
echo "added per key besides server calls (link check, path, stop check): $(run "$work/filled" perkey | tr -d '\r')"

# Results of the last round, value by value.
for p in reference ours filled; do run "$work/$p" dump 'C:\bench-dump.txt'; done
awk -F'\t' '
    FNR == 1 { f++ }
    f == 1 { orig[$1] = $2 "\t" $3; next }
    f == 2 { ref[$1] = $2 "\t" $3; next }
    {
        n = $1; sub(/.*:v[0-9][0-9]_|.*:zz_/, "", n)
        correct = (n ~ /^ok/ || n == "plain")   # handled correctly by the reference
        mine = $2 "\t" $3
        if (correct) { compared++; if (mine == ref[$1]) same++; else { bad++; if (bad <= 5) print "DIFFERS: " $1 } }
        else if (mine != ref[$1]) { differ[n]++ }
        if (mine != orig[$1]) changed[n]++
    }
    END {
        printf "values compared where the reference is correct: %d, identical: %d\n", compared, same
        for (c in differ) printf "  results differ on purpose, class %-8s: %d values\n", c, differ[c]
        for (c in changed) printf "  rewritten by ours, class %-8s: %d values\n", c, changed[c]
        exit bad > 0
    }' "$work/filled/drive_c/bench-dump.txt" "$work/reference/drive_c/bench-dump.txt" \
       "$work/ours/drive_c/bench-dump.txt"
