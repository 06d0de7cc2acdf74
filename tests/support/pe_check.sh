#!/usr/bin/env bash
# pe_check.sh EXE gui|console x86|x64 [OBJDUMP]
# Fails unless EXE is a PE for the given subsystem and machine (PE32 for x86, PE32+ for x64)
# that imports only DLLs every Windows has (so libgcc, libstdc++ and winpthread must be
# linked in statically).
set -euo pipefail
exe=$1 subsystem=$2 machine=$3 objdump=${4:-objdump}
system_dlls='^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|advapi32|ole32|oleaut32|msvcrt|ntdll|version|shlwapi|ws2_32)\.dll$'

headers=$("$objdump" -p "$exe")
fail=0
case $machine in
    x86) magic=010b kind=PE32 format=pei-i386 ;;
    x64) magic=020b kind=PE32+ format=pei-x86-64 ;;
    *) echo "unknown machine $machine"; exit 2 ;;
esac
grep -q "^Magic[[:space:]]*$magic" <<<"$headers" || { echo "$exe: not a $kind image"; fail=1; }
grep -q "file format $format" <<<"$headers" || { echo "$exe: not an $machine image"; fail=1; }
case $subsystem in
    gui) want='00000002' ;;
    console) want='00000003' ;;
    *) echo "unknown subsystem $subsystem"; exit 2 ;;
esac
grep -q "^Subsystem[[:space:]]*$want" <<<"$headers" || { echo "$exe: subsystem is not $subsystem"; fail=1; }

dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
[ -n "$dlls" ] || { echo "$exe: no import table found"; fail=1; }
while read -r dll; do
    [ -z "$dll" ] && continue
    if ! tr '[:upper:]' '[:lower:]' <<<"$dll" | grep -Eq "$system_dlls"; then
        echo "$exe: imports $dll, which is not a system DLL"
        fail=1
    fi
done <<<"$dlls"
echo "$exe imports: $(tr '\n' ' ' <<<"$dlls")"
exit $fail
