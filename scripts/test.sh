#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole suite through ctest:
# the normal build, then the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the fuzz targets for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

cmake --preset default
cmake --build --preset default -j2
ctest --preset default

cmake --preset asan
cmake --build --preset asan -j2
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 ctest --preset asan

scripts/check-windows.sh

if [ -x scripts/check-package.sh ]; then
    scripts/check-package.sh build
fi

if [ -x fuzz/run.sh ]; then
    cmake --preset fuzz
    cmake --build --preset fuzz -j2
    fuzz/run.sh build-fuzz "${FUZZ_SECONDS:-60}"
fi
