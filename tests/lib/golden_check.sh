#!/usr/bin/env bash
# golden_check.sh LIB GOLDEN_DIR: makes a library from each sample_<machine>.def in
# GOLDEN_DIR with LIB and compares what llvm-ar, llvm-nm and llvm-readobj show of it with the
# checked-in .txt files. UPDATE_GOLDEN=1 rewrites them instead.
set -euo pipefail
lib=$(realpath "$1") golden=$(realpath "$2")
source "$(dirname "$0")/../support/find_tool.sh"
ar=$(tool llvm-ar)
nm=$(tool llvm-nm)
readobj=$(tool llvm-readobj)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
status=0
for def in "$golden"/sample_*.def; do
    name=$(basename "$def" .def)
    machine=${name#sample_}
    cp "$def" .
    "$lib" /NOLOGO /DEF:"$name.def" /MACHINE:"$machine" >"$name.out" 2>&1
    {
        echo "== Lib"; cat "$name.out"
        echo "== llvm-ar t"; "$ar" t "$name.lib"
        echo "== llvm-nm --print-armap"; "$nm" --print-armap "$name.lib"
        echo "== llvm-readobj --coff-imports --sections --relocations --symbols"
        "$readobj" --coff-imports --sections --relocations --symbols "$name.lib"
    } >"$name.txt" 2>&1
    if [ "${UPDATE_GOLDEN:-}" = 1 ]; then
        cp "$name.txt" "$golden/$name.txt"
    elif ! diff -u "$golden/$name.txt" "$name.txt"; then
        echo "golden mismatch: $name"
        status=1
    fi
done
exit $status
