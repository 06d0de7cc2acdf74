#!/usr/bin/env bash
# xp_imports_check.sh EXPORTS_DIR OBJDUMP EXE...
# Fails unless every function each EXE imports is exported by that DLL on Windows XP SP3, as
# listed in EXPORTS_DIR/<dll>.txt (one name a line, lower-case file names). Names every import
# that is missing, and every DLL without a list.
set -euo pipefail
exports=$1 objdump=$2
shift 2
fail=0 checked=0
for exe in "$@"; do
    # "DLL Name: X" starts a DLL's imports; its lines are "vma hint name".
    imports=$("$objdump" -p "$exe" |
        awk '/^\tDLL Name: / {dll = tolower($3)} /^\t[0-9a-f]+\t +[0-9]+  / && dll {print dll, $3}')
    [ -n "$imports" ] || { echo "$exe: no imports found"; fail=1; }
    checked=$((checked + $(wc -l <<<"$imports")))
    for dll in $(cut -d' ' -f1 <<<"$imports" | sort -u); do
        list=$exports/${dll%.dll}.txt
        if [ ! -f "$list" ]; then
            echo "$(basename "$exe"): imports from $dll, which has no Windows XP export list"
            fail=1
            continue
        fi
        missing=$(awk -v dll="$dll" '$1 == dll {print $2}' <<<"$imports" | grep -vxF -f "$list" || true)
        for name in $missing; do
            echo "$(basename "$exe"): $dll!$name is not in Windows XP SP3"
            fail=1
        done
    done
done
echo "$checked imports of $# programs checked against Windows XP SP3's exports"
exit $fail
