#!/usr/bin/env bash
# build.sh host|windows: configures and builds one configuration under build/.
set -euo pipefail
cd "$(dirname "$0")/.."
config=${1:?usage: build.sh host|windows}
case $config in
    host) extra=(-DCMAKE_BUILD_TYPE=Debug) ;;
    windows) extra=(-DCMAKE_BUILD_TYPE=Release --toolchain cmake/mingw-i686.cmake) ;;
    *) echo "unknown configuration: $config" >&2; exit 2 ;;
esac
cmake -S . -B "build/$config" -G Ninja "${extra[@]}" >/dev/null
cmake --build "build/$config"
