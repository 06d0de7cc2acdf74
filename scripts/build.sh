#!/usr/bin/env bash
# build.sh host|sanitize|windows|windows64|native: configures and builds one configuration
# under build/; native is the two tools alone, optimised, for cmake --install.
set -euo pipefail
cd "$(dirname "$0")/.."
config=${1:?usage: build.sh host|sanitize|windows|windows64|native}
targets=()
case $config in
    host) extra=(-DCMAKE_BUILD_TYPE=Debug) ;;
    sanitize) extra=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
                     -DMORVANE_SANITIZE=ON) ;;
    windows) extra=(-DCMAKE_BUILD_TYPE=Release --toolchain cmake/mingw-i686.cmake) ;;
    # The same sources for 64-bit Windows: the test twin for machines without 32-bit support.
    windows64) extra=(-DCMAKE_BUILD_TYPE=Release --toolchain cmake/mingw-x86_64.cmake) ;;
    native) extra=(-DCMAKE_BUILD_TYPE=Release) targets=(--target qen_impdef lib_tool) ;;
    *) echo "unknown configuration: $config" >&2; exit 2 ;;
esac
cmake -S . -B "build/$config" -G Ninja "${extra[@]}" >/dev/null
cmake --build "build/$config" ${targets[@]+"${targets[@]}"}
