#!/usr/bin/env bash
# Installs what is needed, builds, and starts the tool.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j2 --target varnexconfig
exec build/src/varnexconfig
