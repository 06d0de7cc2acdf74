#!/usr/bin/env bash
# install_check.sh BUILD_DIR README WORK_DIR
# Installs the native tools of BUILD_DIR into a prefix in WORK_DIR, as the README says, and
# from there does the README's Linux whole job, line by line, on a vendor DLL (the whole job's
# test DLL, built by mingw-w64); then links a program with lld-link against the library and
# checks what it imports.
set -euo pipefail
build=$(realpath "$1") readme=$(realpath "$2") work=$3
here=$(cd "$(dirname "$0")" && pwd)
MORVANE_MACHINE=x86 source "$here/../support/machine.sh"
rm -rf "$work" && mkdir -p "$work/job" && work=$(realpath "$work")

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log"
listing=$(cd "$work/prefix/bin" && ls | tr '\n' ' ')
[ "$listing" = "morvane-lib qen_impdef " ] || { echo "the prefix's bin/ holds: $listing"; exit 1; }
export PATH=$work/prefix/bin:$PATH
# Help and errors read as on Windows.
qen_impdef --help | grep -q '^usage: qen_impdef DLL' || { echo "qen_impdef --help"; exit 1; }
morvane-lib --help | grep -q '^usage: Lib /DEF:file.def' || { echo "morvane-lib --help"; exit 1; }
if morvane-lib /NOLOGO /DEF:missing.def 2>"$work/error.txt"; then exit 1; fi
grep -q '^Lib: error: missing.def: cannot ' "$work/error.txt" || { cat "$work/error.txt"; exit 1; }

# The lines of the README's block that follows its marker.
lines=$(awk '/^<!-- the Linux whole job/ { found = 1; next }
             found && /^```sh$/ { inside = 1; next }
             inside && /^```$/ { exit }
             inside { print }' "$readme")
[ "$(wc -l <<<"$lines")" -eq 2 ] || { echo "the README's Linux whole job is not two lines:"; echo "$lines"; exit 1; }
cd "$work/job"
build_test_dll vendor.dll
while IFS= read -r line; do
    echo "\$ $line"
    bash -c "$line"
done <<<"$lines"
grep -q '^; machine: X86' vendor.def || { echo "vendor.def is not marked for x86"; exit 1; }

msvc_compile "$here/app.c" app.obj
msvc_link app.exe app.obj vendor.lib
"$(tool llvm-readobj)" --coff-imports app.exe >app.imports
grep -q 'Name: vendor.dll' app.imports || { cat app.imports; exit 1; }
for ordinal in 1 2 3 4 5; do
    grep -Fq "Symbol:  ($ordinal)" app.imports ||
        { echo "app.exe does not import ordinal $ordinal"; cat app.imports; exit 1; }
done
echo "installed qen_impdef and morvane-lib; the README's Linux lines made vendor.lib, and" \
    "lld-link linked a program against it"
