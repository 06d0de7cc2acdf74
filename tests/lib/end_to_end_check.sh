#!/usr/bin/env bash
# end_to_end_check.sh LIB_EXE IMPDEF_EXE WINE_RUN E2E_DIR WORK_DIR
# The whole job as a user does it, with a real linker and loader: build a DLL with mingw,
# list its exports with qen_impdef, decorate the stdcall name in the .def as the usage note says
# (names only: with '== multiply', so that the import keeps the DLL's name), make the
# import library with Lib, then link a program against it (and against a kernel32 library
# that the same two tools make from Wine's own kernel32.dll) and run it under Wine.
# Done twice: with the .def's ordinals (imports by ordinal) and with names only.
# MORVANE_MACHINE=x64 does the same for 64-bit Windows, where nothing is decorated.
set -euo pipefail
lib_exe=$(realpath "$1") impdef_exe=$(realpath "$2") wine_run=$(realpath "$3")
e2e=$(realpath "$4") work=$5
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/machine.sh"
rm -rf "$work" && mkdir -p "$work" && work=$(realpath "$work") && cd "$work"

run() { "$wine_run" "$@" | tr -d '\r'; }

# The DLL: cdecl, stdcall exported without decoration, data, an ordinal-only export, fastcall
# exported under its decorated name.
build_test_dll testdll.dll

# kernel32.lib from Wine's kernel32.dll, made by the same two tools.
bash "$here/../support/make_kernel32_lib.sh" "$impdef_exe" "$lib_exe" . "$wine_run"

check_imports() { # variant, then the import lines expected in program.imports
    local variant=$1 line
    shift
    for line in "$@"; do
        grep -Fq -- "$line" "$variant/program.imports" ||
            { echo "$variant: '$line' missing from the program's imports:"; cat "$variant/program.imports"; exit 1; }
    done
}

for variant in ordinals names; do
    mkdir -p "$variant" && cd "$variant"
    if [ "$variant" = names ]; then
        run "$impdef_exe" ../testdll.dll -c -o testdll.def
        # qen_impdef leaves the ordinal-only export out; the user adds it by its ordinal.
        printf '    secret_code @4 NONAME\r\n' >>testdll.def
    else
        run "$impdef_exe" ../testdll.dll -o testdll.def
        sed -i -E 's/^(\s*)Ordinal4 /\1secret_code /' testdll.def
    fi
    # The caller's symbol is _multiply@8 (x86 only): with ordinals the usage note's
    # _multiply@8 @2; with names only the import must stay multiply, which '==' says.
    if [ "$link_machine" = x86 ] && [ "$variant" = names ]; then
        sed -i -E 's/^(\s*)multiply(\s)/\1multiply@8 == multiply\2/' testdll.def
    elif [ "$link_machine" = x86 ]; then
        sed -i -E 's/^(\s*)multiply(\s)/\1_multiply@8\2/' testdll.def
    fi
    echo "== $variant: testdll.def as edited"; cat testdll.def
    run "$lib_exe" /DEF:testdll.def "$lib_machine" | tee lib.out
    grep -q '^Creating library testdll.lib$' lib.out
    cd ..
    WINE_RUN=$wine_run bash "$here/../support/link_and_run_check.sh" "$variant/testdll.lib" \
        "$e2e/program.c" testdll.dll "$e2e/expected_output.txt" kernel32.lib "$variant"
done
fastcall_import="Symbol: @fast_sum@12 "
[ "$link_machine" = x86 ] || fastcall_import="Symbol: fast_sum "
check_imports names "Symbol: add_numbers" "Symbol: multiply" "Symbol: shared_value" \
    "Symbol:  (4)" "$fastcall_import" "Symbol: WriteFile" "Symbol: GetStdHandle" \
    "Symbol: ExitProcess"
# llvm-readobj shows an import by ordinal N as a symbol without a name: "Symbol:  (N)".
check_imports ordinals "Symbol:  (1)" "Symbol:  (2)" "Symbol:  (3)" "Symbol:  (4)" "Symbol:  (5)"
if grep -q 'Symbol: add_numbers\|Symbol: multiply' ordinals/program.imports; then
    echo "ordinals: the .def's ordinals were not used"; exit 1
fi
echo "end to end: both variants linked, loaded and printed the expected output"
