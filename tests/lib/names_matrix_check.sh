#!/usr/bin/env bash
# names_matrix_check.sh LIB IMPDEF E2E_DIR WORK_DIR [RUNNER]
# One stdcall function exported three ways (mingw --kill-at: multiply; mingw: multiply@8;
# Visual C++: _multiply@8), beside a stdcall and a cdecl function without arguments (the
# caller's _seven@0 links through the second name qen_impdef writes for seven), each DLL's
# .def made by qen_impdef with ordinals and with names only (-c), used as written or edited
# as the usage note says (_multiply@8, keeping the ordinal). For every case Lib makes the library, a Visual-C++-style caller is linked with
# lld-link, and the program's imports are resolved against the DLL's exports as the loader
# would. Each case must end as the table below predicts: ok, a link error, or a load error.
# With RUNNER (a build tree's wine-run) the tools are .exe files run through it, and every
# program that should load is also run and must exit with 42; not in the 64-bit twin build
# (MORVANE_MACHINE=x64), whose Wine runs no 32-bit program.
set -euo pipefail
lib=$(realpath "$1") impdef=$(realpath "$2") e2e=$(realpath "$3") work=$4 runner=${5:-}
rm -rf "$work" && mkdir -p "$work" && work=$(realpath "$work") && cd "$work"
tool() { command -v "$1" || command -v "$1-14"; }
lld_link=$(tool lld-link) readobj=$(tool llvm-readobj)
program_runner=$([ "${MORVANE_MACHINE:-x86}" = x86 ] && echo "$runner" || true)
run() { ${runner:+"$runner"} "$@" | tr -d '\r'; }

# The three DLLs.
mkdir killat mingw msvc
i686-w64-mingw32-gcc -shared -O2 -o killat/multiply.dll "$e2e/stdcall_dll.c" -Wl,--kill-at
i686-w64-mingw32-gcc -shared -O2 -o mingw/multiply.dll "$e2e/stdcall_dll.c"
clang --target=i686-pc-windows-msvc -O2 -c "$e2e/stdcall_dll.c" -o msvc/multiply.obj
"$lld_link" /nologo /dll /noentry /nodefaultlib /machine:x86 /out:msvc/multiply.dll \
    msvc/multiply.obj
clang --target=i686-pc-windows-msvc -O0 -ffreestanding -c "$e2e/stdcall_caller.c" -o caller.obj

# Every import of program.exe from multiply.dll must be an export of the DLL: by name, or
# "(N)" for ordinal N. Prints the first that is not.
unresolved() { # program dll
    local exports
    exports=$("$readobj" --coff-exports "$2" |
        awk '/Ordinal:/ {o=$2} /Name:/ {n=$2} /RVA:/ && $2 != "0x0" {print "(" o ")"; if (n != "") print n}')
    "$readobj" --coff-imports "$1" |
        awk '/Name: multiply.dll/ {d=1} /^}/ {d=0} d && /Symbol:/ {print $2}' |
        while read -r import; do
            grep -qxF -- "$import" <<<"$exports" || { echo "$import"; break; }
        done
}

# dll mode edit expected: mode "ordinals" or "names" (-c); edit "as-written" or the line the
# usage note asks for; expected "ok", "link" (unresolved __imp__multiply@8) or "load".
failures=0 cases=0
check() {
    local dll=$1 mode=$2 edit=$3 expected=$4 case=$1-$2-$3 outcome
    cases=$((cases + 1))
    mkdir "$case" && cp "$dll/multiply.dll" "$case/" && cd "$case"
    run "$impdef" multiply.dll $([ "$mode" = names ] && echo -c) -o multiply.def >/dev/null
    [ "$edit" = as-written ] || sed -i -E "s/^(\s*)multiply(\s|\r|\$)/\1$edit\2/" multiply.def
    run "$lib" /NOLOGO /DEF:multiply.def /MACHINE:IX86 >lib.out
    if ! "$lld_link" /nologo /machine:x86 /nodefaultlib /entry:start /subsystem:console \
        /out:program.exe ../caller.obj multiply.lib >link.out 2>&1; then
        grep -q 'undefined symbol: __declspec(dllimport) _multiply@8' link.out && outcome=link ||
            outcome="link error: $(head -1 link.out)"
    elif [ -n "$(unresolved program.exe multiply.dll)" ]; then
        outcome=load
    elif [ -n "$program_runner" ] && ! {
        "$program_runner" program.exe >/dev/null 2>&1
        [ $? = 42 ]
    }; then
        outcome="run failed"
    else
        outcome=ok
    fi
    printf '%-44s %-5s %s\n' "$case" "$outcome" "$(grep -m1 multiply multiply.def | tr -d '\r')"
    if [ "$outcome" != "$expected" ]; then
        echo "  expected $expected"
        failures=$((failures + 1))
    fi
    cd ..
}

# The undecorated export: with ordinals qen_impdef writes the decoration it finds in the code,
# _multiply@8 @1, as the usage note would have the user do. Names only, the name is the
# import, and the caller's _multiply@8 is missing: decorating it by hand imports a name the
# DLL does not have, unless '== multiply' keeps the import name.
check killat ordinals as-written ok
check killat ordinals '_multiply@8' ok
check killat names as-written link
check killat names '_multiply@8' load
check killat names 'multiply@8 == multiply' ok
# Decorated exports: the .def as written is all it takes.
check mingw ordinals as-written ok
check mingw names as-written ok
check msvc ordinals as-written ok
check msvc names as-written ok
echo "names matrix: $cases cases, $failures not as expected"
[ "$failures" = 0 ]
