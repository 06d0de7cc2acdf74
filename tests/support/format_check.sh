#!/usr/bin/env bash
# format_check.sh CLANG_FORMAT SOURCE_DIR: fails unless every C++ source and header of ours
# under SOURCE_DIR is formatted as .clang-format says; names each file that is not.
set -euo pipefail
clang_format=$1 source=$2
cd "$source"
mapfile -t files < <(find src tools tests shared -name '*.cpp' -o -name '*.h' | sort)
[ "${#files[@]}" -gt 100 ] || { echo "only ${#files[@]} sources found under $source"; exit 1; }
"$clang_format" --dry-run -Werror "${files[@]}"
echo "${#files[@]} sources formatted as .clang-format says"
