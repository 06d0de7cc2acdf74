#!/usr/bin/env bash
# whole_job_check.sh GUI_TEST WINE_RUN IMPDEF_EXE LIB_EXE WORK_DIR [SCREENSHOT.png]
# The whole job end to end: builds the test DLL, lets GUI_TEST click both buttons of the real
# program (the .def and the import library land in WORK_DIR), and hand it the DLL and the
# .def on its command line, then links a program against that library and runs it under Wine.
# With SCREENSHOT.png, the dialog is photographed after both runs, and after the command-line
# runs as drop.png beside it. MORVANE_MACHINE=x64: the same with a 64-bit DLL and program, and
# then an ARM64 DLL through both buttons, whose library an ARM64 program is linked against (it
# cannot run here: its imports are checked).
set -euo pipefail
gui_test=$(realpath "$1") wine_run=$(realpath "$2") impdef_exe=$(realpath "$3")
lib_exe=$(realpath "$4") work=$5 screenshot=${6:-}
here=$(cd "$(dirname "$0")" && pwd)
e2e=$here/../lib/e2e
source "$here/../support/machine.sh"
rm -rf "$work" && mkdir -p "$work" && work=$(realpath "$work")

build_test_dll "$work/testdll.dll"
if [ "$link_machine" = x64 ]; then
    clang --target=aarch64-pc-windows-msvc -ffreestanding -O1 -c "$here/arm64dll.c" \
        -o "$work/arm64dll.obj"
    "$(tool lld-link)" /nologo /dll /noentry /nodefaultlib /machine:arm64 \
        /def:"$here/arm64dll_exports.def" /out:"$work/arm64dll.dll" "$work/arm64dll.obj"
else
    export GTEST_FILTER=-*Arm64*
fi

export MORVANE_WHOLE_JOB_DIR=$work
source "$here/../support/run_gui_test.sh"
run_gui_test "$gui_test" "$wine_run" "$screenshot"

if [ "$link_machine" = x64 ]; then
    mkdir -p "$work/arm64" && cd "$work/arm64"
    clang --target=aarch64-pc-windows-msvc -ffreestanding -c "$here/arm64_program.c" -o program.obj
    "$(tool lld-link)" /nologo /entry:start /subsystem:console /nodefaultlib /machine:arm64 \
        /out:program.exe program.obj "$work/arm64dll.lib"
    "$(tool llvm-readobj)" --coff-imports program.exe >program.imports
    grep -q '^Arch: aarch64$' program.imports || { cat program.imports; exit 1; }
    for symbol in '(1)' '(2)' '(3)'; do
        grep -Fq "Symbol:  $symbol" program.imports ||
            { echo "the ARM64 program does not import ordinal $symbol"; cat program.imports; exit 1; }
    done
    grep -q 'Name: arm64dll.dll' program.imports || { cat program.imports; exit 1; }
    echo "ARM64: DLL -> .def -> .lib through the dialog; an ARM64 program linked against it"
    cd "$work"
fi

bash "$here/../support/make_kernel32_lib.sh" "$impdef_exe" "$lib_exe" "$work" "$wine_run"
# The program calls the ordinal-only export by the name the unedited .def gave it.
WINE_RUN=$wine_run PROGRAM_DEFINES=-DSECRET_CODE=Ordinal4 \
    bash "$here/../support/link_and_run_check.sh" "$work/testdll.lib" \
    "$e2e/program.c" "$work/testdll.dll" "$e2e/expected_output.txt" "$work/kernel32.lib" \
    "$work/program"
# The .def kept its ordinals, so the program imports by ordinal only.
for ordinal in 1 2 3 4 5; do
    grep -q "Symbol:  ($ordinal)" "$work/program/program.imports" ||
        { echo "the program does not import ordinal $ordinal"; exit 1; }
done
if grep -q 'Symbol: multiply' "$work/program/program.imports"; then
    echo "the program imports multiply by name although the .def gave its ordinal"
    exit 1
fi
echo "whole job: DLL -> .def -> .lib through the dialog; the linked program ran as expected"
