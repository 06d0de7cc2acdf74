# Sourced: pictures of Morvane's dialog on the X display in $DISPLAY, for screenshot.sh, the
# run without a display (wine.sh) and the tests.

# morvane_window [TRIES]: prints the X window id of the dialog, looking up to TRIES times half
# a second apart (default 1); fails when it is not there.
morvane_window() {
    local tries=${1:-1} window
    for ((try = 0; try < tries; try++)); do
        ((try == 0)) || sleep 0.5
        window=$(xwininfo -root -tree 2>/dev/null | awk '/"Morvane V1.0"/ {print $1; exit}')
        [ -n "$window" ] && { echo "$window"; return 0; }
    done
    return 1
}

# take_picture WINDOW OUT.png: a PNG of the window, put in place whole, so that whoever looks
# at OUT.png meanwhile never sees half of one.
take_picture() {
    import -window "$1" "$2.part.png" && mv -f "$2.part.png" "$2"
}

# follow_window OUT.png SECONDS: waits for the dialog, saves its picture, says where, and takes
# it again every SECONDS while the dialog is up.
follow_window() {
    local out=$1 seconds=$2 window
    window=$(morvane_window 240) || return 0
    sleep 1 # let it paint
    take_picture "$window" "$out" || return 0
    echo "Morvane's window: $out (taken again every $seconds s while it runs)"
    while sleep "$seconds" && xwininfo -id "$window" >/dev/null 2>&1; do
        take_picture "$window" "$out" 2>/dev/null || break
    done
}
