#!/usr/bin/env python3
"""Measures the stdcall decorations qen_impdef finds in code against two oracles.

qen_impdef runs on a copy of each 32-bit DLL stripped of its symbol table. Oracle (a) is the
unstripped DLL's own symbols: the symbol at an export's address, _Name@N for stdcall, _Name for
cdecl. Oracle (b) is mingw-w64's import library for the DLL: __imp__Name@N or __imp__Name.
For each oracle it prints precision (decorations written that agree), recall (stdcall
exports with N > 0 and code in the DLL that were decorated with the right N, whether the .def
has a line for them or not), the cdecl exports that were decorated, and what the misses are.
gendef runs on the same stripped DLLs and is measured the same way, for comparison only.
Exits 1 below the goals, or when qen_impdef fails on any DLL.
"""
import argparse
import collections
import concurrent.futures
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

from corpus_check import def_token, find_dlls

DECORATED = re.compile(r"^_(.+)@(\d+)$")
STDCALL_COMMENT = re.compile(r"^stdcall, (\d+) bytes")
ALREADY_DECORATED = re.compile(r"^[?@]|@\d+$")
NM_LINE = re.compile(r"^([0-9a-fA-F]+) ([tT]) (\S+)$")
IMP_SYMBOL = re.compile(r"^__imp__(.+?)(?:@(\d+))?$")
# Wine's own symbols for an export's stub and for its hot-patchable jump to another DLL.
WINE_ELSEWHERE = re.compile(r"^___wine_(stub|\w+_imp)_")
# (precision, recall, share of the stdcall exports without arguments given _name@0) of
# qen_impdef per oracle, as measured on Debian 12's Wine 8.0: a change that loses one
# decoration or writes one more wrong one fails. The one wrong decoration is a second name of
# ntdll's KiUserExceptionDispatcher, which never returns and is entered without a return
# address: the walk takes its second argument for its first.
GOALS = {"a": (0.99994, 0.99971, 0.9883), "b": (0.99993, 0.99743, 0.9285)}
NM = "llvm-nm"
CODE_SECTION = 0x20000020  # executable, or holds code


def pe_exports(path):
    """(image base, {export name: RVA}) of a PE32 file's exports by name whose address lies
    in code: forwarders and data are left out."""
    with open(path, "rb") as f:
        data = f.read(1 << 20)
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], \
            struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        base = struct.unpack_from("<I", data, optional + 28)[0]
        export_rva, export_size = struct.unpack_from("<II", data, optional + 96)
        sections = [struct.unpack_from("<IIII12xI", data, optional + optional_size + 40 * i + 8)
                    for i in range(count)]

        def read(rva, size):
            for vsize, va, raw_size, raw, _ in sections:
                if va <= rva < va + max(vsize, raw_size):
                    f.seek(raw + rva - va)
                    return f.read(size)
            raise ValueError(f"RVA {rva:#x} outside every section")

        if export_rva == 0 or struct.unpack_from("<I", read(export_rva + 24, 4))[0] == 0:
            return base, {}  # no exports by name
        directory = read(export_rva, 40)
        functions_count, names_count, functions, names, ordinals = \
            struct.unpack_from("<IIIII", directory, 20)
        addresses = struct.unpack(f"<{functions_count}I", read(functions, 4 * functions_count))
        name_rvas = struct.unpack(f"<{names_count}I", read(names, 4 * names_count))
        slots = struct.unpack(f"<{names_count}H", read(ordinals, 2 * names_count))
        exports = {}
        for name_rva, slot in zip(name_rvas, slots):
            name = read(name_rva, 512).split(b"\0")[0].decode("latin-1")
            address = addresses[slot]
            code = any(va <= address < va + vsize and flags & CODE_SECTION
                       for vsize, va, _, _, flags in sections)
            if code and not export_rva <= address < export_rva + export_size:
                exports[name] = address
        return base, exports


def our_findings(tool, dll, workdir):
    """{export name: ("stdcall", N[, second N]) | ("plain",) | ("alias0",) | ("either", N) |
    ("unknown", reason)} from our .def. A second name `_name@K == name` (no arguments, a
    structure returned through a hidden pointer, or a function that never returns) is a
    decoration too: "alias0", the second N, or "either"."""
    out = os.path.join(workdir, os.path.basename(dll) + ".def")
    subprocess.run([tool, dll, "-o", out], capture_output=True, check=True)
    findings = {}
    with open(out, "rb") as f:
        lines = f.read().decode("latin-1").split("\r\n")
    os.remove(out)
    for line in lines[lines.index("EXPORTS") + 1:]:
        if not line.strip() or line.strip().startswith(";"):
            continue
        entry, _, comment = line.partition(" ; ")
        token, rest = def_token(entry)
        if "DATA" in rest.split() or "NONAME" in rest.split():
            continue
        match, stdcall = DECORATED.match(token), STDCALL_COMMENT.match(comment)
        second = rest.split()
        if match and second[:1] == ["=="] and len(second) == 2 and second[1] in findings:
            # A second name for the export of the line before: _name@0 for a function without
            # arguments, or the other N of a function that may return a structure.
            kind, size = findings[second[1]], int(match.group(2))
            findings[second[1]] = ("alias0",) if kind == ("plain",) else \
                ("either", size) if kind[0] == "unknown" else kind + (size,)
        elif stdcall and match:
            findings[match.group(1)] = ("stdcall", int(match.group(2)))
        elif stdcall:  # left plain because the DLL exports the decorated name as well
            findings[token] = ("stdcall", int(stdcall.group(1)))
        elif comment.startswith("calling convention unknown: "):
            findings[token] = ("unknown", comment.split(": ", 1)[1].split(";")[0])
        elif not comment and not ALREADY_DECORATED.search(token):
            findings[token] = ("plain",)
    return findings


def gendef_findings(gendef, dll, exports):
    """The same from gendef's .def, whose stdcall lines read Name@N; None when it wrote none."""
    out = subprocess.run([gendef, "-", dll], capture_output=True).stdout
    lines = out.decode("latin-1").splitlines()
    if "EXPORTS" not in lines:
        return None
    findings = {}
    for line in lines[lines.index("EXPORTS") + 1:]:
        entry, _, comment = line.partition(" ; ")
        words = entry.split()
        if not words or words[0].startswith(";") or "=" in words or "DATA" in words:
            continue
        name, _, size = words[0].rpartition("@")
        if words[0] in exports and not ALREADY_DECORATED.search(words[0]):
            unknown = comment.startswith("Check!!!")
            findings[words[0]] = ("unknown", comment.strip()) if unknown else ("plain",)
        elif name in exports and size.isdigit():
            findings[name] = ("stdcall", int(size))
    return findings


def symbol_oracle(dll, base, exports):
    """({export name: N or None for cdecl}, {names whose code is elsewhere}) from the symbols
    at the exports' addresses. An import thunk (its symbol has an __imp_ twin) runs code of
    another DLL; a Wine stub only raises an error."""
    by_address = collections.defaultdict(list)
    imports = set()
    nm = subprocess.run([NM, dll], capture_output=True).stdout
    for line in nm.decode("latin-1").splitlines():
        match = NM_LINE.match(line)
        if match:
            by_address[int(match.group(1), 16) - base].append(match.group(3))
        elif line.split()[-1:] and line.split()[-1].startswith("__imp_"):
            imports.add(line.split()[-1][len("__imp_"):])
    oracle, elsewhere = {}, set()
    for name, rva in exports.items():
        symbols = by_address.get(rva, [])
        if any(s in imports or WINE_ELSEWHERE.match(s) for s in symbols):
            elsewhere.add(name)
        sizes = {int(m.group(2)) for m in map(DECORATED.match, symbols) if m}
        plain = [s for s in symbols if s.startswith("_") and "@" not in s and
                 not s.startswith("__")]
        if len(sizes) == 1:
            oracle[name] = sizes.pop()
        elif not sizes and plain:
            oracle[name] = None
    return oracle, elsewhere


def library_oracle(libdir, dll):
    """{name: N or None for cdecl} from mingw-w64's import library for the DLL."""
    library = os.path.join(libdir, "lib" + os.path.splitext(os.path.basename(dll))[0] + ".a")
    if not os.path.exists(library):
        return {}
    nm = subprocess.run([NM, "--defined-only", library], capture_output=True).stdout
    oracle = {}
    for line in nm.decode("latin-1").splitlines():
        match = IMP_SYMBOL.match(line.split()[-1]) if line.strip() else None
        if match:
            oracle[match.group(1)] = int(match.group(2)) if match.group(2) else None
    return oracle


def check_dll(args, dll, workdir):
    """(exports, our findings or the reason the tool failed, gendef's findings or None, the
    symbols oracle, the library oracle)."""
    stripped = os.path.join(workdir, os.path.basename(dll))
    subprocess.run([args.strip, "-o", stripped, dll], check=True)
    try:
        try:
            base, exports = pe_exports(dll)
        except (ValueError, struct.error) as error:
            raise RuntimeError(f"{dll}: its exports cannot be read: {error}") from error
        try:
            ours = our_findings(args.tool, stripped, workdir)
        except subprocess.CalledProcessError as failure:
            said = failure.stderr.decode("latin-1").strip()
            refused = not exports and said.endswith("has no export table")
            ours = {} if refused else f"{args.tool} exited with {failure.returncode}: {said}"
        except ValueError:
            ours = "its .def has no EXPORTS line"
        theirs = gendef_findings(args.gendef, stripped, exports)
    finally:
        os.remove(stripped)
    return exports, ours, theirs, symbol_oracle(dll, base, exports), \
        library_oracle(args.libdir, dll)


def as_decoration(finding, truth):
    """A second name as the decoration it offers a stdcall caller. A cdecl function takes
    _name@0 too when it reads no arguments, and either name when it never returns: its plain
    name serves a cdecl caller, so only a stdcall one counts."""
    if finding[0] in ("alias0", "either") and truth is not None:
        return ("stdcall", finding[1] if finding[0] == "either" else 0)
    return finding


class Tally:
    def __init__(self, label):
        self.label = label
        self.written = self.agreeing = self.stdcall = self.found = self.cdecl = 0
        self.elsewhere = self.confirmed = self.wrong_elsewhere = 0
        self.no_arguments = self.no_arguments_found = 0  # stdcall, N = 0
        # cdecl exports given _name@0: right for those that take no arguments, which the
        # oracles do not tell
        self.cdecl_alias0 = 0
        self.misses, self.no_argument_misses = collections.Counter(), collections.Counter()
        self.wrong = []
        # Decorations that agree with the DLL's own symbol but not with this oracle count
        # as agreeing: the oracle describes another build of the function.

    def add(self, dll, exports, findings, oracle, elsewhere, own_symbols):
        """findings: the tool's for the DLL, {} when it failed on it. own_symbols: the DLL's
        own symbols, to tell where this oracle and the code disagree with each other rather
        than with the tool."""
        for name, finding in findings.items():
            if name not in oracle:
                continue
            truth = oracle[name]
            self.cdecl_alias0 += truth is None and finding == ("alias0",)
            finding = as_decoration(finding, truth)
            if finding[0] != "stdcall":
                continue
            self.written += 1
            if truth in finding[1:]:
                self.agreeing += 1
            elif own_symbols.get(name) == finding[1]:
                self.confirmed += 1
            else:
                self.wrong.append((name in elsewhere, f"{os.path.basename(dll)}: {name} "
                                                      f"@{finding[1]}, oracle {truth}"))
                self.cdecl += truth is None
                self.wrong_elsewhere += name in elsewhere
        # Every stdcall export with arguments counts, whether the tool wrote a line for it or
        # not; an export already decorated in the DLL needs no finding.
        for name in exports:
            truth = oracle.get(name)
            if truth == 0 and name not in elsewhere and not ALREADY_DECORATED.search(name):
                self.no_arguments += 1
                finding = findings.get(name, ("missing",))
                found = as_decoration(finding, 0) == ("stdcall", 0)
                self.no_arguments_found += found
                self.no_argument_misses[" ".join(map(str, finding))] += not found
            if not truth or ALREADY_DECORATED.search(name):
                continue
            if name in elsewhere:
                self.elsewhere += 1
                continue
            self.stdcall += 1
            finding = as_decoration(findings.get(name, ("missing", "no line in the .def")), truth)
            if finding[0] == "stdcall" and truth in finding[1:]:
                self.found += 1
            else:
                self.misses[finding[0] if len(finding) == 1 or finding[0] == "stdcall"
                            else finding[1]] += 1

    def figures(self):
        precision = (self.agreeing + self.confirmed) / self.written if self.written else 0.0
        recall = self.found / self.stdcall if self.stdcall else 0.0
        no_arguments = self.no_arguments_found / self.no_arguments if self.no_arguments else 0.0
        return precision, recall, no_arguments

    def report(self):
        precision, recall, _ = self.figures()
        print(f"{self.label}: precision {precision:.4%} ({self.agreeing + self.confirmed} of "
              f"{self.written} decorations agree), recall {recall:.4%} ({self.found} of "
              f"{self.stdcall} stdcall exports with code in the DLL), cdecl exports "
              f"decorated: {self.cdecl}; _name@0 for {self.no_arguments_found} of the "
              f"{self.no_arguments} stdcall exports without arguments, and for "
              f"{self.cdecl_alias0} cdecl exports")
        print(f"    not counted: {self.elsewhere} stdcall exports whose code is an import thunk "
              f"or a Wine stub; {self.confirmed} decorations that disagree with this oracle "
              "but agree with the DLL's own symbol")
        if self.wrong_elsewhere:
            print(f"    {self.wrong_elsewhere} of the {len(self.wrong)} disagreeing decorations "
                  "are on import thunks or Wine stubs")
        for reason, count in self.misses.most_common(8):
            print(f"    missed {count}: {reason}")
        for reason, count in (+self.no_argument_misses).most_common(4):
            print(f"    missed _name@0 {count}: {reason}")
        for _, wrong in sorted(self.wrong)[:10]:
            print("    disagrees:", wrong)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("folders", nargs="+")
    parser.add_argument("--strip", default="i686-w64-mingw32-strip")
    parser.add_argument("--libdir", default="/usr/i686-w64-mingw32/lib")
    parser.add_argument("--nm", default="llvm-nm")
    parser.add_argument("--gendef", default="gendef")
    parser.add_argument("-j", type=int, default=os.cpu_count() or 2)
    args = parser.parse_args()
    global NM
    NM = args.nm
    for name, path, package in (("gendef", args.gendef, "mingw-w64-tools"),
                                ("llvm-nm", args.nm, "llvm"),
                                ("i686-w64-mingw32-strip", args.strip, "binutils-mingw-w64-i686")):
        if not shutil.which(path):
            print(f"{name} not found ({path}; Debian's {package})")
            return 1
    dlls = find_dlls(args.folders)
    if not dlls:
        print("no DLLs found in", " ".join(args.folders))
        return 1
    tallies = {(tool, oracle): Tally(f"{tool} against {label}")
               for tool in ("qen_impdef", "gendef")
               for oracle, label in (("a", "(a) the DLLs' own symbols"),
                                     ("b", "(b) mingw-w64's libraries"))}
    failed, gendef_failed = [], 0
    with tempfile.TemporaryDirectory() as workdir, \
            concurrent.futures.ThreadPoolExecutor(args.j) as pool:
        for dll, (exports, ours, theirs, (by_symbol, elsewhere), by_library) in zip(
                dlls, pool.map(lambda d: check_dll(args, d, workdir), dlls)):
            if isinstance(ours, str):
                failed.append(f"{os.path.basename(dll)}: {ours}")
                ours = {}
            gendef_failed += theirs is None and bool(exports)
            for tool, findings in (("qen_impdef", ours), ("gendef", theirs or {})):
                tallies[tool, "a"].add(dll, exports, findings, by_symbol, elsewhere, by_symbol)
                tallies[tool, "b"].add(dll, exports, findings, by_library, elsewhere, by_symbol)
    print(f"DLLs: {len(dlls)}; qen_impdef failed on {len(failed)}, gendef wrote no exports "
          f"for {gendef_failed} that have some")
    for failure in failed[:10]:
        print("    failed:", failure)
    met = not failed
    for (tool, oracle), tally in tallies.items():
        tally.report()
        if tool == "qen_impdef":
            figures = tally.figures()
            met = met and all(f >= goal for f, goal in zip(figures, GOALS[oracle])) and \
                tally.cdecl == 0
    print("goals (qen_impdef): " + "; ".join(f"({oracle}) precision {p:.3%}, recall {r:.3%}, "
                                            f"_name@0 {z:.2%}"
                                            for oracle, (p, r, z) in GOALS.items()) +
          ("; met" if met else "; NOT met"))
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
