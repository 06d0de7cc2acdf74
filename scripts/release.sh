#!/usr/bin/env bash
# release.sh [windows64]: builds the 32-bit release (the product) and writes
# build/release/Morvane-<version>.zip for Windows users: the build's program folder
# (Morvane.exe, qen_impdef.exe, Lib.exe) with the read-me in code page 936. With windows64 it
# packs the 64-bit twin's programs the same way into build/release64: for the release test on
# machines that run no 32-bit program, not for users. Prints the zip's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
config=${1:-windows}
case $config in
    windows) out=$PWD/build/release ;;
    windows64) out=$PWD/build/release64 ;;
    *) echo "usage: release.sh [windows64]" >&2; exit 2 ;;
esac
bash scripts/install-deps.sh
bash scripts/build.sh "$config"

version=$(sed -n 's/^#define MORVANE_VERSION_TEXT "\(.*\)"$/\1/p' shared/morvane_version.h)
[ -n "$version" ] || { echo "no MORVANE_VERSION_TEXT in shared/morvane_version.h" >&2; exit 1; }
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
folder=$stage/Morvane-$version
cp -r "build/$config/program" "$folder"
# The same conversion as the usage note's: code page 936 and CR LF, read by Notepad as is.
bash res/make_usage_note.sh res/release_readme.txt "$folder/ReadMe.txt"
mkdir -p "$out"
zip="$out/Morvane-$version.zip"
rm -f "$zip"
(cd "$stage" && zip -q -X -r "$zip" "Morvane-$version")
echo "$zip"
