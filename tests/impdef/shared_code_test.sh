#!/usr/bin/env bash
# shared_code_test.sh TOOL GENERATOR: DLLs whose exports all enter one long run of code ending
# in `ret 4` (a chain of `jz +0`, a run of `nop`) must each be written `_FuncNNNNN@4`, within
# 256 MiB of memory; ending in a plain `ret`, each must get its second name `_FuncNNNNN@0`
# (the stack walk once stopped at the next export's entry). Each export once walked the shared
# code again and gave up past 20,000 instructions; and the exports inside the run stopped at
# the next one's entry ("no return").
set -euo pipefail
tool=$1 generator=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
stdcall='^    _Func[0-9]{5}@4 @[0-9]+ ; stdcall, 4 bytes of arguments'
second='^    _Func[0-9]{5}@0 == Func[0-9]{5} ; the same function'
while read -r kind count bytes; do
    line=$stdcall
    [ "$kind" = nop-ret-run ] && line=$second
    name=$kind-$count-$bytes
    python3 "$generator" "--$kind" "$count" "$bytes" "$work/$name.dll"
    status=0
    (ulimit -v 262144 && cd "$work" && "$tool" "$name.dll" -o "$name.def") >"$work/out" 2>&1 ||
        status=$?
    decorated=$(grep -scE "$line" "$work/$name.def" || true)
    if [ "$status" != 0 ] || [ "$decorated" != "$count" ]; then
        echo "$name: exit $status, $decorated of $count exports matching $line"
        grep -svE "$line" "$work/$name.def" | sed -n 5,7p || true
        cat "$work/out"
        failed=1
    else
        echo "$name: all $count exports matching $line"
    fi
done <<'CASES'
jz-chain 10000 100000
jz-chain 1000 1000000
nop-run 1000 1000000
nop-ret-run 1000 1000000
CASES
exit $failed
