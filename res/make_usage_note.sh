#!/usr/bin/env bash
# make_usage_note.sh IN OUT: turns the UTF-8 usage note (LF line ends) into the bytes the
# program carries: code page 936, CR LF line ends, no line break after the last line.
set -euo pipefail
in=$1 out=$2
export LC_ALL=C
if grep -q $'\r' "$in"; then
    echo "$in: write the note with LF line ends; CR LF is added here" >&2
    exit 1
fi
# The command substitution drops the trailing line breaks; GBK never uses 0x0A in a character.
text=$(iconv -f UTF-8 -t CP936 "$in")
printf '%s' "${text//$'\n'/$'\r\n'}" >"$out.tmp"
mv "$out.tmp" "$out"
