#!/usr/bin/env bash
# Installs what is missing, builds the Windows program and starts it under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh windows
# The program looks for its tools beside itself: gather them in one program folder.
program_dir=build/windows/program
mkdir -p "$program_dir"
cp build/windows/src/Morvane.exe "$program_dir/"
WINEPREFIX=$PWD/build/windows/wineprefix exec scripts/wine.sh "$program_dir/Morvane.exe"
