#!/usr/bin/env bash
# lib-benchmark.sh LIB [EXPORTS]: times LIB against llvm-dlltool on one generated .def file
# with EXPORTS entries (10000 by default): plain names, stdcall names, data, ordinals. Prints
# the best of five runs of each and the sizes of both libraries. A measurement, not a test.
set -euo pipefail
lib=$(realpath "$1") count=${2:-10000}
dlltool=$(command -v llvm-dlltool || command -v llvm-dlltool-14)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
{
    echo "LIBRARY bench.dll"
    echo "EXPORTS"
    for ((i = 1; i <= count; i++)); do
        case $((i % 4)) in
            0) echo "    Function$i @$i" ;;
            1) echo "    StdcallFunction$i@$((i % 7 * 4))" ;;
            2) echo "    Variable$i @$i DATA" ;;
            3) echo "    LongerExportedFunctionName_$i" ;;
        esac
    done
} >bench.def

best_of_five() { # command...: the shortest wall time in milliseconds
    local best=999999 start end ms
    for _ in 1 2 3 4 5; do
        start=$(date +%s%N)
        "$@" >/dev/null
        end=$(date +%s%N)
        ms=$(((end - start) / 1000000))
        ((ms < best)) && best=$ms
    done
    echo "$best"
}

ours=$(best_of_five "$lib" /NOLOGO /DEF:bench.def /MACHINE:IX86 /OUT:ours.lib)
theirs=$(best_of_five "$dlltool" -m i386 -k -d bench.def -l theirs.lib)
echo "$count exports: Lib ${ours} ms, $(stat -c %s ours.lib) bytes;" \
     "llvm-dlltool ${theirs} ms, $(stat -c %s theirs.lib) bytes (best of 5)"
