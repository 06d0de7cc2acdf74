#!/usr/bin/env bash
# Installs what is missing, builds the Windows program and starts it under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh windows
# The program looks for its tools beside itself: gather it and whatever tools the build made
# in one program folder. A tool that is not there makes its button show the warning box.
program_dir=build/windows/program
mkdir -p "$program_dir"
cp build/windows/src/Morvane.exe "$program_dir/"
for tool in build/windows/tools/impdef/qen_impdef.exe build/windows/tools/lib/Lib.exe; do
    if [ -f "$tool" ]; then
        cp "$tool" "$program_dir/"
    fi
done
WINEPREFIX=$PWD/build/windows/wineprefix exec scripts/wine.sh "$program_dir/Morvane.exe"
