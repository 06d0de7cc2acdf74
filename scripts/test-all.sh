#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test.
# Prints the wall time of each stage.
#
# The 32-bit Windows suite needs a machine that runs 32-bit programs (32-bit Wine). It is
# probed once: where it cannot run, or with MORVANE_NO_32BIT=1, only the 32-bit build and its
# PE checks run, and one line says why the rest was skipped. The 64-bit twin's suite runs on
# every machine, so neither path rots.
set -euo pipefail
cd "$(dirname "$0")/.."

stage() {
    local name=$1 start=$SECONDS
    shift
    echo "== $name"
    "$@"
    echo "== $name: $((SECONDS - start)) s"
}

# windows_tests CONFIG [CTEST ARGS...]: one display and one Wine server for the whole run; the
# server goes with the display.
windows_tests() {
    local config=$1 status=0
    shift
    xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
        prefix=$1 config=$2
        shift 2
        ctest --test-dir "build/$config" --output-on-failure -j2 "$@"; status=$?
        WINEPREFIX="$prefix" wineserver -k 2>/dev/null
        exit $status' windows-tests "$PWD/build/$config/wineprefix" "$config" "$@" || status=$?
    return $status
}

stage install bash scripts/install-deps.sh
stage "host build" bash scripts/build.sh host
stage "host tests" ctest --test-dir build/host --output-on-failure -j2
stage "sanitizer build" bash scripts/build.sh sanitize
stage "sanitizer tests and fuzzing" ctest --test-dir build/sanitize --output-on-failure -j2
stage "windows build (32-bit, the product)" bash scripts/build.sh windows
reason=
if reason=$(bash scripts/runs-32bit.sh); then
    stage "windows tests (32-bit)" windows_tests windows
    stage "screenshot (build/windows/screenshot.png)" bash scripts/screenshot.sh
else
    stage "windows PE checks (32-bit)" ctest --test-dir build/windows --output-on-failure -R '^pe_check_'
    echo "== windows tests (32-bit) skipped: $reason"
fi
stage "windows64 build (64-bit test twin)" bash scripts/build.sh windows64
stage "windows64 tests" windows_tests windows64
if [ -n "${reason:-}" ]; then
    stage "screenshot (build/windows64/screenshot.png)" \
        bash scripts/screenshot.sh build/windows64/screenshot.png windows64
fi
