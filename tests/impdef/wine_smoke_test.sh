#!/usr/bin/env bash
# wine_smoke_test.sh WINE_RUN QEN_IMPDEF_EXE TESTDLL32 GOLDEN_DIR
# Runs the Windows qen_impdef.exe under Wine on the i686 test DLL in a folder with a Chinese
# name: the .def must replace an existing one and equal the golden file; output lines end
# with LF alone; a failure leaves the target untouched and no temporary file behind.
set -euo pipefail
wine_run=$1 exe=$2 dll=$3 golden=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder="$work/测试 目录"
mkdir -p "$folder"
cp "$dll" "$folder/testdll32.dll"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
dll_w=$(winpath "$folder/testdll32.dll")
fail() { echo "FAIL: $*"; exit 1; }

for mode in "" -c; do
    target="$folder/testdll32$mode.def"
    echo "old contents" >"$target"
    "$wine_run" "$exe" "$dll_w" $mode -o "$(winpath "$target")" >"$work/out" 2>&1 ||
        { cat "$work/out"; fail "qen_impdef.exe $mode exited with $?"; }
    cat "$work/out"
    grep -q '8 exports (2 data, 1 ordinal only' "$work/out" || fail "no summary line"
    ! grep -q $'\r' "$work/out" || fail "output lines end with CR LF"
    cmp "$target" "$golden/testdll32$mode.def" || fail "testdll32$mode.def differs from the golden file"
done

# 昞 is 0x95 0x5C in code page 936: its second byte must not split the file name.
cp "$dll" "$folder/昞.dll"
"$wine_run" "$exe" "$(winpath "$folder/昞.dll")" -o "$(winpath "$folder/昞.def")" >"$work/out" 2>&1 ||
    { cat "$work/out"; fail "qen_impdef.exe failed on 昞.dll"; }
grep -aFxq "$(printf 'LIBRARY \x95\x5c.dll\r')" "$folder/昞.def" || fail "LIBRARY line of 昞.dll is wrong"

echo "old contents" >"$folder/kept.def"
if "$wine_run" "$exe" "$(winpath "$folder/missing.dll")" -o "$(winpath "$folder/kept.def")" \
        >"$work/out" 2>&1; then
    fail "a missing DLL was reported as success"
fi
cat "$work/out"
grep -q 'missing.dll: cannot open' "$work/out" || fail "no clear error for a missing DLL"
[ "$(cat "$folder/kept.def")" = "old contents" ] || fail "a failure damaged the existing target"
leftovers=$(find "$folder" -name '*.tmp' | wc -l)
[ "$leftovers" -eq 0 ] || fail "temporary files left behind"
echo "qen_impdef.exe under Wine: both modes match the golden files"
