#!/usr/bin/env bash
# bench-impdef.sh [RUNS]: times qen_impdef (optimised native build, stdcall decorations on, as
# by default) against gendef side by side: on the five largest DLLs of Wine's i386 corpus and
# on made-up DLLs with 1,000, 10,000 and 65,535 exports. Both write a .def file. Prints the
# best and the median wall time of RUNS runs each and the ratio of the medians. The native
# build links its runtime statically, as the Windows executable does. A benchmark, not a test.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXE_LINKER_FLAGS=-static \
    >/dev/null
cmake --build build/bench -j2 --target qen_impdef >/dev/null
tool=$PWD/build/bench/tools/impdef/qen_impdef
command -v gendef >/dev/null || { echo "gendef not found (Debian mingw-w64-tools)"; exit 1; }

dirs=()
for d in /usr/lib/wine/i386-windows /usr/lib/i386-linux-gnu/wine/i386-windows; do
    [ -d "$d" ] && dirs+=("$d")
done
[ "${#dirs[@]}" -gt 0 ] || { echo "Wine's i386 DLLs not found"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dlls=($(ls -S "${dirs[@]/%//}"*.dll | sed -n 1,5p))
for count in 1000 10000 65535; do
    python3 tests/impdef/make_export_dll.py "$count" "$work/exports$count.dll"
    dlls+=("$work/exports$count.dll")
done

# The two tools run in turn, so that both see the same load on the machine. Times in us.
elapsed_us() {
    local start=$EPOCHREALTIME
    "$@" >/dev/null 2>&1
    local end=$EPOCHREALTIME
    echo $(((${end/./} - ${start/./})))
}

# best_median US...: prints "best median" of the times given.
best_median() {
    local sorted=($(printf '%s\n' "$@" | sort -n))
    echo "${sorted[0]} ${sorted[$(($# / 2))]}"
}

cd "$work"
printf '%-22s %10s %8s  %-24s %-24s %s\n' DLL bytes exports "qen_impdef best/median" \
    "gendef best/median" "ratio of medians"
for dll in "${dlls[@]}"; do
    name=$(basename "$dll" .dll)
    summary=$("$tool" "$dll" -o "$name.def")
    exports=$(sed 's/.*: \([0-9]*\) exports.*/\1/' <<<"$summary")
    ours=() theirs=()
    # Each run writes a new file: gendef writes <internal name>.def beside the work folder.
    for _ in $(seq "$runs"); do
        rm -f ./*.def ./*.def.bak
        ours+=($(elapsed_us "$tool" "$dll" -o "$name.def"))
        theirs+=($(elapsed_us gendef "$dll"))
    done
    read -r ours_best ours_median < <(best_median "${ours[@]}")
    read -r gendef_best gendef_median < <(best_median "${theirs[@]}")
    awk -v n="$name" -v b="$(stat -c %s "$dll")" -v e="$exports" -v ob="$ours_best" \
        -v om="$ours_median" -v gb="$gendef_best" -v gm="$gendef_median" 'BEGIN {
        printf "%-22s %10d %8d  %8.2f / %8.2f ms    %8.2f / %8.2f ms    %.2fx\n",
               n, b, e, ob / 1000, om / 1000, gb / 1000, gm / 1000, om / gm }'
done
