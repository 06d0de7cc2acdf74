#!/usr/bin/env bash
# docs-pictures.sh: retakes the README's pictures with the 64-bit twin, which runs under Wine on
# every machine (the 32-bit Wine does not run everywhere): docs/screenshot.png, the dialog as it
# opens, and docs/whole-job.png, its log after both runs on the whole job's 32-bit test DLL.
# Program, tools, DLL, .def and library lie in a neutral folder, C:\demo, so the log shows
# nothing of the machine that took the picture.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows64
bash scripts/build.sh windows64 >/dev/null
bash scripts/screenshot.sh docs/screenshot.png windows64

demo=$build/wineprefix/drive_c/demo
rm -rf "$demo" && mkdir -p "$demo"
cp "$build"/program/*.exe "$demo/"
export MORVANE_MACHINE=x86
source tests/support/machine.sh
build_test_dll "$demo/testdll.dll"

# The pictures are of the x86 job alone.
export MORVANE_PROGRAM_DIR='C:\demo' MORVANE_WHOLE_JOB_DIR='C:\demo' GTEST_FILTER=-*Arm64*
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    source tests/support/run_gui_test.sh
    run_gui_test "$1" "$2" "$3"
' pictures "$build/tests/whole_job/whole_job_gui_test.exe" "$build/wine-run" docs/whole-job.png
WINEPREFIX=$PWD/$build/wineprefix wineserver -k || true
rm -rf "$demo"
