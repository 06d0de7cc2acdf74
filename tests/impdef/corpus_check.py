#!/usr/bin/env python3
"""Checks qen_impdef against winedump on every DLL of the given folders.

For each DLL the set of (ordinal, name) pairs in our .def must equal the export table that
`winedump -j export` prints (name None for exports by ordinal only). Prints the number of DLLs
checked, the DATA lines written and every mismatch; exits 1 on any mismatch.
"""
import argparse
import concurrent.futures
import glob
import os
import re
import subprocess
import sys
import tempfile

WINEDUMP_ENTRY = re.compile(r"^\s+[0-9A-F]{8}\s+(\d+)\s+(.*)$")


def winedump_pairs(winedump, dll):
    text = subprocess.run([winedump, "-j", "export", dll], capture_output=True,
                          check=True).stdout.decode("latin-1")
    pairs = set()
    in_table = False
    for line in text.splitlines():
        if line.strip().startswith("Entry Pt"):
            in_table = True
            continue
        if not in_table:
            continue
        match = WINEDUMP_ENTRY.match(line)
        if not match:
            if line.strip():
                in_table = False
            continue
        ordinal, rest = int(match.group(1)), match.group(2)
        name = None if rest.startswith("<by ordinal>") else rest.split(" (-> ")[0].strip()
        pairs.add((ordinal, name))
    return pairs


def def_token(text):
    """Splits the first token off a .def line: (token, rest)."""
    text = text.lstrip()
    if text.startswith('"'):
        end = text.index('"', 1)
        return text[1:end], text[end + 1:]
    parts = text.split(None, 1)
    return parts[0], (parts[1] if len(parts) > 1 else "")


def def_pairs(path):
    """(ordinal, name) pairs and the DATA count of one of our .def files."""
    pairs, data = set(), 0
    in_exports = False
    with open(path, "rb") as f:
        for raw in f.read().decode("latin-1").split("\r\n"):
            if raw.strip() == "EXPORTS":
                in_exports = True
                continue
            if not in_exports or not raw.strip() or raw.strip().startswith(";"):
                continue
            name, rest = def_token(raw)
            words = rest.split(";")[0].split()
            ordinal = int(words[0][1:])
            pairs.add((ordinal, None if "NONAME" in words else name))
            data += "DATA" in words
    return pairs, data


def check(tool, winedump, dll, workdir):
    out = os.path.join(workdir, os.path.basename(os.path.dirname(dll)) + "-" +
                       os.path.basename(dll) + ".def")
    # -n: names as exported, to compare with the export table itself.
    run = subprocess.run([tool, dll, "-n", "-o", out], capture_output=True)
    expected = winedump_pairs(winedump, dll)
    if run.returncode != 0:
        message = run.stderr.decode("latin-1").strip()
        if not expected and message.endswith("has no export table"):
            return dll, 0, None
        return dll, 0, "qen_impdef failed: " + message
    ours, data = def_pairs(out)
    os.remove(out)
    if ours != expected:
        missing = sorted(expected - ours, key=str)[:5]
        extra = sorted(ours - expected, key=str)[:5]
        return dll, data, f"missing {missing} extra {extra}"
    return dll, data, None


def find_dlls(folders):
    """Every DLL directly in the given folders, sorted."""
    return sorted(d for folder in folders for d in glob.glob(os.path.join(folder, "*.dll")))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("winedump")
    parser.add_argument("folders", nargs="+")
    parser.add_argument("-j", type=int, default=os.cpu_count() or 2)
    args = parser.parse_args()
    dlls = find_dlls(args.folders)
    if not dlls:
        print("no DLLs found in", " ".join(args.folders))
        return 1
    mismatches = data_lines = 0
    with tempfile.TemporaryDirectory() as workdir, \
            concurrent.futures.ThreadPoolExecutor(args.j) as pool:
        for dll, data, problem in pool.map(lambda d: check(args.tool, args.winedump, d, workdir),
                                           dlls):
            data_lines += data
            if problem:
                mismatches += 1
                print(f"MISMATCH {dll}: {problem}")
    print(f"DLLs checked: {len(dlls)}, mismatches: {mismatches}, DATA lines: {data_lines}")
    return 1 if mismatches else 0


if __name__ == "__main__":
    sys.exit(main())
