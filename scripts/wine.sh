#!/usr/bin/env bash
# Runs a Windows program under Wine the way every test and the run command do:
# the prefix in $WINEPREFIX (created on first use), code page 936, no debug chatter,
# and a private Xvfb display when none is set. MORVANE_RUN_PICTURE=OUT.png (run.sh sets it)
# says so first, then keeps a picture of Morvane's dialog there. MORVANE_WINE_ARCH picks the
# loader:
# win32 (the default) for the 32-bit product, win64 for the 64-bit twin, which runs under
# the 64-bit loader alone and so needs no 32-bit support from the machine.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the prefix to use}"
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
# No Mono or Gecko download prompts: the program needs neither.
# The tests stand a fake browser in for iexplore.exe in the system folder; the 64-bit loader
# would start its own built-in one there instead, unless told to prefer the file.
export WINEDLLOVERRIDES="mscoree,mshtml=;iexplore.exe=n,b"

case ${MORVANE_WINE_ARCH:-win32} in
    win32) wine=wine ;;
    win64)
        wine=/usr/lib/wine/wine64
        # Programs that Wine itself starts get the same loader.
        export WINEARCH=win64 WINELOADER=$wine ;;
    *) echo "MORVANE_WINE_ARCH must be win32 or win64" >&2; exit 2 ;;
esac

with_display() {
    if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; fi
}

# Windows not managed by a window manager: with none on Xvfb, Wine would wait 2 s for one
# on every hidden or destroyed window. Wine then draws captions and frames itself.
unmanaged='"Managed"="N"'
# Wine draws those captions' buttons with the Marlett font, which it does not find by itself.
marlett=/usr/share/wine/fonts/marlett.ttf
prefix_marlett=$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf

# Makes or completes the prefix, or stops with the reason it cannot; what Wine said is kept
# in $WINEPREFIX.log.
set_up_prefix() {
    local log=$WINEPREFIX.log reason
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        if [ "${MORVANE_WINE_ARCH:-win32}" = win32 ] && ! reason=$(bash "$here/runs-32bit.sh"); then
            echo "cannot make the 32-bit Wine prefix $WINEPREFIX: $reason" >&2
            return 1
        fi
        if ! with_display sh -c '"$1" wineboot -i && wineserver -w' boot "$wine" >"$log" 2>&1 ||
            [ ! -f "$WINEPREFIX/system.reg" ]; then
            echo "cannot make the Wine prefix $WINEPREFIX: wineboot failed; it said:" >&2
            cat "$log" >&2
            return 1
        fi
    fi
    if ! grep -qs "$unmanaged" "$WINEPREFIX/user.reg" &&
        ! with_display sh -c '"$1" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f &&
                               wineserver -w' reg "$wine" >>"$log" 2>&1; then
        echo "cannot set up the Wine prefix $WINEPREFIX: reg add failed; it said:" >&2
        cat "$log" >&2
        return 1
    fi
    if [ -f "$marlett" ] && [ ! -f "$prefix_marlett" ]; then
        cp "$marlett" "$prefix_marlett"
    fi
}

if ! grep -qs "$unmanaged" "$WINEPREFIX/user.reg" || [ ! -f "$prefix_marlett" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    # Tests may start in parallel: only one of them sets the prefix up.
    (
        flock 9
        set_up_prefix
    ) 9>"$WINEPREFIX.lock"
fi

if [ -n "${DISPLAY:-}" ]; then
    exec "$wine" "$@"
fi
if [ -n "${MORVANE_RUN_PICTURE:-}" ]; then
    echo "No display (DISPLAY is not set): Morvane runs on a private one that nobody sees; a" \
        "picture of its window goes to $MORVANE_RUN_PICTURE. End it with Ctrl+C."
    with_display bash -c 'source "$1"; out=$2 wine=$3; shift 3
        follow_window "$out" 3 &
        "$wine" "$@"; rc=$?; wineserver -w; exit $rc' wine-run "$here/window-picture.sh" \
        "$MORVANE_RUN_PICTURE" "$wine" "$@"
    exit
fi
# A Wine server left behind by a display that is gone breaks the next start: wait it out.
with_display sh -c 'wine=$1; shift; "$wine" "$@"; rc=$?; wineserver -w; exit $rc' wine-run "$wine" "$@"
