#!/usr/bin/env bash
# names_matrix_check.sh LIB IMPDEF E2E_DIR WORK_DIR [RUNNER]
# One stdcall function exported three ways (mingw --kill-at: multiply; mingw: multiply@8;
# Visual C++: _multiply@8), beside a stdcall and a cdecl function without arguments (the
# caller's _seven@0 links through the second name qen_impdef writes for seven), each DLL's
# .def made by qen_impdef with ordinals, with names only (-c) or without decorations (-n),
# used as written or edited as the usage note says (_multiply@8, keeping the ordinal). For
# every case Lib makes the library, whose import objects must name multiply.dll; a
# Visual-C++-style caller is linked with lld-link; the program must import everything from
# multiply.dll and multiply by exactly the expected symbol, and its imports are resolved
# against the DLL's exports as the loader would. Each case must end as the table below
# predicts: ok, a link error, or a load error. Then the same for a DLL whose lines qen_impdef
# marks unknown, its library made by Lib and by lld-link.
# With RUNNER (a build tree's wine-run) the tools are .exe files run through it, and every
# program that should load is also run and must exit with 42; not in the 64-bit twin build
# (MORVANE_MACHINE=x64), whose Wine runs no 32-bit program.
set -euo pipefail
lib=$(realpath "$1") impdef=$(realpath "$2") e2e=$(realpath "$3") work=$4 runner=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work" && work=$(realpath "$work") && cd "$work"
program_runner=$([ "${MORVANE_MACHINE:-x86}" = x86 ] && echo "$runner" || true)
# The matrix is about x86 names: its DLLs and programs are x86 in the twin's build as well.
MORVANE_MACHINE=x86 source "$here/../support/machine.sh"
readobj=$(tool llvm-readobj)
run() { ${runner:+"$runner"} "$@" | tr -d '\r'; }

# The three DLLs.
mkdir killat mingw msvc
"$mingw_cc" -shared -O2 -o killat/multiply.dll "$e2e/stdcall_dll.c" -Wl,--kill-at
"$mingw_cc" -shared -O2 -o mingw/multiply.dll "$e2e/stdcall_dll.c"
msvc_compile "$e2e/stdcall_dll.c" msvc/multiply.obj -O2
msvc_link msvc/multiply.dll msvc/multiply.obj
msvc_compile "$e2e/stdcall_caller.c" caller.obj -O0

# The DLL names the library's import objects record, one a line.
library_dlls() {
    "$readobj" "$1" | awk '/^File: / {file = $2} /^Format: COFF-import-file/ {print file}' | sort -u
}

# Every import of a program, "dll symbol" a line; symbol "(N)" for ordinal N.
imports() {
    "$readobj" --coff-imports "$1" | awk '/Name:/ {dll = $2} /Symbol:/ {print dll, $2}'
}

# The program's import of multiply, "dll symbol": the import that is neither seven nor six
# (an ordinal is looked up in the DLL's exports).
multiply_import() { # program dll
    local exports
    exports=$("$readobj" --coff-exports "$2" | awk '/Ordinal:/ {o=$2} /Name:/ {print "(" o ") " $2}')
    imports "$1" | while read -r dll symbol; do
        local name=$symbol
        [[ $symbol == "("* ]] && name=$(awk -v o="$symbol" '$1 == o {print $2}' <<<"$exports")
        [[ $name == *seven* || $name == *six* ]] || echo "$dll $symbol"
    done
}

# Prints the first import of the program from multiply.dll that is not an export of the DLL:
# by name, or "(N)" for ordinal N.
unresolved() { # program dll
    local exports
    exports=$("$readobj" --coff-exports "$2" |
        awk '/Ordinal:/ {o=$2} /Name:/ {n=$2} /RVA:/ && $2 != "0x0" {print "(" o ")"; if (n != "") print n}')
    imports "$1" | while read -r _ import; do
        grep -qxF -- "$import" <<<"$exports" || { echo "$import"; break; }
    done
}

# What the linked program gives: load (it imports what the DLL lacks), run failed (with
# RUNNER, it did not exit with 42) or ok.
run_outcome() { # program dll
    if [ -n "$(unresolved "$1" "$2")" ]; then
        echo load
    elif [ -n "$program_runner" ] && ! {
        "$program_runner" "$1" >/dev/null 2>&1
        [ $? = 42 ]
    }; then
        echo "run failed"
    else
        echo ok
    fi
}

# Prints a case's line, and counts it when it did not end as expected.
report() { # case outcome expected detail
    printf '%-44s %-5s %s\n' "$1" "$2" "$4"
    if [ "$2" != "$3" ]; then
        echo "  expected $3"
        failures=$((failures + 1))
    fi
}

# dll mode edit expected [import]: mode "ordinals", "names" (-c) or "undecorated" (-n); edit
# "as-written" or the line the usage note asks for, which must change the .def; expected "ok",
# "link" (unresolved __imp__multiply@8) or "load"; import: the one symbol the program must
# import from multiply.dll.
failures=0 cases=0
check() {
    local dll=$1 mode=$2 edit=$3 expected=$4 import=${5:-} case=$1-$2-$3 outcome
    cases=$((cases + 1))
    mkdir "$case" && cp "$dll/multiply.dll" "$case/" && cd "$case"
    local option=
    case $mode in names) option=-c ;; undecorated) option=-n ;; esac
    run "$impdef" multiply.dll $option -o multiply.def >/dev/null
    if [ "$edit" != as-written ]; then
        cp multiply.def written.def
        sed -i -E "s/^(\s*)multiply(\s|\r|\$)/\1$edit\2/" multiply.def
    fi
    run "$lib" /NOLOGO /DEF:multiply.def "$lib_machine" >lib.out
    if [ "$edit" != as-written ] && cmp -s written.def multiply.def; then
        outcome="the edit changed nothing"
    elif [ "$(library_dlls multiply.lib)" != multiply.dll ]; then
        outcome="library names $(library_dlls multiply.lib | tr '\n' ' ')"
    elif ! msvc_link program.exe ../caller.obj multiply.lib >link.out 2>&1; then
        if grep -q 'undefined symbol: __declspec(dllimport) _multiply@8' link.out; then
            outcome=link
        elif grep -q 'undefined symbol: __declspec(dllimport) _seven@0' link.out; then
            outcome=link@0
        else
            outcome="link error: $(head -1 link.out)"
        fi
    elif imports program.exe | grep -qv '^multiply.dll '; then
        outcome="imports from elsewhere: $(imports program.exe | tr '\n' ' ')"
    elif [ "$(multiply_import program.exe multiply.dll)" != "multiply.dll $import" ]; then
        outcome="imports $(imports program.exe | tr '\n' ' ')"
    else
        outcome=$(run_outcome program.exe multiply.dll)
    fi
    report "$case" "$outcome" "$expected" "$(grep -m1 -E '^\s+_?multiply' multiply.def | tr -d '\r')"
    cd ..
}

# The undecorated export: with ordinals qen_impdef writes the decoration it finds in the code,
# _multiply@8 @1, as the usage note would have the user do; without decorations (-n) the
# line is multiply @1, which the user edits so. Names only, the name is the import, and the
# caller's _multiply@8 is missing: decorating it by hand imports a name the DLL does not have,
# unless '== multiply' keeps the import name.
check killat ordinals as-written ok '(1)'
check killat undecorated as-written link
# Without decorations there is no second name either: the caller's _seven@0 stays missing.
check killat undecorated '_multiply@8' link@0
check killat names as-written link
check killat names '_multiply@8' load '_multiply@8'
check killat names 'multiply@8 == multiply' ok multiply
# Decorated exports: the .def as written is all it takes.
check mingw ordinals as-written ok '(1)'
check mingw names as-written ok 'multiply@8'
check msvc ordinals as-written ok '(1)'
check msvc names as-written ok '_multiply@8'
# Two stdcall functions exported undecorated whose lines qen_impdef marks unknown: quit never
# returns (its second name _quit@4 serves the caller as written), suspect reads ECX first. The
# usage note's edit decorates both marked lines keeping their ordinals, which repeats _quit@4:
# Lib warns and keeps the first, whose ordinal imports it. lld-link's library imports by name,
# the decorated one the DLL lacks, so its program does not load.
"$mingw_cc" -shared -O2 -o unknown.dll "$e2e/unknown_dll.c" -Wl,--kill-at
msvc_compile "$e2e/unknown_caller.c" unknown_caller.obj -O0
check_unknown() { # edit maker expected: edit "as-written" or "decorated"; maker Lib or lld-link
    local edit=$1 maker=$2 expected=$3 case=unknown-$1-$2 outcome
    cases=$((cases + 1))
    mkdir "$case" && cp unknown.dll "$case/" && cd "$case"
    run "$impdef" unknown.dll -o unknown.def >/dev/null
    [ "$edit" = as-written ] || sed -i -E 's/^(\s*)(quit|suspect)(\s)/\1_\2@4\3/' unknown.def
    if [ "$maker" = Lib ]; then
        run "$lib" /NOLOGO /DEF:unknown.def "$lib_machine" >lib.out 2>&1 || true
    else
        "$(tool lld-link)" /def:unknown.def /machine:x86 /out:unknown.lib >lib.out 2>&1 || true
    fi
    if [ "$edit" = decorated ] && [ "$maker" = Lib ] &&
        ! grep -q "export '_quit@4' given again (first at line 5)" lib.out; then
        outcome="no warning for the repeated _quit@4: $(head -1 lib.out)"
    elif [ ! -f unknown.lib ]; then
        outcome="no library: $(head -1 lib.out)"
    elif ! msvc_link program.exe ../unknown_caller.obj unknown.lib >link.out 2>&1; then
        outcome=link
        grep -q 'undefined symbol: __declspec(dllimport) _suspect@4' link.out ||
            outcome="link error: $(head -1 link.out)"
    else
        outcome=$(run_outcome program.exe unknown.dll)
    fi
    report "$case" "$outcome" "$expected" "$(imports program.exe 2>/dev/null | tr '\n' ' ')"
    cd ..
}
check_unknown as-written Lib link
check_unknown as-written lld-link link
check_unknown decorated Lib ok
check_unknown decorated lld-link load
echo "names matrix: $cases cases, $failures not as expected"
[ "$failures" = 0 ]
