#!/usr/bin/env bash
# headless_run_check.sh CONFIG WORK_DIR
# The user's run command on a machine without a display: scripts/run.sh with DISPLAY unset and
# a DLL path. It must say so in one line before the program starts, keep a picture of the
# dialog in build/CONFIG/run.png (the dialog's size, not blank), and the program must make the
# DLL's .def; then Ctrl+C (SIGINT to its process group) ends it. CONFIG windows64 forces the
# 64-bit twin, as run.sh picks it on a machine without 32-bit support.
set -euo pipefail
config=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
[ "$config" = windows64 ] && export MORVANE_NO_32BIT=1 MORVANE_MACHINE=x64
source "$here/../support/machine.sh"
rm -rf "$work" && mkdir -p "$work" && work=$(realpath "$work")
picture=$root/build/$config/run.png
rm -f "$picture"
build_test_dll "$work/testdll.dll"

# wait_for SECONDS COMMAND...: until COMMAND succeeds; fails after SECONDS.
wait_for() {
    local seconds=$1
    shift
    for ((tenth = 0; tenth < seconds * 10; tenth++)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

(unset DISPLAY; exec setsid bash "$root/scripts/run.sh" "$work/testdll.dll" >"$work/run.out" 2>&1) &
run=$!
stop() {
    kill -INT -- "-$run" 2>/dev/null || true
    wait_for 30 eval '! kill -0 "$run" 2>/dev/null' || kill -KILL -- "-$run" 2>/dev/null || true
    # Its Wine server is this build's, which the next tests use with another display.
    WINEPREFIX=$root/build/$config/wineprefix wineserver -k 2>/dev/null || true
}
trap stop EXIT
fail() { echo "$1; run.sh printed:"; cat "$work/run.out"; exit 1; }

notice="No display (DISPLAY is not set): Morvane runs on a private one that nobody sees; a"
notice+=" picture of its window goes to $picture. End it with Ctrl+C."
wait_for 300 grep -Fxq "$notice" "$work/run.out" || fail "no line saying there is no display"
wait_for 120 test -f "$picture" || fail "no picture at $picture"
grep -Fxq "Morvane's window: $picture (taken again every 3 s while it runs)" "$work/run.out" ||
    fail "no line saying where the picture is"
read -r width height colours < <(identify -format '%w %h %k\n' "$picture")
# The dialog as docs/screenshot.png shows it is 443 x 373 with some 370 colours.
((width > 400 && width < 500 && height > 330 && height < 420)) ||
    fail "the picture is $width x $height, not the dialog's size"
((colours > 50)) || fail "the picture has $colours colours: blank"
wait_for 120 test -s "$work/testdll.def" || fail "the program made no testdll.def"
grep -q '^LIBRARY testdll.dll' "$work/testdll.def" || fail "testdll.def is not the DLL's"
# Taken again while it runs.
first=$(stat -c %Y "$picture")
wait_for 15 eval '[ "$(stat -c %Y "$picture")" != "$first" ]' || fail "the picture is not retaken"

kill -INT -- "-$run"
wait_for 30 eval '! kill -0 "$run" 2>/dev/null' || fail "Ctrl+C did not end it"
echo "run.sh without a display: said so, kept $picture ($width x $height) and made the .def"
