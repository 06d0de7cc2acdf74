#!/usr/bin/env bash
# runs-32bit.sh: exits 0 when this machine can run 32-bit Wine programs; otherwise prints
# why not in one line and exits 1. MORVANE_NO_32BIT=1 forces the answer "no", so the path
# for machines without 32-bit support can be tried anywhere. 32-bit programs that run only
# through qemu's user-mode emulation count as "no" (the suite would take hours), unless
# MORVANE_EMULATED_32BIT=1 accepts them, as tests/support/qemu_smoke_check.sh does.
set -uo pipefail
shopt -s extglob
export LC_ALL=C # the reason in English, whatever the caller's locale
loader=/usr/lib/wine/wine
if [ "${MORVANE_NO_32BIT:-0}" = 1 ]; then
    echo "MORVANE_NO_32BIT=1 forces the machine to be treated as one that cannot run 32-bit programs"
    exit 1
fi
if [ ! -e "$loader" ]; then
    echo "the 32-bit Wine loader $loader is not installed (package wine32:i386)"
    exit 1
fi
if ! error=$("$loader" --version 2>&1); then
    error=${error##*: line +([0-9]): }
    hint=$(dmesg 2>/dev/null | grep -m1 -io '32-bit emulation.*' || true)
    echo "this kernel cannot run 32-bit programs ($loader --version: ${error:-no output}${hint:+; dmesg: $hint})"
    exit 1
fi
emulator=$(grep -ls '^interpreter .*qemu-i386' /proc/sys/fs/binfmt_misc/* 2>/dev/null |
    xargs -r grep -l '^enabled' 2>/dev/null | head -n 1)
if [ -n "$emulator" ] && [ "${MORVANE_EMULATED_32BIT:-0}" != 1 ]; then
    echo "32-bit programs run here only through qemu's emulation ($emulator), too slowly for the suite"
    exit 1
fi
exit 0
