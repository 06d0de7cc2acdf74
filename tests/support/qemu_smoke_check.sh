#!/usr/bin/env bash
# qemu_smoke_check.sh [CTEST REGEX]: optional, off by default, root only. On a machine whose kernel
# cannot run 32-bit programs, runs the real 32-bit whole job (default: the test whole_job of
# build/windows; a regex picks others) with 32-bit Wine under qemu's user-mode emulation, and
# prints the time it took. Every Wine process then costs a minute or two of CPU, so expect
# the better part of an hour, most of it for the new prefix. The qemu-i386 binfmt entry it
# registers is removed again at the end, so that the test command's probe is not misled.
set -euo pipefail
cd "$(dirname "$0")/../.."
regex=${1:-^whole_job$}
[ "$(id -u)" = 0 ] || { echo "qemu_smoke_check.sh needs root (binfmt_misc)" >&2; exit 1; }
bash scripts/install-deps.sh
dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q 'install ok installed' ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-user-static
binfmt=/proc/sys/fs/binfmt_misc
[ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
entry=$binfmt/morvane-qemu-i386
if [ ! -e "$entry" ]; then
    # i386 ELF executables, handed to the static qemu (F: opened now, usable in any mount).
    echo ':morvane-qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
        >"$binfmt/register"
    trap 'echo -1 >"$entry"' EXIT
fi
export MORVANE_EMULATED_32BIT=1 MORVANE_SLOW_WINE=1
bash scripts/build.sh windows
start=$SECONDS
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    ctest --test-dir build/windows --output-on-failure --timeout 3600 -R "$1"; status=$?
    WINEPREFIX=$PWD/build/windows/wineprefix wineserver -k 2>/dev/null
    exit $status' qemu-smoke "$regex" || status=$?
echo "qemu smoke run of the 32-bit build ($regex): $((SECONDS - start)) s, exit $status"
exit $status
