#!/usr/bin/env bash
# screenshot.sh [OUT.png] [windows|windows64]: starts the built Morvane.exe under Wine on a
# private Xvfb display and saves a PNG of its dialog as the user sees it (default:
# build/windows/screenshot.png, of the 32-bit build).
set -euo pipefail
cd "$(dirname "$0")/.."
config=${2:-windows}
out=$(realpath -m "${1:-build/$config/screenshot.png}")
exe=build/$config/program/Morvane.exe
[ -f "$exe" ] || { echo "$exe is missing: run scripts/build.sh $config first" >&2; exit 1; }
export WINEPREFIX=$PWD/build/$config/wineprefix
[ "$config" = windows64 ] && export MORVANE_WINE_ARCH=win64

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -euo pipefail
    exe=$1 out=$2
    source scripts/window-picture.sh
    scripts/wine.sh "$exe" &
    window=$(morvane_window 120) || { echo "the dialog did not appear" >&2; wineserver -k; exit 1; }
    sleep 2 # let it paint
    take_picture "$window" "$out"
    wineserver -k
' screenshot "$exe" "$out"
echo "$out"
