#!/usr/bin/env bash
# package-release.sh BUILD_DIR OUT_DIR: packs a Windows build's Morvane.exe, qen_impdef.exe and
# Lib.exe with the read-me (code page 936, CR LF) into OUT_DIR/Morvane-<version>.zip, the
# version taken from the one version header. Prints the zip's path.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1") out=$(realpath -m "$2")
version=$(sed -n 's/^#define MORVANE_VERSION_TEXT "\(.*\)"$/\1/p' "$here/../shared/morvane_version.h")
[ -n "$version" ] || { echo "no MORVANE_VERSION_TEXT in shared/morvane_version.h" >&2; exit 1; }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
folder=$stage/Morvane-$version
mkdir -p "$folder"
cp "$build/src/Morvane.exe" "$build/tools/impdef/qen_impdef.exe" "$build/tools/lib/Lib.exe" "$folder/"
# The same conversion as the usage note's: code page 936 and CR LF, read by Notepad as is.
bash "$here/../res/make_usage_note.sh" "$here/../res/release_readme.txt" "$folder/ReadMe.txt"
mkdir -p "$out"
zip="$out/Morvane-$version.zip"
rm -f "$zip"
(cd "$stage" && zip -q -X -r "$zip" "Morvane-$version")
echo "$zip"
