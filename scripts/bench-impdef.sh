#!/usr/bin/env bash
# bench-impdef.sh [RUNS]: times qen_impdef (optimised native build, stdcall decorations on, as
# by default) against gendef side by side: on the five largest DLLs of Wine's i386 corpus and
# on made-up DLLs with 1,000, 10,000 and 65,535 exports. Both write a new .def file each run.
# The tools run in turn, RUNS times each, started by posix_spawn, so that the harness adds as
# little as it can; prints the median wall time, CPU time (user + system) and page faults of
# each, and the ratios of the median wall and CPU times. The first line is an empty statically
# linked program, what any process costs here. The native build links its runtime statically,
# as the Windows executable does. A benchmark, not a test.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXE_LINKER_FLAGS=-static \
    >/dev/null
cmake --build build/bench -j2 --target qen_impdef >/dev/null
tool=$PWD/build/bench/tools/impdef/qen_impdef
command -v gendef >/dev/null || { echo "gendef not found (Debian mingw-w64-tools)"; exit 1; }

dirs=()
for d in /usr/lib/wine/i386-windows /usr/lib/i386-linux-gnu/wine/i386-windows; do
    [ -d "$d" ] && dirs+=("$d")
done
[ "${#dirs[@]}" -gt 0 ] || { echo "Wine's i386 DLLs not found"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dlls=($(ls -S "${dirs[@]/%//}"*.dll | sed -n 1,5p))
for count in 1000 10000 65535; do
    python3 tests/impdef/make_export_dll.py "$count" "$work/exports$count.dll"
    dlls+=("$work/exports$count.dll")
done

printf 'int main(void) { return 0; }\n' >"$work/empty.c"
cc -O2 -static -o "$work/empty" "$work/empty.c"

cd "$work"
python3 - "$runs" "$tool" "${dlls[@]}" <<'PY'
import glob, os, statistics, subprocess, sys, time

runs, tool, dlls = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
quiet = [(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0),
         (os.POSIX_SPAWN_OPEN, 2, os.devnull, os.O_WRONLY, 0)]
gendef = next(os.path.join(d, "gendef") for d in os.environ["PATH"].split(":")
              if os.access(os.path.join(d, "gendef"), os.X_OK))


def once(argv):
    """Wall ms, CPU ms and page faults of one run, each after removing the .def files."""
    for old in glob.glob("*.def") + glob.glob("*.def.bak"):
        os.remove(old)
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=quiet)
    _, status, usage = os.wait4(pid, 0)
    wall = (time.perf_counter() - start) * 1000
    if status != 0:
        sys.exit(f"{' '.join(argv)} failed")
    return wall, (usage.ru_utime + usage.ru_stime) * 1000, usage.ru_minflt


def medians(samples):
    return [statistics.median(column) for column in zip(*samples)]


print(f"{'DLL':<16} {'bytes':>10} {'exports':>7}   {'qen_impdef wall/CPU ms, faults':<32}"
      f"{'gendef wall/CPU ms, faults':<32}ratio wall/CPU")
empty = medians([once(["./empty"]) for _ in range(runs)])
print(f"{'(empty program)':<16} {'':>10} {'':>7}   "
      f"{empty[0]:6.2f} / {empty[1]:6.2f}, {empty[2]:5.0f}")
for dll in dlls:
    name = os.path.basename(dll)[:-4]
    ours, theirs = [], []
    for _ in range(runs):
        ours.append(once([tool, dll, "-o", name + ".def"]))
        theirs.append(once([gendef, dll]))
    o, t = medians(ours), medians(theirs)
    summary = subprocess.run([tool, dll, "-o", name + ".def"], capture_output=True, text=True)
    exports = summary.stdout[len(dll) + 2:].split()[0]
    print(f"{name:<16} {os.path.getsize(dll):>10} {exports:>7}   "
          f"{o[0]:8.2f} / {o[1]:8.2f}, {o[2]:6.0f}       "
          f"{t[0]:8.2f} / {t[1]:8.2f}, {t[2]:6.0f}       {o[0] / t[0]:.2f}x / {o[1] / t[1]:.2f}x")
PY
