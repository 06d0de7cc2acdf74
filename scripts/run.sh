#!/usr/bin/env bash
# Installs what is missing, builds the Windows program and starts it under Wine from its
# program folder, beside its two tools. Where this machine cannot run 32-bit programs (or with
# MORVANE_NO_32BIT=1), it builds and starts the 64-bit twin of the same program and tools.
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
WINEPREFIX=$PWD/build/$config/wineprefix exec scripts/wine.sh "build/$config/program/Morvane.exe"
