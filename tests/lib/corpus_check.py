#!/usr/bin/env python3
"""Checks Lib against lld-link /def on every DLL of a folder (Wine's i386 or x86_64 DLLs).

For each DLL, qen_impdef writes the .def twice, with ordinals and names only (-c); Lib and
`lld-link /def` (its Microsoft-compatible mode) each make a library from each. Our library
with ordinals must be read by llvm-ar and llvm-readobj without complaint. Then every export is
compared: its symbols, code or data, and how it is imported (name or ordinal). These
differences are intended and counted: Lib imports by the ordinal the .def gives (lld-link by
name); an entry name@N gets the symbol _name@N (lld-link: name@N), and so does any other name
with an '@' that is no decoration (lld-link takes every such name as decorated); a .def
without exports (names only, when a DLL has only ordinal-only exports) is refused by Lib
(lld-link makes an empty library); a second name `_name@N == name` is an import object of
`name` in Lib's library (lld-link: a weak alias of the entry it names). Any other difference
is a problem. With --machine x64, Lib is given no /MACHINE: it must take x64 from the mark
qen_impdef puts in the .def, without a warning, and every import object must be for x64 (the
x86 rules of names do not apply there). Prints the figures and every problem; exits 1 on any.
"""
import argparse
import concurrent.futures
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

COUNTS = ("exports", "ordinal rule", "name@N symbol", "other @ symbol", "empty .def",
          "second name")
STDCALL = re.compile(r"[^_@?][^@]*@[0-9]+$")  # name@N as a user or a DLL writes it


def tool(name):
    return shutil.which(name) or shutil.which(name + "-14") or sys.exit(f"{name} not found")


def run(args, cwd):
    result = subprocess.run(args, cwd=cwd, capture_output=True)
    return result.returncode, result.stdout.decode("latin-1"), result.stderr.decode("latin-1")


def imported_as(symbol, name_type, ordinal):
    """What the loader looks up, by the short import object's Name Type."""
    if name_type == 0:
        return f"ordinal {ordinal}"
    if name_type == 1:
        return symbol
    bare = symbol[1:] if symbol[:1] in ("?", "@", "_") else symbol
    return bare if name_type == 2 else bare.split("@")[0]


MACHINES = {"x86": 0x14C, "x64": 0x8664, "arm64": 0xAA64}


def short_imports(path, machines=None):
    """{symbol: (code or data, imported as)} of every short import object in the archive;
    machines, when given, collects the set of their machine numbers."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"!<arch>\n", path
    imports, offset = {}, 8
    while offset + 60 <= len(data):
        size = int(data[offset + 48:offset + 58])
        member = data[offset + 60:offset + 60 + size]
        offset += 60 + size + size % 2
        if member[:4] != b"\0\0\xff\xff":
            continue
        if machines is not None:
            machines.add(struct.unpack_from("<H", member, 6)[0])
        ordinal, bits = struct.unpack_from("<HH", member, 16)
        symbol = member[20:member.index(b"\0", 20)].decode("latin-1")
        kind = "data" if bits & 3 == 1 else "code"
        imports[symbol] = (kind, imported_as(symbol, bits >> 2 & 7, ordinal))
    return imports


def def_entries(path):
    """Entry names of the .def that are imported (not PRIVATE), each with the name after
    `==` (or None)."""
    entries, in_exports = [], False
    with open(path, encoding="latin-1") as f:
        for line in f:
            words = line.split(";")[0].split()
            if not words:
                continue
            if words[0] == "EXPORTS":
                in_exports = True
            elif in_exports and "PRIVATE" not in words[1:]:
                target = words[2].strip('"') if words[1:2] == ["=="] else None
                entries.append((words[0].strip('"'), target))
    return entries


def compare(entries, ours, theirs, counts):
    """Counts the intended differences; returns the others."""
    problems = []
    for name, target in entries:
        our = next((s for s in (name, "_" + name) if s in ours), None)
        their = next((s for s in (name, "_" + name) if s in theirs), None)
        if target and their is None and our and ours[our][1] == target:
            counts["second name"] += 1
            continue
        if our is None or their is None:
            problems.append(f"{name}: ours {our}, lld-link's {their}")
            continue
        counts["exports"] += 1
        (our_kind, our_import), (their_kind, their_import) = ours[our], theirs[their]
        if our != their:
            if STDCALL.match(name) and (our, their) == ("_" + name, name):
                counts["name@N symbol"] += 1
            elif "@" in name and (our, their) == ("_" + name, name):
                counts["other @ symbol"] += 1
            else:
                problems.append(f"{name}: symbol {our} against lld-link's {their}")
        if our_kind != their_kind:
            problems.append(f"{name}: {our_kind} against lld-link's {their_kind}")
        if our_import != their_import:
            if our_import.startswith("ordinal ") and not their_import.startswith("ordinal "):
                counts["ordinal rule"] += 1
            else:
                problems.append(f"{name}: imported as {our_import}, lld-link: {their_import}")
    return problems


def check_dll(dll, tools, scratch, machine):
    """Returns (counts, problems), or None for a DLL without exports."""
    base = os.path.splitext(os.path.basename(dll))[0]
    work = tempfile.mkdtemp(dir=scratch, prefix=base + "-")
    counts = dict.fromkeys(COUNTS, 0)
    problems = []
    for variant, flags in (("ordinals", []), ("names", ["-c"])):
        code, _, err = run([tools["impdef"], dll, *flags, "-o", f"{variant}.def"], work)
        if code != 0 and "has no export table" in err:
            shutil.rmtree(work)
            return None
        if code != 0:
            return counts, [f"qen_impdef {variant}: {err.strip()}"]
        machine_option = ["/MACHINE:IX86"] if machine == "x86" else []
        code, _, err = run([tools["lib"], "/NOLOGO", f"/DEF:{variant}.def", *machine_option,
                            f"/OUT:{variant}-ours.lib"], work)
        if code != 0 and "no exports" in err and not def_entries(
                os.path.join(work, f"{variant}.def")):
            counts["empty .def"] += 1
            continue
        if code != 0 or err:
            return counts, [f"Lib {variant}: {err.strip()}"]
        code, _, err = run([tools["lld-link"], f"/def:{variant}.def", f"/machine:{machine}",
                            f"/out:{variant}-theirs.lib"], work)
        if code != 0:
            return counts, [f"lld-link {variant}: {err.strip()}"]
        machines = set()
        problems += [f"{variant}: {p}" for p in compare(
            def_entries(os.path.join(work, f"{variant}.def")),
            short_imports(os.path.join(work, f"{variant}-ours.lib"), machines),
            short_imports(os.path.join(work, f"{variant}-theirs.lib")), counts)]
        if machines != {MACHINES[machine]}:
            problems.append(f"{variant}: import objects for machines {sorted(machines)}")
    for reader in ([tools["ar"], "t"], [tools["readobj"], "--coff-imports"]):
        if not os.path.exists(os.path.join(work, "ordinals-ours.lib")):
            break  # a DLL without exports in its export table
        code, _, err = run([*reader, "ordinals-ours.lib"], work)
        if code != 0 or err:
            problems.append(f"{os.path.basename(reader[0])}: {err.strip() or code}")
    if not problems:
        shutil.rmtree(work)
    return counts, problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lib", required=True)
    parser.add_argument("--impdef", required=True)
    parser.add_argument("--dlls", required=True, help="folder of DLLs of the machine")
    parser.add_argument("--machine", choices=("x86", "x64"), default="x86")
    parser.add_argument("--jobs", type=int, default=2)
    args = parser.parse_args()
    tools = {"lib": os.path.realpath(args.lib), "impdef": os.path.realpath(args.impdef),
             "lld-link": tool("lld-link"), "ar": tool("llvm-ar"), "readobj": tool("llvm-readobj")}
    dlls = sorted(glob.glob(os.path.join(args.dlls, "*.dll")))
    if not dlls:
        sys.exit(f"no DLLs in {args.dlls}")
    failed = without_exports = 0
    totals = dict.fromkeys(COUNTS, 0)
    with tempfile.TemporaryDirectory() as scratch, \
            concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        for dll, result in zip(dlls, pool.map(lambda d: check_dll(d, tools, scratch, args.machine), dlls)):
            if result is None:
                without_exports += 1
                continue
            counts, problems = result
            for key in totals:
                totals[key] += counts[key]
            if problems:
                failed += 1
                print(f"{os.path.basename(dll)}: " + "; ".join(problems[:5]))
    print(f"{args.machine}: {len(dlls)} DLLs ({without_exports} without exports), {totals['exports']} exports "
          f"compared with lld-link /def (with ordinals and names only), {failed} DLLs with "
          f"other differences; intended: {totals['ordinal rule']} imported by ordinal "
          f"(lld-link: by name), {totals['name@N symbol']} name@N given the symbol _name@N, "
          f"{totals['other @ symbol']} other names with '@' given a '_', "
          f"{totals['empty .def']} .def files without exports refused, "
          f"{totals['second name']} second names (lld-link: weak aliases)")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
