#!/usr/bin/env bash
# golden_test.sh TOOL DLL GOLDEN_DIR: the .def files TOOL writes for DLL, with and without -c,
# must equal GOLDEN_DIR/<dll base>.def and GOLDEN_DIR/<dll base>-c.def byte for byte.
set -euo pipefail
tool=$1 dll=$2 golden=$3
base=$(basename "$dll" .dll)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$dll" "$work/"
status=0
for mode in "" -c; do
    out="$work/$base$mode.def"
    # Run from the DLL's folder so that the summary line is the same everywhere.
    (cd "$work" && "$tool" "$base.dll" $mode -o "$base$mode.def") >"$work/summary" 2>&1 ||
        { echo "qen_impdef failed:"; cat "$work/summary"; exit 1; }
    cat "$work/summary"
    if ! cmp -s "$out" "$golden/$base$mode.def"; then
        echo "$base$mode.def differs from the golden file:"
        diff -u "$golden/$base$mode.def" "$out" || true
        status=1
    fi
done
exit $status
