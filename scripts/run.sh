#!/usr/bin/env bash
# Installs what is missing, builds the Windows program and starts it under Wine from its
# program folder, beside its two tools. Where this machine cannot run 32-bit programs (or with
# MORVANE_NO_32BIT=1), it builds and starts the 64-bit twin of the same program and tools.
# Its arguments go to the program, as a drop on its icon does (a .dll or a .def, given as a
# Linux or a Windows path). Without a display it says so and keeps a picture of the window in
# build/<config>/run.png.
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
# A file that exists here is handed over as Wine sees it, on drive Z:.
arguments=()
for argument in "$@"; do
    if [ -e "$argument" ]; then
        path=$(realpath "$argument")
        argument="Z:${path//\//\\}"
    fi
    arguments+=("$argument")
done
[ -n "${DISPLAY:-}" ] || export MORVANE_RUN_PICTURE=$PWD/build/$config/run.png
WINEPREFIX=$PWD/build/$config/wineprefix exec scripts/wine.sh "build/$config/program/Morvane.exe" \
    ${arguments[@]+"${arguments[@]}"}
