#!/usr/bin/env bash
# Installs what is missing, builds the Windows program and starts it under Wine beside its two
# tools. Where this machine cannot run 32-bit programs (or with MORVANE_NO_32BIT=1), it builds
# and starts the 64-bit twin of the same program and tools instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
config=windows
if ! reason=$(bash scripts/runs-32bit.sh); then
    config=windows64
    export MORVANE_WINE_ARCH=win64
    echo "Starting the 64-bit build of Morvane and its tools: $reason."
fi
bash scripts/build.sh "$config"
# The program looks for its tools beside itself: gather it and whatever tools the build made
# in one program folder. A tool that is not there makes its button show the warning box.
program_dir=build/$config/program
mkdir -p "$program_dir"
cp "build/$config/src/Morvane.exe" "$program_dir/"
for tool in "build/$config/tools/impdef/qen_impdef.exe" "build/$config/tools/lib/Lib.exe"; do
    if [ -f "$tool" ]; then
        cp "$tool" "$program_dir/"
    fi
done
WINEPREFIX=$PWD/build/$config/wineprefix exec scripts/wine.sh "$program_dir/Morvane.exe"
