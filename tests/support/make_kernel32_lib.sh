#!/usr/bin/env bash
# make_kernel32_lib.sh IMPDEF LIB OUT_DIR [RUNNER]
# Makes OUT_DIR/kernel32.lib from Wine's own kernel32.dll with our two tools, as a user would:
# qen_impdef lists the names (no ordinals), the stdcall functions a header-free test program
# calls get their decoration by hand (name@N == name, N = bytes of parameters: the caller's
# symbol _name@N, imported by the DLL's name; x86 only), and Lib makes the library. RUNNER
# (e.g. a build tree's wine-run) runs the tools when they are .exe files.
# MORVANE_MACHINE=x64 makes it for 64-bit programs from Wine's 64-bit kernel32.dll.
set -euo pipefail
impdef=$(realpath "$1") lib=$(realpath "$2") out=$3 runner=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/machine.sh"
mkdir -p "$out/k32" && cd "$out"
cp "$wine_dll_dir/kernel32.dll" k32/
run() { ${runner:+"$runner"} "$@" | tr -d '\r'; }
run "$impdef" k32/kernel32.dll -c -o kernel32.def
# The stdcall functions test programs use, with the size of their parameters.
decorations=(GetStdHandle@4 WriteFile@20 ExitProcess@4 GetCommandLineA@0 Sleep@4)
[ "$link_machine" = x86 ] || decorations=()
for decorated in ${decorations[@]+"${decorations[@]}"}; do
    name=${decorated%@*}
    sed -i -E "s/^(\s*)$name(\s|\$)/\1$decorated == $name\2/" kernel32.def
    grep -Eq "^\s*$decorated(\s|\$)" kernel32.def || { echo "kernel32.def has no $name"; exit 1; }
done
run "$lib" /NOLOGO /DEF:kernel32.def "$lib_machine"
