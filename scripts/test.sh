#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole suite through ctest:
# the normal build, then the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, then each fuzz target for FUZZ_SECONDS (60 s).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

# The suite's share of the code (non-blank lines; docs/ARCHITECTURE.md, Tests).
git ls-files tests src sim | grep -v '^tests/data/' | grep -E '\.(cpp|h|py|sh)$|CMakeLists\.txt$' \
    | xargs awk 'NF { n[FILENAME ~ /^tests\//]++ } END { printf "tests %d  code %d  ratio %.2f\n", n[1], n[0], n[1] / n[0] }' || true

# Every include in src/ points down the rooms' dependency line.
scripts/check-rooms.sh

cmake --preset default
cmake --build --preset default -j2
ctest --preset default

cmake --preset asan
cmake --build --preset asan -j2
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 ctest --preset asan

scripts/check-windows.sh

scripts/check-package.sh build

cmake --preset fuzz
cmake --build --preset fuzz -j2
fuzz/run.sh build-fuzz "${FUZZ_SECONDS:-60}"
