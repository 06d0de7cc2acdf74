#!/usr/bin/env python3
"""Checks Lib against the reference tools on every DLL of a folder (Wine's i386 DLLs).

For each DLL: qen_impdef writes the .def (with ordinals), Lib makes the library, and
llvm-dlltool -m i386 -k makes one from the same .def. Our library must be read by llvm-ar,
llvm-nm and llvm-readobj --coff-imports without any complaint, and its public symbols
(the archive index) must equal llvm-dlltool's. The one intended difference, that Lib imports
by ordinal when the .def gives one, does not change the symbols. Prints the figures and every
mismatch; exits 1 on any.
"""
import argparse
import concurrent.futures
import glob
import os
import shutil
import subprocess
import sys
import tempfile


def tool(name):
    return shutil.which(name) or shutil.which(name + "-14") or sys.exit(f"{name} not found")


def run(args, cwd):
    result = subprocess.run(args, cwd=cwd, capture_output=True)
    return result.returncode, result.stdout.decode("latin-1"), result.stderr.decode("latin-1")


def archive_symbols(nm, lib, cwd):
    """The archive index as llvm-nm prints it: a set of (symbol, member) pairs."""
    code, out, err = run([nm, "--print-armap", lib], cwd)
    if code != 0 or err:
        return None, f"llvm-nm: {err.strip() or code}"
    index = out.split("\n\n", 1)[0].splitlines()[1:]
    return set(index), None


def check_dll(dll, tools, scratch):
    """Returns (ordinal-import count or None without exports, symbol count, problems)."""
    base = os.path.splitext(os.path.basename(dll))[0]
    work = tempfile.mkdtemp(dir=scratch, prefix=base + "-")
    problems = []
    code, _, err = run([tools["impdef"], dll, "-o", "exports.def"], work)
    if code != 0 and "has no export table" in err:
        shutil.rmtree(work)
        return None, 0, []
    if code != 0:
        return 0, 0, [f"qen_impdef failed: {err.strip()}"]
    code, _, err = run([tools["lib"], "/NOLOGO", "/DEF:exports.def", "/MACHINE:IX86",
                        "/OUT:ours.lib"], work)
    if code != 0:
        return 0, 0, [f"Lib failed: {err.strip()}"]
    code, _, err = run([tools["dlltool"], "-m", "i386", "-k", "-d", "exports.def",
                        "-l", "theirs.lib"], work)
    if code != 0:
        return 0, 0, [f"llvm-dlltool failed: {err.strip()}"]
    code, out, err = run([tools["ar"], "t", "ours.lib"], work)
    if code != 0 or err:
        problems.append(f"llvm-ar: {err.strip() or code}")
    code, imports, err = run([tools["readobj"], "--coff-imports", "ours.lib"], work)
    if code != 0 or err:
        problems.append(f"llvm-readobj: {err.strip() or code}")
    ours, problem = archive_symbols(tools["nm"], "ours.lib", work)
    theirs, _ = archive_symbols(tools["nm"], "theirs.lib", work)
    if problem:
        problems.append(problem)
    elif ours != theirs:
        problems.append(f"only ours: {sorted(ours - theirs)[:5]} only theirs: "
                        f"{sorted(theirs - ours)[:5]}")
    if not problems:
        shutil.rmtree(work)
    return imports.count("Name type: ordinal"), len(ours or ()), problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lib", required=True)
    parser.add_argument("--impdef", required=True)
    parser.add_argument("--dlls", required=True, help="folder of i386 DLLs")
    parser.add_argument("--jobs", type=int, default=2)
    args = parser.parse_args()
    tools = {"lib": os.path.realpath(args.lib), "impdef": os.path.realpath(args.impdef),
             "dlltool": tool("llvm-dlltool"), "ar": tool("llvm-ar"), "nm": tool("llvm-nm"),
             "readobj": tool("llvm-readobj")}
    dlls = sorted(glob.glob(os.path.join(args.dlls, "*.dll")))
    if not dlls:
        sys.exit(f"no DLLs in {args.dlls}")
    failed = 0
    ordinal_imports = 0
    without_exports = 0
    symbols = 0
    with tempfile.TemporaryDirectory() as scratch, \
            concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        for dll, (ordinals, count, problems) in zip(dlls, pool.map(
                lambda d: check_dll(d, tools, scratch), dlls)):
            if ordinals is None:
                without_exports += 1
                continue
            ordinal_imports += ordinals
            symbols += count
            if problems:
                failed += 1
                print(f"{os.path.basename(dll)}: " + "; ".join(problems))
    print(f"{len(dlls)} DLLs ({without_exports} without exports), {symbols} public symbols "
          f"compared, {failed} DLLs with problems; {ordinal_imports} imports by ordinal "
          f"(llvm-dlltool imports those by name, with the same symbols)")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
