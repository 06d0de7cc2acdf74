# Sourced. run_gui_test GUI_TEST WINE_RUN [SCREENSHOT.png]: runs the whole job's GUI test
# program; with SCREENSHOT.png the dialog is photographed whenever the test says it is ready:
# after both buttons' runs (SCREENSHOT.png), and after a DLL, a file of another kind and the
# .def were handed over at once (drop.png beside it). The test writes a marker file and waits
# until it is gone.
run_gui_test() {
    local gui_test=$1 wine_run=$2 screenshot=${3:-} test_pid
    if [ -z "$screenshot" ]; then
        "$wine_run" "$gui_test"
        return
    fi
    local drop_picture
    drop_picture=$(dirname "$screenshot")/drop.png
    export MORVANE_SCREENSHOT_MARKER MORVANE_DROP_SCREENSHOT_MARKER
    MORVANE_SCREENSHOT_MARKER=$(mktemp -u --suffix=.screenshot-ready)
    MORVANE_DROP_SCREENSHOT_MARKER=$(mktemp -u --suffix=.drop-screenshot-ready)
    "$wine_run" "$gui_test" &
    test_pid=$!
    # However slow Wine is (under emulation, minutes a step), the test says when it is ready.
    while kill -0 "$test_pid" 2>/dev/null; do
        [ -f "$MORVANE_SCREENSHOT_MARKER" ] && photograph "$MORVANE_SCREENSHOT_MARKER" "$screenshot"
        [ -f "$MORVANE_DROP_SCREENSHOT_MARKER" ] &&
            photograph "$MORVANE_DROP_SCREENSHOT_MARKER" "$drop_picture"
        sleep 0.1
    done
    wait "$test_pid"
}

# photograph MARKER PICTURE: saves the dialog's picture, then deletes the marker, which lets
# the test go on.
photograph() {
    local marker=$1 picture=$2 window
    source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/window-picture.sh"
    window=$(morvane_window)
    sleep 1 # let the log paint after the runs
    take_picture "$window" "$picture" && echo "screenshot: $picture"
    rm -f "$marker"
}
