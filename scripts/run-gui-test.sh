# Sourced. run_gui_test GUI_TEST WINE_RUN [SCREENSHOT.png]: runs the whole job's GUI test
# program; with SCREENSHOT.png the dialog is photographed once the test says it is ready (it
# writes a marker file after both runs and waits until the marker is gone).
run_gui_test() {
    local gui_test=$1 wine_run=$2 screenshot=${3:-} test_pid window
    if [ -z "$screenshot" ]; then
        "$wine_run" "$gui_test"
        return
    fi
    export MORVANE_SCREENSHOT_MARKER
    MORVANE_SCREENSHOT_MARKER=$(mktemp -u --suffix=.screenshot-ready)
    "$wine_run" "$gui_test" &
    test_pid=$!
    # However slow Wine is (under emulation, minutes a step), the test says when it is ready.
    while kill -0 "$test_pid" 2>/dev/null && [ ! -f "$MORVANE_SCREENSHOT_MARKER" ]; do
        sleep 0.1
    done
    if [ -f "$MORVANE_SCREENSHOT_MARKER" ]; then
        window=$(xwininfo -root -tree | awk '/"Morvane V1.0"/ {print $1; exit}')
        sleep 1 # let the log paint after the runs
        import -window "$window" "$screenshot" && echo "screenshot: $screenshot"
        rm -f "$MORVANE_SCREENSHOT_MARKER"
    fi
    wait "$test_pid"
}
