#!/usr/bin/env bash
# Installs what is missing, builds both configurations and runs every test.
# Prints the wall time of each stage.
set -euo pipefail
cd "$(dirname "$0")/.."

stage() {
    local name=$1 start=$SECONDS
    shift
    echo "== $name"
    "$@"
    echo "== $name: $((SECONDS - start)) s"
}

windows_tests() {
    local prefix=$PWD/build/windows/wineprefix status=0
    # One display and one Wine server for the whole run; the server goes with the display.
    xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
        ctest --test-dir build/windows --output-on-failure -j2; status=$?
        WINEPREFIX="$1" wineserver -k 2>/dev/null
        exit $status' windows-tests "$prefix" || status=$?
    return $status
}

stage install bash scripts/install-deps.sh
stage "host build" bash scripts/build.sh host
stage "host tests" ctest --test-dir build/host --output-on-failure -j2
stage "sanitizer build" bash scripts/build.sh sanitize
stage "sanitizer tests and fuzzing" ctest --test-dir build/sanitize --output-on-failure -j2
stage "windows build" bash scripts/build.sh windows
stage "windows tests" windows_tests
stage "screenshot (build/windows/screenshot.png)" bash scripts/screenshot.sh
