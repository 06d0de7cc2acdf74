#!/usr/bin/env bash
# Runs a Windows program under Wine the way every test and the run command do:
# the prefix in $WINEPREFIX (created on first use), code page 936, no debug chatter,
# and a private Xvfb display when none is set.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the prefix to use}"
export WINEPREFIX WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
# No Mono or Gecko download prompts: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

with_display() {
    if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; fi
}

# Windows not managed by a window manager: with none on Xvfb, Wine would wait 2 s for one
# on every hidden or destroyed window. Wine then draws captions and frames itself.
unmanaged='"Managed"="N"'
# Wine draws those captions' buttons with the Marlett font, which it does not find by itself.
marlett=/usr/share/wine/fonts/marlett.ttf
prefix_marlett=$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf
if ! grep -qs "$unmanaged" "$WINEPREFIX/user.reg" || [ ! -f "$prefix_marlett" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    # Tests may start in parallel: only one of them creates the prefix.
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            with_display sh -c 'wineboot -i >/dev/null 2>&1; wineserver -w'
        fi
        if ! grep -qs "$unmanaged" "$WINEPREFIX/user.reg"; then
            with_display sh -c 'wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f \
                                >/dev/null 2>&1; wineserver -w'
        fi
        if [ -f "$marlett" ] && [ ! -f "$prefix_marlett" ]; then
            cp "$marlett" "$prefix_marlett"
        fi
    ) 9>"$WINEPREFIX.lock"
fi

if [ -n "${DISPLAY:-}" ]; then
    exec wine "$@"
fi
# A Wine server left behind by a display that is gone breaks the next start: wait it out.
with_display sh -c 'wine "$@"; rc=$?; wineserver -w; exit $rc' wine-run "$@"
