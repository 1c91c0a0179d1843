#!/usr/bin/env bash
# Installs what is needed, builds, and starts the tool on a simulated receiver
# mapped as port 1, so every function can be tried without a module. The
# simulator stops when the tool exits. Its flash memory is kept in the demo
# folder between runs, as a real receiver's would be.
#
# To use a real receiver instead, map it in the ports folder (see the README)
# and start build/src/varnexconfig directly.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j2 --target varnexconfig varnex-receiver-sim

demo="${VARNEXCONFIG_DEMO_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/varnexconfig-demo}"
mkdir -p "$demo"
build/sim/varnex-receiver-sim --ports "$demo" --com 1 --flash "$demo/flash-com1.json" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    [ -L "$demo/com1" ] && break
    sleep 0.1
done
VARNEXCONFIG_PORTS="$demo" build/src/varnexconfig
