#!/usr/bin/env python3
"""Round trip through the reference librarians: for each DLL, the .def that qen_impdef writes
(with and without -c) must be accepted by llvm-dlltool (and GNU dlltool when given), and the
import library must hold an import symbol for every named export."""
import argparse
import os
import subprocess
import sys
import tempfile

from corpus_check import def_token


def named_exports(path):
    names = []
    in_exports = False
    with open(path, "rb") as f:
        for raw in f.read().decode("latin-1").split("\r\n"):
            line = raw.strip()
            if line == "EXPORTS":
                in_exports = True
            elif in_exports and line and not line.startswith(";"):
                name, rest = def_token(line)
                if "NONAME" not in rest.split(";")[0].split():
                    names.append(name)
    return names


def import_symbols(nm, library):
    text = subprocess.run([nm, library], capture_output=True, check=True).stdout.decode("latin-1")
    return {line.split()[-1] for line in text.splitlines() if len(line.split()) >= 2}


def check(args, dll, mode, workdir):
    base = os.path.join(workdir, os.path.basename(dll) + mode)
    subprocess.run([args.tool, dll] + ([mode] if mode else []) + ["-o", base + ".def"],
                   check=True, capture_output=True)
    names = named_exports(base + ".def")
    problems = []
    librarians = [("llvm-dlltool", [args.llvm_dlltool, "-m", "i386", "-d", base + ".def",
                                    "-l", base + ".lib"], base + ".lib")]
    if args.gnu_dlltool:
        librarians.append(("dlltool", [args.gnu_dlltool, "-d", base + ".def",
                                       "-l", base + ".a"], base + ".a"))
    for label, command, library in librarians:
        run = subprocess.run(command, capture_output=True)
        if run.returncode != 0:
            problems.append(f"{label} rejects it: {run.stderr.decode('latin-1').strip()}")
            continue
        symbols = import_symbols(args.nm, library)
        missing = [n for n in names if "__imp__" + n not in symbols and "__imp_" + n not in symbols]
        if missing:
            problems.append(f"{label}: {len(missing)} names missing, e.g. {missing[:3]}")
    return len(names), problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("--llvm-dlltool", required=True)
    parser.add_argument("--nm", required=True)
    parser.add_argument("--gnu-dlltool")
    parser.add_argument("dlls", nargs="+")
    args = parser.parse_args()
    failures = checked = names = 0
    with tempfile.TemporaryDirectory() as workdir:
        for dll in args.dlls:
            if not os.path.exists(dll):
                continue
            for mode in ("", "-c"):
                count, problems = check(args, dll, mode, workdir)
                checked += 1
                names += count
                for problem in problems:
                    failures += 1
                    print(f"FAIL {dll} {mode}: {problem}")
    print(f"round trips: {checked} .def files, {names} named exports, failures: {failures}")
    return 1 if failures or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
