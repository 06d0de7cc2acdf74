#!/usr/bin/env bash
# bench-impdef.sh [RUNS]: times qen_impdef (optimised native build) against gendef on the
# largest DLL of Wine's corpus and on the one with the most exports; prints the best and the
# median wall time of RUNS runs each. A benchmark, not a test.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench -j2 --target qen_impdef >/dev/null
tool=$PWD/build/bench/tools/impdef/qen_impdef
command -v gendef >/dev/null || { echo "gendef not found (Debian mingw-w64-tools)"; exit 1; }

dirs=()
for d in /usr/lib/wine/i386-windows /usr/lib/i386-linux-gnu/wine/i386-windows; do
    [ -d "$d" ] && dirs+=("$d")
done
[ "${#dirs[@]}" -gt 0 ] || { echo "Wine's i386 DLLs not found"; exit 1; }
largest=$(ls -S "${dirs[@]/%//}"*.dll | sed -n 1p)
most_exports=$(for f in "${dirs[@]/%//}"*.dll; do
    printf '%s %s\n' "$(winedump -j export "$f" 2>/dev/null | grep -c '^  [0-9A-F]\{8\} ')" "$f"
done | sort -n | tail -1 | cut -d' ' -f2)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# time_runs LABEL COMMAND...: runs the command RUNS times in $work, prints best and median ms.
time_runs() {
    local label=$1 times=()
    shift
    for _ in $(seq "$runs"); do
        local start end
        start=$(date +%s%N)
        (cd "$work" && "$@" >/dev/null 2>&1)
        end=$(date +%s%N)
        times+=($(((end - start) / 1000)))
    done
    sorted=($(printf '%s\n' "${times[@]}" | sort -n))
    awk -v label="$label" -v best="${sorted[0]}" -v median="${sorted[$((runs / 2))]}" \
        'BEGIN { printf "  %-12s best %7.2f ms   median %7.2f ms\n", label, best / 1000, median / 1000 }'
}

for dll in "$largest" "$most_exports"; do
    name=$(basename "$dll" .dll)
    echo "$dll: $(stat -c %s "$dll") bytes, $("$tool" "$dll" -o "$work/$name.def" | sed 's/.*: \([0-9]* exports\).*/\1/'), $runs runs each"
    time_runs qen_impdef "$tool" "$dll" -o "$work/$name.def"
    time_runs gendef gendef "$dll"
done
