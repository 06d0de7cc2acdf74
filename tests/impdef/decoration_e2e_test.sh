#!/usr/bin/env bash
# decoration_e2e_test.sh TOOL MINGW_CC CLANG LLD_LINK LLVM_READOBJ SRC_DIR GOLDEN_DIR: builds
# callee.dll (stdcall, cdecl, fastcall and data exports, stdcall names undecorated), makes its
# .def with TOOL and compares it with the golden one (_name@N @ord for the stdcall exports,
# cdecl and fastcall as exported, DATA). Then makes an import library from that .def with
# lld-link, links a Visual-C++-style caller against it and checks that every import of the
# program resolves against the DLL's exports, as the loader would.
#
# lld-link imports a `_name@N @ord` entry by the name _name@N; Lib imports it by ordinal, so
# the library is made from a copy of the .def whose decorated entries carry NONAME.
set -euo pipefail
tool=$1 cc=$2 clang=$3 lld=$4 readobj=$5 src=$6 golden=$7
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$cc" -O2 -shared -s -o callee.dll "$src/callee.c" "$src/callee.def"
"$tool" callee.dll -o callee.def
if ! cmp -s callee.def "$golden/callee.def"; then
    echo "callee.def differs from the golden file:"
    diff -u "$golden/callee.def" callee.def || true
    exit 1
fi

sed -E 's/^(    _[^ ]+@[0-9]+ @[0-9]+)( ;.*)?$/\1 NONAME\2/' callee.def >by-ordinal.def
"$lld" /def:by-ordinal.def /machine:x86 /out:callee.lib >/dev/null
"$clang" --target=i686-pc-windows-msvc -O1 -c "$src/caller.c" -o caller.obj
# lld-link makes a second name (_answer@0 == answer) a weak alias, in an object without the
# safe exception handler mark.
"$lld" /entry:main /subsystem:console /nodefaultlib /safeseh:no caller.obj callee.lib \
    /out:caller.exe

# Exports as "ordinal name" lines; imports as "name hint", or "# ordinal" by ordinal.
"$readobj" --coff-exports callee.dll |
    awk '/Ordinal:/ { o = $2 } /Name:/ { print o, $2 }' >exports
"$readobj" --coff-imports caller.exe |
    sed -n -e 's/^ *Symbol:  (\([0-9]*\))$/# \1/p' -e 's/^ *Symbol: \(.*\) (\([0-9]*\))$/\1 \2/p' \
        >imports
status=0
while read -r name number; do
    if [ "$name" = "#" ]; then
        grep -q "^$number " exports || { echo "ordinal $number is no export"; status=1; }
    else
        grep -q " $name\$" exports || { echo "import $name is no export"; status=1; }
    fi
done <imports
[ "$(wc -l <imports)" = 6 ] || { echo "expected 6 imports:"; cat imports; status=1; }
# Each decorated entry's ordinal must be the export of that undecorated name.
while read -r symbol ordinal; do
    name=${symbol#_}
    name=${name%@*}
    grep -qx "${ordinal#@} $name" exports ||
        { echo "$symbol $ordinal: ordinal ${ordinal#@} is not $name"; status=1; }
done < <(grep -E '^    _[^ ]+@[0-9]+ @[0-9]+' callee.def | awk '{ print $1, $2 }')
[ $status = 0 ] && echo "callee.def as expected; caller.exe's 6 imports resolve against callee.dll"
exit $status
