#!/usr/bin/env bash
# release.sh [windows64]: builds the 32-bit release (the product) and writes
# build/release/Morvane-<version>.zip for Windows users. With windows64 it packs the 64-bit
# twin's programs the same way into build/release64: for the release test on machines that run
# no 32-bit program, not for users.
set -euo pipefail
cd "$(dirname "$0")/.."
config=${1:-windows}
case $config in
    windows) out=build/release ;;
    windows64) out=build/release64 ;;
    *) echo "usage: release.sh [windows64]" >&2; exit 2 ;;
esac
bash scripts/install-deps.sh
bash scripts/build.sh "$config"
bash scripts/package-release.sh "build/$config" "$out"
