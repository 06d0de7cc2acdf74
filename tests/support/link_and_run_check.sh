#!/usr/bin/env bash
# link_and_run_check.sh LIBRARY PROGRAM.c DLL EXPECTED_OUTPUT KERNEL32_LIB [WORK_DIR]
# Compiles a header-free C program for 32-bit Windows (64-bit with MORVANE_MACHINE=x64) with
# clang (the Visual C++ target),
# links it with lld-link against LIBRARY and KERNEL32_LIB only, puts DLL beside it, runs it
# under Wine and compares its standard output with EXPECTED_OUTPUT. The program's entry point
# is `void __cdecl start(void)`, and it ends with ExitProcess. The imports of the linked
# program are left in WORK_DIR/program.imports (llvm-readobj --coff-imports).
# Wine runs through $WINE_RUN (default: scripts/wine.sh, which needs WINEPREFIX).
# $PROGRAM_DEFINES: more -D options for the compiler, e.g. -DSECRET_CODE=Ordinal4.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
library=$(realpath "$1") program=$(realpath "$2") dll=$(realpath "$3")
expected=$(realpath "$4") kernel32=$(realpath "$5")
work=${6:-$(mktemp -d)}
mkdir -p "$work"
wine_run=${WINE_RUN:-$here/../../scripts/wine.sh}
source "$here/machine.sh"
readobj=$(tool llvm-readobj)

cd "$work"
cp "$dll" .
msvc_compile "$program" program.obj -O0 ${PROGRAM_DEFINES:-}
msvc_link program.exe program.obj "$library" "$kernel32"
"$readobj" --coff-imports program.exe >program.imports
"$wine_run" program.exe >program.out 2>program.err || {
    echo "program.exe failed under Wine:"; cat program.err; exit 1; }
if ! diff -u "$expected" program.out; then
    echo "program.exe printed something else than $expected"
    exit 1
fi
echo "linked against $(basename "$library") and ran under Wine: output as expected"
