#!/usr/bin/env python3
"""Writes a 32-bit DLL with many exports, for the benchmark and the bounded-memory check.

make_export_dll.py COUNT OUT.dll: COUNT exported functions Func00000..., in turn stdcall
(ret 4), cdecl (ret), stdcall with two return paths (ret 8), and a tail jump to the first.
make_export_dll.py --long-names OUT.dll: 65,535 names that all point at one 64 KiB string.
make_export_dll.py --jz-chain COUNT BYTES OUT.dll: BYTES of `jz +0` ending in `ret 4`, COUNT
exports entering it at even steps; --nop-run: the same with `nop`. Every export is stdcall
with 4 bytes of arguments; code shared by many exports, for the linear-time check.
--nop-ret-run: the `nop` run ending in a plain `ret`, so every export reads no argument.
"""
import struct
import sys

IMAGE_BASE, TEXT_RVA, FILE_ALIGN, SECTION_ALIGN = 0x10000000, 0x1000, 0x200, 0x1000
FUNCTIONS = [
    bytes([0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0x5D, 0xC2, 0x04, 0x00]),
    bytes([0x8B, 0x44, 0x24, 0x04, 0xC3]),
    bytes([0x85, 0xC0, 0x74, 0x03, 0xC2, 0x08, 0x00, 0x40, 0xC2, 0x08, 0x00]),
    None,  # jmp to the first function
]
FUNCTION_SIZE = 16


def align(value, to):
    return (value + to - 1) // to * to


def text_section(count):
    code = bytearray()
    for i in range(count):
        body = FUNCTIONS[i % len(FUNCTIONS)]
        if body is None:
            body = b"\xE9" + struct.pack("<i", -(len(code) + 5))
        code += body.ljust(FUNCTION_SIZE, b"\xCC")
    return bytes(code)


def export_section(rva, functions, names, shared_name=None):
    """functions: RVAs; names: (name, slot) sorted by name. shared_name: one string for all."""
    directory_size, count = 40, len(functions)
    eat = rva + directory_size
    pointers = eat + 4 * count
    ordinals = pointers + 4 * len(names)
    strings = ordinals + 2 * len(names)
    blob = bytearray(b"test.dll\0")
    name_rvas = []
    if shared_name is not None:
        shared = strings + len(blob)
        blob += shared_name + b"\0"
        name_rvas = [shared] * len(names)
    else:
        for name, _ in names:
            name_rvas.append(strings + len(blob))
            blob += name.encode() + b"\0"
    section = struct.pack("<IIHHIIIIIII", 0, 0, 0, 0, strings, 1, count, len(names), eat,
                          pointers, ordinals)
    section += struct.pack(f"<{count}I", *functions)
    section += struct.pack(f"<{len(names)}I", *name_rvas)
    section += struct.pack(f"<{len(names)}H", *(slot for _, slot in names))
    return section + blob


def write_dll(path, text, exports_for):
    export_rva = align(TEXT_RVA + len(text), SECTION_ALIGN)
    edata = exports_for(export_rva)
    headers = 0x400
    text_raw, edata_raw = align(len(text), FILE_ALIGN), align(len(edata), FILE_ALIGN)
    image_size = align(export_rva + len(edata), SECTION_ALIGN)
    out = bytearray(headers)
    out[0:2] = b"MZ"
    struct.pack_into("<I", out, 0x3C, 0x40)
    out[0x40:0x44] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", out, 0x44, 0x14C, 2, 0, 0, 0, 224, 0x2102)
    optional = 0x58
    struct.pack_into("<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII", out, optional, 0x10B, 14, 0, text_raw,
                     edata_raw, 0, 0, TEXT_RVA, export_rva, IMAGE_BASE, SECTION_ALIGN,
                     FILE_ALIGN, 4, 0, 0, 0, 4, 0, 0, image_size, headers, 0, 2, 0, 0x100000,
                     0x1000, 0x100000, 0x1000, 0, 16)
    struct.pack_into("<II", out, optional + 96, export_rva, len(edata))
    table = optional + 224
    struct.pack_into("<8sIIIIIIHHI", out, table, b".text", len(text), TEXT_RVA, text_raw,
                     headers, 0, 0, 0, 0, 0x60000020)
    struct.pack_into("<8sIIIIIIHHI", out, table + 40, b".edata", len(edata), export_rva,
                     edata_raw, headers + text_raw, 0, 0, 0, 0, 0x40000040)
    out += text.ljust(text_raw, b"\0") + edata.ljust(edata_raw, b"\0")
    with open(path, "wb") as f:
        f.write(out)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--long-names":
        count = 65535
        text = b"\xC3".ljust(FUNCTION_SIZE, b"\xCC")
        names = [("", slot) for slot in range(count)]
        write_dll(sys.argv[2], text, lambda rva: export_section(
            rva, [TEXT_RVA] * count, names, shared_name=b"A" * 65535))
        return 0
    if len(sys.argv) == 5 and sys.argv[1] in ("--jz-chain", "--nop-run", "--nop-ret-run"):
        count, size = int(sys.argv[2]), int(sys.argv[3])
        filler = b"\x74\x00" if sys.argv[1] == "--jz-chain" else b"\x90"
        ret = b"\xC3" if sys.argv[1] == "--nop-ret-run" else b"\xC2\x04\x00"
        text = filler * (size // len(filler)) + ret
        step = size // count // 2 * 2
        names = [(f"Func{i:05d}", i) for i in range(count)]
        functions = [TEXT_RVA + step * i for i in range(count)]
        write_dll(sys.argv[4], text, lambda rva: export_section(rva, functions, names))
        return 0
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    count = int(sys.argv[1])
    names = [(f"Func{i:05d}", i) for i in range(count)]
    functions = [TEXT_RVA + FUNCTION_SIZE * i for i in range(count)]
    write_dll(sys.argv[2], text_section(count), lambda rva: export_section(rva, functions, names))
    return 0


if __name__ == "__main__":
    sys.exit(main())
