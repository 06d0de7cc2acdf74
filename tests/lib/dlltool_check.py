#!/usr/bin/env python3
"""Checks Lib against llvm-dlltool on the 64-bit sample .def files of a folder.

For each sample_x64.def and sample_arm64.def, Lib (for the machine in the file's name) and
`llvm-dlltool -m i386:x86-64` or `-m arm64` each make a library. Every import object must be
for that machine, and every export is compared: its symbols, code or data, and how it is
imported, and the relocations of the DLL's import descriptor. The one intended difference is counted: an entry with @ordinal is imported by its
ordinal in Lib's library (llvm-dlltool: by name), as the dialog's usage note promises. An entry
`alias == name` must be the same weak alias in both. Any other difference is a problem, printed;
exits 1 on any.
"""
import argparse
import glob
import os
import subprocess
import sys
import tempfile

from corpus_check import COUNTS, MACHINES, compare, def_entries, short_imports, tool

DLLTOOL_MACHINES = {"x64": "i386:x86-64", "arm64": "arm64"}


def weak_symbols(nm, library):
    """The weak externals llvm-nm lists in the library."""
    listing = subprocess.run([nm, library], capture_output=True, text=True, check=True).stdout
    return {line.split()[-1] for line in listing.splitlines() if line.split()[-2:-1] == ["W"]}


def relocation_types(readobj, library):
    """The relocation types of the library's objects (the import descriptor's), in order."""
    listing = subprocess.run([readobj, "--relocations", library], capture_output=True,
                             text=True, check=True).stdout
    return [word for word in listing.split() if word.startswith("IMAGE_REL_")]


def check(def_path, machine, lib, work):
    """Returns (counts, problems) for one .def."""
    ours, theirs = os.path.join(work, "ours.lib"), os.path.join(work, "theirs.lib")
    subprocess.run([lib, "/NOLOGO", f"/DEF:{def_path}", f"/MACHINE:{machine}", f"/OUT:{ours}"],
                   check=True, capture_output=True)
    subprocess.run([tool("llvm-dlltool"), "-m", DLLTOOL_MACHINES[machine], "-d", def_path,
                    "-l", theirs], check=True, capture_output=True)
    counts, problems = dict.fromkeys(COUNTS, 0), []
    our_machines, their_machines = set(), set()
    our_imports = short_imports(ours, our_machines)
    their_imports = short_imports(theirs, their_machines)
    if our_machines != {MACHINES[machine]} or their_machines != our_machines:
        problems.append(f"machines: ours {our_machines}, llvm-dlltool's {their_machines}")
    entries = def_entries(def_path)
    aliases = [(name, target) for name, target in entries
               if target and name not in our_imports and name not in their_imports]
    problems += compare([e for e in entries if e not in aliases], our_imports, their_imports,
                        counts)
    nm = tool("llvm-nm")
    our_weak, their_weak = weak_symbols(nm, ours), weak_symbols(nm, theirs)
    for name, _ in aliases:
        for symbol in (name, "__imp_" + name):
            if (symbol in our_weak) != (symbol in their_weak) or symbol not in our_weak:
                problems.append(f"{name}: weak {symbol} ours {symbol in our_weak}, "
                                f"llvm-dlltool's {symbol in their_weak}")
    readobj = tool("llvm-readobj")
    if relocation_types(readobj, ours) != relocation_types(readobj, theirs):
        problems.append(f"relocations: ours {relocation_types(readobj, ours)}, llvm-dlltool's "
                        f"{relocation_types(readobj, theirs)}")
    counts["second name"] = len(aliases)
    return counts, problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lib", required=True)
    parser.add_argument("--defs", required=True, help="folder of sample_<machine>.def files")
    args = parser.parse_args()
    failed = 0
    for machine in DLLTOOL_MACHINES:
        paths = glob.glob(os.path.join(args.defs, f"sample_{machine}.def"))
        if not paths:
            sys.exit(f"no sample_{machine}.def in {args.defs}")
        with tempfile.TemporaryDirectory() as work:
            counts, problems = check(paths[0], machine, os.path.realpath(args.lib), work)
        for problem in problems:
            print(f"{machine}: {problem}")
        failed += 1 if problems else 0
        print(f"{machine}: {counts['exports']} exports compared with llvm-dlltool, "
              f"{len(problems)} other differences; intended: {counts['ordinal rule']} imported "
              f"by ordinal (llvm-dlltool: by name); {counts['second name']} weak aliases alike")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
