#!/usr/bin/env bash
# release_check.sh CONFIG GUI_TEST WINE_RUN WORK_DIR
# The release package as a user gets it: runs the user's command, scripts/release.sh (with
# CONFIG windows64 the 64-bit twin's package), unpacks the zip into a folder whose name has
# spaces and a double-byte character ending in 0x5C (乗 is 81 5C in code page 936), checks
# what it holds, and runs the whole job with the unpacked program and tools on a DLL in that
# folder too.
set -euo pipefail
config=$1 gui_test=$(realpath "$2") wine_run=$(realpath "$3") work=$4
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work" && work=$(realpath "$work")

release_args=()
[ "$config" = windows ] || release_args=("$config")
bash "$here/../../scripts/release.sh" "${release_args[@]}" >"$work/release.log" 2>&1 ||
    { cat "$work/release.log"; exit 1; }
zip=$(tail -1 "$work/release.log")
version=$(sed -n 's/^#define MORVANE_VERSION_TEXT "\(.*\)"$/\1/p' "$here/../../shared/morvane_version.h")
[ "$(basename "$zip")" = "Morvane-$version.zip" ] || { echo "unexpected package name: $zip"; exit 1; }

unpacked="$work/下载 乗 文件"
mkdir -p "$unpacked"
unzip -q "$zip" -d "$unpacked"
program_dir="$unpacked/Morvane-$version"
listing=$(cd "$program_dir" && ls | sort | tr '\n' ' ')
[ "$listing" = "Lib.exe Morvane.exe ReadMe.txt qen_impdef.exe " ] ||
    { echo "the package holds: $listing"; exit 1; }
# The read-me is code page 936 with CR LF line ends.
iconv -f CP936 -t UTF-8 "$program_dir/ReadMe.txt" | grep -q 'qen_impdef' ||
    { echo "ReadMe.txt is not code page 936 text naming the tools"; exit 1; }
grep -q $'\r$' "$program_dir/ReadMe.txt" || { echo "ReadMe.txt lacks CR LF line ends"; exit 1; }

MORVANE_PROGRAM_DIR=$program_dir bash "$here/whole_job_check.sh" "$gui_test" "$wine_run" \
    "$program_dir/qen_impdef.exe" "$program_dir/Lib.exe" "$unpacked/job"
echo "release: $(basename "$zip") from scripts/release.sh, unpacked into '$unpacked'," \
    "did the whole job on a DLL there"
