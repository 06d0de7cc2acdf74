#!/usr/bin/env bash
# release.sh: builds the 32-bit release (the product) and writes
# build/release/Morvane-<version>.zip for Windows users.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh windows
bash scripts/package-release.sh build/windows build/release
