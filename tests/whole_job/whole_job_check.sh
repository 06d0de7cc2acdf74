#!/usr/bin/env bash
# whole_job_check.sh GUI_TEST WINE_RUN IMPDEF_EXE LIB_EXE WORK_DIR [SCREENSHOT.png]
# The whole job end to end: builds the test DLL, lets GUI_TEST click both buttons of the real
# program (the .def and the import library land in WORK_DIR), and hand it the DLL and the
# .def on its command line, then links a program against that library and runs it under Wine.
# With SCREENSHOT.png, the dialog is photographed after both runs, and after the command-line
# runs as drop.png beside it. MORVANE_MACHINE=x64: the same with the 64-bit twin, DLL and program.
set -euo pipefail
gui_test=$(realpath "$1") wine_run=$(realpath "$2") impdef_exe=$(realpath "$3")
lib_exe=$(realpath "$4") work=$5 screenshot=${6:-}
here=$(cd "$(dirname "$0")" && pwd)
e2e=$here/../lib/e2e
source "$here/../support/machine.sh"
rm -rf "$work" && mkdir -p "$work" && work=$(realpath "$work")

build_test_dll "$work/testdll.dll"

export MORVANE_WHOLE_JOB_DIR=$work
source "$here/../support/run_gui_test.sh"
run_gui_test "$gui_test" "$wine_run" "$screenshot"

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
