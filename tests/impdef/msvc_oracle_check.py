#!/usr/bin/env python3
"""Measures the stdcall decorations qen_impdef finds on DLLs of the Microsoft ABI, against the
decorations their compiler gave, and gendef's on the same files.

Each C file of the pattern folder (one per kind of code that defeats a plain walk) is built
with clang --target=i686-pc-windows-msvc, -O2 and -Os (and the flags a first line
`/* flags: ... */` gives), its functions declared API: __stdcall as
in Visual C++ headers, or nothing with -mrtd (stdcall by default), and linked by
lld-link into a DLL that exports every function undecorated, as vendors' .def files do. The
truth is the name clang gave each function: _name@N (stdcall, N bytes) or _name (cdecl).
qen_impdef's names for an export are its decorated entry and its second names
(`_name@K == name`); a decoration is right when the truth is among them. A second name on a cdecl
function is not judged when it is _name@0 (its calls are the same instructions) or the function
never returns (no caller's stack is cleaned up after it). Recall counts the
stdcall functions, N = 0 included, whose name was written. Prints the figures per pattern, per
build and in total, gendef's beside them, and exits 1 below the thresholds or when the tool
fails on a DLL.
"""
import argparse
import collections
import concurrent.futures
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

from corpus_check import def_token

DECORATED = re.compile(r"^_(.+)@(\d+)$")
NM_FUNCTION = re.compile(r"^[0-9a-fA-F]+ T _([^@?][^@]*?)(?:@(\d+))?$")
GENDEF_LINE = re.compile(r"^([^ ;@]+)(?:@(\d+))?(?:\s|$)")
BUILDS = {"O2": ["-O2"], "Os": ["-Os"], "O2-mrtd": ["-O2", "-mrtd"], "Os-mrtd": ["-Os", "-mrtd"]}
# The levels measured on this branch; a change that loses any of them fails.
PRECISION_GOAL, RECALL_GOAL, NO_ARGUMENT_GOAL = 1.0, 0.973, 1.0


def run(args, cwd):
    return subprocess.run(args, cwd=cwd, capture_output=True)


def truth_of(nm, obj, cwd):
    """{function: N, or None for cdecl} from the object's external function symbols."""
    out = run([nm, "--defined-only", obj], cwd).stdout.decode("latin-1")
    truth = {}
    for line in out.splitlines():
        match = NM_FUNCTION.match(line)
        if match:
            truth[match.group(1)] = int(match.group(2)) if match.group(2) else None
    return truth


def our_names(def_text):
    """({export: set of N} from the decorated entries and second names of our .def, the exports
    whose second name is there because they never return)."""
    names, never_return = collections.defaultdict(set), set()
    lines = def_text.split("\r\n")
    for line in lines[lines.index("EXPORTS") + 1:]:
        if not line.strip() or line.strip().startswith(";"):
            continue
        entry, _, comment = line.partition(" ; ")
        token, rest = def_token(entry)
        match = DECORATED.match(token)
        words = rest.split()
        if match and words[:1] == ["=="] and len(words) == 2:
            names[words[1]].add(int(match.group(2)))
            if "it never returns" in comment:
                never_return.add(words[1])
        elif match and comment.startswith("stdcall"):
            names[match.group(1)].add(int(match.group(2)))
    return names, never_return


def export_comments(def_text):
    """{export: what our .def says of it}: the comments of its line and of its second names."""
    comments = collections.defaultdict(list)
    lines = def_text.split("\r\n")
    for line in lines[lines.index("EXPORTS") + 1:]:
        entry, _, comment = line.partition(" ; ")
        if not entry.strip() or entry.strip().startswith(";"):
            continue
        token, rest = def_token(entry)
        words, match = rest.split(), DECORATED.match(token)
        name = words[1] if words[:1] == ["=="] and len(words) == 2 else \
            match.group(1) if match else token
        comments[name].append(comment or "no comment")
    return {name: "; ".join(said) for name, said in comments.items()}


def gendef_names(text):
    names = collections.defaultdict(set)
    lines = text.splitlines()
    for line in lines[lines.index("EXPORTS") + 1:] if "EXPORTS" in lines else []:
        match = GENDEF_LINE.match(line)
        if match and match.group(2):
            names[match.group(1)].add(int(match.group(2)))
    return names


class Tally:
    def __init__(self):
        self.written = self.right = self.stdcall = self.found = 0
        self.no_arguments = self.no_arguments_found = self.cdecl_second = self.failed = 0
        self.wrong, self.missed = [], []

    def add(self, dll, truth, names, never_return=(), comments=None):
        comments = comments or {}
        for function, n in truth.items():
            said = f" ({comments[function]})" if function in comments else ""
            written = names.get(function, set())
            if written and n is None and (written == {0} or function in never_return):
                self.cdecl_second += 1
            elif written:
                self.written += 1
                if n in written:
                    self.right += 1
                else:
                    self.wrong.append(f"{dll}: {function} @{sorted(written)}, truth {n}{said}")
            if n is not None:
                self.stdcall += 1
                self.found += n in written
                if n not in written:
                    self.missed.append(f"{dll}: {function}@{n}{said}")
            if n == 0:
                self.no_arguments += 1
                self.no_arguments_found += 0 in written

    def merge(self, other):
        for key, value in vars(other).items():
            setattr(self, key, getattr(self, key) + value)

    def figures(self):
        ratio = lambda a, b: a / b if b else 1.0  # noqa: E731
        return (ratio(self.right, self.written), ratio(self.found, self.stdcall),
                ratio(self.no_arguments_found, self.no_arguments))

    def line(self):
        precision, recall, no_arguments = self.figures()
        return (f"precision {precision:7.2%} ({self.right}/{self.written}), recall "
                f"{recall:7.2%} ({self.found}/{self.stdcall}), _name@0 {no_arguments:7.2%} "
                f"({self.no_arguments_found}/{self.no_arguments})"
                + (f", {self.failed} DLLs failed" if self.failed else ""))


def check(source, build, tools, scratch):
    """(ours, gendef's) tallies of one source built one way."""
    base = os.path.splitext(os.path.basename(source))[0] + "-" + build
    work = tempfile.mkdtemp(dir=scratch, prefix=base + "-")
    with open(source) as f:
        first = f.readline()
    flags = first[len("/* flags:"):].split("*/")[0].split() if first.startswith("/* flags:") else []
    compile_ = run([tools["clang"], "--target=i686-pc-windows-msvc", *BUILDS[build], *flags,
                    "-DAPI=" if "-mrtd" in BUILDS[build] else "-DAPI=__stdcall",
                    "-fno-builtin", "-c", source, "-o", "code.obj"], work)
    if compile_.returncode != 0:
        sys.exit(f"{base}: clang: {compile_.stderr.decode()}")
    truth = truth_of(tools["nm"], "code.obj", work)
    write_exports(work, f"{base}.dll", truth)
    link = run([tools["lld-link"], "/nologo", "/dll", "/noentry", "/nodefaultlib",
                "/machine:x86", "/def:exports.def", f"/out:{base}.dll", "code.obj",
                os.path.join(scratch, "kernel32.lib")], work)
    if link.returncode != 0:
        sys.exit(f"{base}: lld-link: {link.stderr.decode()}")
    ours, theirs = measure(tools, f"{base}.dll", base, truth, work)
    shutil.rmtree(work)
    return ours, theirs


def write_exports(folder, dll, names):
    """A .def that exports every name undecorated."""
    with open(os.path.join(folder, "exports.def"), "w") as f:
        f.write(f"LIBRARY {dll}\nEXPORTS\n" + "".join(f"    {n}\n" for n in names))


def measure(tools, dll, label, truth, work):
    """(ours, gendef's) tallies of one DLL against its truth."""
    ours, theirs = Tally(), Tally()
    result = run([tools["impdef"], dll, "-o", "ours.def"], work)
    if result.returncode != 0:
        print(f"{label}: qen_impdef failed: {result.stderr.decode(errors='replace')}")
        ours.failed = 1
        ours.add(label, truth, {})  # every function missed
    else:
        with open(os.path.join(work, "ours.def"), "rb") as f:
            text = f.read().decode("latin-1")
        ours.add(label, truth, *our_names(text), export_comments(text))
    result = run([tools["gendef"], "-", dll], work)
    theirs.add(label, truth, gendef_names(result.stdout.decode("latin-1")))
    return ours, theirs


def find_tools(tools, names):
    """Adds each named tool's path to tools (llvm's may carry a -14); exits when one is missing."""
    for name in names:
        found = shutil.which(name) or shutil.which(name + "-14")
        if not found:
            sys.exit(f"{name} not found")
        tools[name if name != "llvm-nm" else "nm"] = found


def import_library(tools, definition, library, folder, *options):
    """Makes an import library from a .def with llvm-dlltool; exits when it fails."""
    made = run([tools["llvm-dlltool"], "-m", "i386", *options, "-d", definition, "-l", library],
               folder)
    if made.returncode != 0:
        sys.exit(f"llvm-dlltool: {made.stderr.decode()}")


def count(groups, totals, keys, ours, theirs):
    """Adds one DLL's tallies to the groups it belongs to and to the totals."""
    for key in keys:
        groups[key][0].merge(ours)
        groups[key][1].merge(theirs)
    totals["qen_impdef"].merge(ours)
    totals["gendef"].merge(theirs)


def print_figures(groups, totals):
    """Prints ours and gendef's tallies per group and in total, then our wrong decorations and
    misses; returns our total."""
    for key, (ours, theirs) in groups.items():
        print(f"{key:22} qen_impdef {ours.line()}")
        print(f"{'':22} gendef     {theirs.line()}")
    for name, tally in totals.items():
        print(f"total {name:10} {tally.line()}; second names on cdecl functions (_name@0, "
              f"or never returning): {tally.cdecl_second}")
    for wrong in totals["qen_impdef"].wrong:
        print("    wrong:", wrong)
    for missed in totals["qen_impdef"].missed:
        print("    missed:", missed)
    return totals["qen_impdef"]


def goals_met(tally, precision_goal, recall_goal, no_argument_goal):
    precision, recall, no_arguments = tally.figures()
    return precision >= precision_goal and recall >= recall_goal and \
        no_arguments >= no_argument_goal and tally.failed == 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("patterns", help="folder of the pattern sources and kernel32.def")
    parser.add_argument("-j", type=int, default=2)
    args = parser.parse_args()
    args.patterns = os.path.realpath(args.patterns)
    tools = {"impdef": os.path.realpath(args.tool)}
    find_tools(tools, ("clang", "lld-link", "llvm-nm", "llvm-dlltool", "gendef"))
    sources = sorted(glob.glob(os.path.join(args.patterns, "p*.c")))
    if not sources:
        sys.exit(f"no pattern sources in {args.patterns}")
    jobs = [(s, b) for s in sources for b in BUILDS]
    with tempfile.TemporaryDirectory() as scratch, \
            concurrent.futures.ThreadPoolExecutor(args.j) as pool:
        import_library(tools, os.path.join(args.patterns, "kernel32.def"), "kernel32.lib",
                       scratch, "-k")
        results = list(pool.map(lambda job: check(*job, tools, scratch), jobs))
    totals = {"qen_impdef": Tally(), "gendef": Tally()}
    groups = collections.defaultdict(lambda: (Tally(), Tally()))
    for (source, build), (ours, theirs) in zip(jobs, results):
        pattern = os.path.splitext(os.path.basename(source))[0]
        count(groups, totals, (pattern, build), ours, theirs)
    print(f"{len(jobs)} DLLs: {len(sources)} patterns x {len(BUILDS)} builds")
    ours = print_figures(groups, totals)
    return 0 if goals_met(ours, PRECISION_GOAL, RECALL_GOAL, NO_ARGUMENT_GOAL) else 1


if __name__ == "__main__":
    sys.exit(main())
