#!/usr/bin/env bash
# Fails when a file of one room of src/ includes a header of a room that is
# not below it on the dependency line (docs/ARCHITECTURE.md, Rooms):
#   app, cli -> profiles, nmea_setup -> receiver_config -> link -> support
# Rooms on the same level do not include each other. app/main.cpp is the
# program itself rather than a room's code: it picks the window or the
# command line, so it may include any room.
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A level=([support]=0 [link]=1 [receiver_config]=2 [profiles]=3 [nmea_setup]=3 [app]=4 [cli]=4)
status=0
while IFS= read -r -d '' file; do
    [ "$file" = src/app/main.cpp ] && continue
    room=${file#src/}; room=${room%%/*}
    [ -n "${level[$room]+x}" ] || { echo "unknown room: $file"; status=1; continue; }
    while IFS= read -r included; do
        target=${included%%/*}
        [ -n "${level[$target]+x}" ] || continue
        if [ "$target" != "$room" ] && [ "${level[$target]}" -ge "${level[$room]}" ]; then
            echo "$file includes $included: $room may include only rooms below it"
            status=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find src \( -name '*.cpp' -o -name '*.h' \) -print0)
exit $status
