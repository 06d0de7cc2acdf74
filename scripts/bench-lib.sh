#!/usr/bin/env bash
# bench-lib.sh LIB [EXPORTS...]: times LIB against llvm-dlltool, side by side in one run,
# on generated .def files with each number of EXPORTS (default 1000 5000 10000 30000 65000):
# plain names, stdcall names, data, ordinals. For each size prints the best of five runs of
# each tool (wall time, and user + system time, which other load on the machine disturbs
# less), their ratio, each tool's peak memory and the libraries' sizes; first for x86, then
# for x64 (a .def marked for X64, as qen_impdef writes one for a 64-bit DLL, against
# llvm-dlltool -m i386:x86-64). A measurement, not a test.
set -euo pipefail
lib=$(realpath "$1")
shift
sizes=("${@:-1000 5000 10000 30000 65000}")
read -r -a sizes <<<"${sizes[*]}"
dlltool=$(command -v llvm-dlltool || command -v llvm-dlltool-14)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

make_def() { # count machine
    [ "$2" = x64 ] && echo "; machine: X64"
    echo "LIBRARY bench.dll"
    echo "EXPORTS"
    for ((i = 1; i <= $1; i++)); do
        case $((i % 4)) in
            0) echo "    Function$i @$i" ;;
            1) echo "    StdcallFunction$i@$((i % 7 * 4))" ;;
            2) echo "    Variable$i @$i DATA" ;;
            3) echo "    LongerExportedFunctionName_$i" ;;
        esac
    done
}

# command...: "wall_ms cpu_ms peak_kb", the best of five runs (fastest wall, fastest CPU,
# largest peak).
best_of_five() {
    local wall=999999 cpu=999999 peak=0 start w u s c p
    for _ in 1 2 3 4 5; do
        start=$(date +%s%N)
        /usr/bin/time -f '%U %S %M' -o time.txt "$@" >/dev/null
        w=$((($(date +%s%N) - start) / 1000000))
        read -r u s p <time.txt
        c=$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%d", (u + s) * 1000 }')
        ((w < wall)) && wall=$w
        ((c < cpu)) && cpu=$c
        ((p > peak)) && peak=$p
    done
    echo "$wall $cpu $peak"
}

printf '%7s %8s | %-28s | %-28s | %s\n' machine exports "Lib: wall/cpu ms, peak KB" \
    "llvm-dlltool: wall/cpu ms, KB" "Lib/dlltool wall, cpu; sizes"
for machine in x86 x64; do
  for count in "${sizes[@]}"; do
    make_def "$count" "$machine" >bench.def
    if [ "$machine" = x86 ]; then
        ours=(/MACHINE:IX86) theirs=(-m i386 -k)
    else
        ours=() theirs=(-m i386:x86-64) # Lib takes the machine from the mark
    fi
    read -r ow oc om < <(best_of_five "$lib" /NOLOGO /DEF:bench.def ${ours[@]+"${ours[@]}"} \
        /OUT:ours.lib)
    read -r tw tc tm < <(best_of_five "$dlltool" "${theirs[@]}" -d bench.def -l theirs.lib)
    printf '%7s %8d | %6d / %6d, %9d | %6d / %6d, %9d | %.2f, %.2f; %d / %d bytes\n' \
        "$machine" "$count" \
        "$ow" "$oc" "$om" "$tw" "$tc" "$tm" "$(awk -v a="$ow" -v b="$tw" 'BEGIN { print a / b }')" \
        "$(awk -v a="$oc" -v b="$tc" 'BEGIN { print (b ? a / b : 0) }')" \
        "$(stat -c %s ours.lib)" "$(stat -c %s theirs.lib)"
  done
done
