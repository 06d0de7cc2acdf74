#!/usr/bin/env bash
# long_names_test.sh TOOL GENERATOR: a DLL whose 65,535 export names all point at one 64 KiB
# string must be refused with a clear error, within 256 MiB of memory (it once built a 4.3 GB
# .def in memory and died of it).
set -euo pipefail
tool=$1 generator=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$generator" --long-names "$work/long.dll"
status=0
(ulimit -v 262144 && cd "$work" && "$tool" long.dll -o long.def) >"$work/out" 2>&1 || status=$?
expected="qen_impdef: error: long.dll: export name 0 is 65535 bytes long; names longer than 4096 bytes are refused"
if [ "$status" != 1 ] || [ "$(cat "$work/out")" != "$expected" ] || [ -e "$work/long.def" ]; then
    echo "expected exit 1 and: $expected"
    echo "got exit $status and: $(cat "$work/out")"
    exit 1
fi
echo "refused as expected: $expected"
