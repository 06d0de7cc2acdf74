#!/usr/bin/env python3
"""Holds qen_impdef's x86 decoder against objdump on the code of a fixed sample of Wine's
i386 DLLs.

x86_decoder_sweep decodes each DLL linearly from every export's entry to the next one;
objdump disassembles the same range. For every instruction of ours the check wants objdump's
instruction at the same address, of the same length, and the same flow where objdump's
mnemonic tells it (ret and its immediate, jmp, jcc, call and their targets, the pointer or
table of an indirect jmp). The differences in ACCEPTED are counted and printed with their
reason; any other difference fails the check.
"""
import argparse
import bisect
import collections
import os
import re
import subprocess
import sys

# Small enough to run in seconds, and between them: x87 code with fwait (msvcrt), system
# calls and hand-written assembly (ntdll), SSE (d3dx9_43), the C++ runtime (msvcp140) and
# plain Win32 code (kernelbase, user32, gdi32).
SAMPLE = ["msvcrt", "ntdll", "kernelbase", "user32", "gdi32", "d3dx9_43", "msvcp140"]
FOLDERS = ["/usr/lib/wine/i386-windows", "/usr/lib/i386-linux-gnu/wine/i386-windows"]

SYMBOL_LINE = re.compile(r"^([0-9a-f]+) <(.+)>:$")
OBJDUMP_LINE = re.compile(r"^\s*([0-9a-f]+):\t([0-9a-f]{2}(?: [0-9a-f]{2})*)\s*(?:\t(.*))?$")
TARGET = re.compile(r"^([0-9a-f]+)\b")
POINTER = re.compile(r"^\*0x([0-9a-f]+)$")
TABLE = re.compile(r"^\*0x([0-9a-f]+)\(,%\w+,4\)$")
PREFIXES = {"rep", "repz", "repnz", "repe", "repne", "lock", "data16", "addr16", "bnd", "notrack",
            "cs", "ds", "es", "ss", "fs", "gs"}
BRANCHES = {"loop", "loope", "loopne", "loopz", "loopnz", "jecxz", "jcxz"}
FAR = {"lcall", "ljmp", "lret", "iret", "iretw", "sysenter", "sysexit", "syscall", "sysret"}
STOPS = {"int3", "hlt", "ud2", "ud0", "ud1", "ud1l", "icebp", "int1"}

# Data that MinGW's runtime puts in .text: the constructor and destructor lists.
DATA_IN_CODE = {"__CTOR_LIST__", "__DTOR_LIST__"}

# Differences that are no fault of ours, each with why. The padding between functions (nop,
# xchg ax,ax, lea esi,[esi+0], int3) decodes alike in both and needs no entry.
ACCEPTED = {
    "fwait+x87": "objdump shows fwait and the x87 instruction after it as one instruction "
                 "(fstsw, fldl); the processor runs them as two, and so do we",
    "data in code": "the constructor and destructor lists (-1, pointers, 0) lie in .text "
                    "between functions; no decoding of data is right",
}


def expected_flow(text):
    """(flow, operand) that objdump's mnemonic tells, operand None where it says nothing."""
    words = text.split()
    while words and words[0] in PREFIXES:
        words = words[1:]
    if not words:
        return "next", None
    mnemonic, operand = words[0], " ".join(words[1:]).split(" <")[0]
    if mnemonic in ("ret", "retl", "retw"):
        return ("retn", int(operand[1:], 16)) if operand.startswith("$") else ("ret", None)
    if mnemonic in ("jmp", "call") and operand.startswith("*"):
        if mnemonic == "call":
            return "next", None
        for kind, pattern in (("pointer", POINTER), ("table", TABLE)):
            match = pattern.match(operand)
            if match:
                return kind, int(match.group(1), 16)
        return "register", None
    if mnemonic in ("jmp", "call") or mnemonic in BRANCHES or mnemonic.startswith("j"):
        kind = mnemonic if mnemonic in ("jmp", "call") else "jcc"
        match = TARGET.match(operand)
        return kind, int(match.group(1), 16) if match else None
    if mnemonic in FAR:
        return "far", None
    if mnemonic in STOPS or (mnemonic == "int" and operand == "$0x29"):
        return "stop", None
    return "next", None


def objdump_insns(objdump, dll, start, stop):
    """{address: (length, first byte, text, symbol)} of objdump's disassembly of
    [start, stop)."""
    out = subprocess.run([objdump, "-d", "-z", "--insn-width=16", f"--start-address={start:#x}",
                          f"--stop-address={stop:#x}", dll],
                         capture_output=True, check=True).stdout.decode("latin-1")
    insns, symbol = {}, ""
    for line in out.splitlines():
        match = OBJDUMP_LINE.match(line)
        if match:
            raw = match.group(2).split()
            insns[int(match.group(1), 16)] = (len(raw), raw[0], match.group(3) or "", symbol)
        elif SYMBOL_LINE.match(line):
            symbol = SYMBOL_LINE.match(line).group(2)
    return insns


def our_insns(sweep, dll):
    """[(address, length, flow, operand or None)] from x86_decoder_sweep."""
    out = subprocess.run([sweep, dll], capture_output=True, check=True).stdout.decode()
    insns = []
    for line in out.splitlines():
        fields = line.split()
        operand = int(fields[3], 16) if len(fields) > 3 else None
        insns.append((int(fields[0], 16), int(fields[1]), fields[2], operand))
    return insns


def symbol_at(theirs, starts, address):
    """The symbol of objdump's instruction that holds address."""
    at = bisect.bisect_right(starts, address) - 1
    return theirs[starts[at]][3] if at >= 0 else ""


def difference(ours, at, theirs):
    """None when our instruction at index `at` agrees with objdump's, else what differs."""
    address, length, flow, operand = ours[at]
    if flow == "invalid":
        return "we found no instruction"
    if address not in theirs:
        return "objdump has no instruction starting here"
    their_length, first_byte, text, _ = theirs[address]
    following = ours[at + 1] if at + 1 < len(ours) else None
    if their_length != length:
        if first_byte == "9b" and length == 1 and following and \
                following[0] == address + 1 and following[1] == their_length - 1:
            return "fwait+x87"
        return f"length {length}, objdump {their_length}"
    their_flow, their_operand = expected_flow(text)
    if their_flow != flow or (their_operand is not None and their_operand != operand):
        return f"flow {flow} {operand:x}" if operand is not None else f"flow {flow}"
    return None


def check_dll(args, dll):
    ours = our_insns(args.sweep, dll)
    if not ours:
        return ours, collections.Counter(), [f"{dll}: no code decoded"]
    last = ours[-1]
    theirs = objdump_insns(args.objdump, dll, ours[0][0], last[0] + max(last[1], 1))
    starts = sorted(theirs)
    accepted, faults = collections.Counter(), []
    at = 0
    while at < len(ours):
        found = difference(ours, at, theirs)
        address = ours[at][0]
        at += 1
        if found is None:
            continue
        if found == "fwait+x87":
            at += 1  # the x87 instruction, which objdump showed with the fwait
            accepted[found] += 1
        elif symbol_at(theirs, starts, address) in DATA_IN_CODE:
            accepted["data in code"] += 1
        else:
            text = theirs.get(address, (0, "", "(none)"))[2]
            faults.append(f"{os.path.basename(dll)} {address:#x}: {found}; objdump: {text}")
    return ours, accepted, faults


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sweep", required=True)
    parser.add_argument("--objdump", required=True)
    args = parser.parse_args()
    if not os.access(args.objdump, os.X_OK):
        print(f"objdump not found ({args.objdump}): Debian's binutils")
        return 1
    folder = next((f for f in FOLDERS if os.path.isdir(f)), None)
    if folder is None:
        print("Wine's i386 DLLs not found in", " or ".join(FOLDERS))
        return 1
    compared, accepted, faults = 0, collections.Counter(), []
    for name in SAMPLE:
        ours, dll_accepted, dll_faults = check_dll(args, os.path.join(folder, name + ".dll"))
        compared += len(ours)
        accepted += dll_accepted
        faults += dll_faults
    print(f"instructions compared: {compared} in {len(SAMPLE)} DLLs of {folder}")
    for kind, count in accepted.most_common():
        print(f"    accepted {count}: {kind}: {ACCEPTED[kind]}")
    print(f"differences: {len(faults)}")
    for fault in faults[:40]:
        print("    " + fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
