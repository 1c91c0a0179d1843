#!/usr/bin/env bash
# Fails when an include crosses the rooms' dependency line (docs/ARCHITECTURE.md,
# Rooms and Build):
#   - a file of src/ includes a header of a room that is not below it:
#       app, cli -> station, records -> profiles, nmea_setup -> receiver_config -> link -> support
#     (rooms on the same level do not include each other; app/main.cpp is the
#     program itself rather than a room's code: it picks the window or the
#     command line, so it may include any room);
#   - a file of src/ above link/ includes the serial port library (QSerialPort,
#     QSerialPortInfo, anything of QtSerialPort/): only link/ opens ports;
#   - a file of sim/ outside sim/virtual/ includes anything of src/: the
#     simulator has its own codec, so a fault of the tool is never mirrored by
#     its test partner.
# Before it looks at the tree it proves that it can fail: it copies src/ and
# sim/ to a temporary folder, plants one include of each kind that is
# forbidden (upward in a source file and in a header, sideways, the serial
# port library above link/, src/ from sim/) and some that are allowed (down,
# within a room, the library in link/, src/ from sim/virtual/), and
# fails when a forbidden one goes unreported or an allowed one is reported.
#
# Usage: scripts/check-rooms.sh
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A level=([support]=0 [link]=1 [receiver_config]=2 [profiles]=3 [nmea_setup]=3 [station]=4 [records]=4 [app]=5 [cli]=5)
include_line='^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]*)[">]'
serial_library='^(QSerialPort|QSerialPortInfo|QtSerialPort(/.*)?|qserialport(info)?\.h)$'

# Checks the tree under $1; prints one line for each forbidden include.
check_tree() {
    local root="$1" status=0 file line included target room
    while IFS= read -r line; do
        file=${line%%:*}
        file=${file#"$root"/}
        [[ ${line#*:} =~ $include_line ]] || continue
        included=${BASH_REMATCH[1]}
        # The room an include names, also when written from src/ or relative.
        target=$included
        while [[ $target == ../* || $target == ./* ]]; do target=${target#*/}; done
        target=${target#src/}
        target=${target%%/*}
        case $file in
        src/app/main.cpp) room=app ;;
        src/*)
            room=${file#src/}
            room=${room%%/*}
            ;;
        sim/virtual/*) continue ;;
        sim/*)
            if [ -n "${level[$target]+x}" ]; then
                echo "$file includes $included: sim/ outside sim/virtual/ includes nothing of src/"
                status=1
            fi
            continue
            ;;
        esac
        [ -n "${level[$room]+x}" ] || continue # reported below
        if [[ $included =~ $serial_library ]] && [ "${level[$room]}" -gt "${level[link]}" ]; then
            echo "$file includes $included: only link/ uses the serial port library"
            status=1
        fi
        [ "$file" = src/app/main.cpp ] && continue
        if [ -n "${level[$target]+x}" ] && [ "$target" != "$room" ] && [ "${level[$target]}" -ge "${level[$room]}" ]; then
            echo "$file includes $included: $room may include only rooms below it"
            status=1
        fi
    done < <(find "$root/src" "$root/sim" \( -name '*.cpp' -o -name '*.h' \) -print0 \
        | xargs -0 grep -H -E '^[[:space:]]*#[[:space:]]*include' || true)
    # Every file of src/ belongs to a room.
    while IFS= read -r file; do
        room=${file#"$root"/src/}
        room=${room%%/*}
        [ -n "${level[$room]+x}" ] || { echo "unknown room: ${file#"$root"/}"; status=1; }
    done < <(find "$root/src" \( -name '*.cpp' -o -name '*.h' \))
    return $status
}

# The first file of a folder with a suffix, relative to the tree's root.
first_file() { (cd "$1" && find "$2" -maxdepth 1 -name "*$3" | sort | head -n 1); }

tmp="$(mktemp -d "${TMPDIR:-/tmp}/check-rooms.XXXXXX")"
trap 'rm -rf "$tmp"' EXIT

self_test() {
    local failed=0 file expect
    cp -r src sim "$tmp"/
    check_tree "$tmp" >"$tmp/before" || true
    # file|include|reported (yes or no); each file is planted once.
    local plants=(
        "$(first_file "$tmp" src/link .cpp)|\"profiles/$(basename "$(first_file "$tmp" src/profiles .h)")\"|yes"
        "$(first_file "$tmp" src/support .h)|\"link/$(basename "$(first_file "$tmp" src/link .h)")\"|yes"
        "$(first_file "$tmp" src/nmea_setup .cpp)|\"profiles/$(basename "$(first_file "$tmp" src/profiles .h)")\"|yes"
        "$(first_file "$tmp" src/receiver_config .h)|<QtSerialPort/QSerialPortInfo>|yes"
        "$(first_file "$tmp" src/profiles .cpp)|<QSerialPort>|yes"
        "$(first_file "$tmp" sim .cpp)|\"../src/support/$(basename "$(first_file "$tmp" src/support .h)")\"|yes"
        "$(first_file "$tmp" sim .h)|\"link/$(basename "$(first_file "$tmp" src/link .h)")\"|yes"
        "$(first_file "$tmp" src/app .cpp)|\"receiver_config/$(basename "$(first_file "$tmp" src/receiver_config .h)")\"|no"
        "$(first_file "$tmp" src/link .h)|<QSerialPortInfo>|no"
        "$(first_file "$tmp" src/receiver_config .cpp)|\"receiver_config/$(basename "$(first_file "$tmp" src/receiver_config .h)")\"|no"
        "$(first_file "$tmp" sim/virtual .cpp)|\"link/$(basename "$(first_file "$tmp" src/link .h)")\"|no"
    )
    local plant
    for plant in "${plants[@]}"; do
        IFS='|' read -r file _ _ <<<"$plant"
        printf '#include %s\n' "$(cut -d'|' -f2 <<<"$plant")" >>"$tmp/$file"
    done
    if check_tree "$tmp" >"$tmp/after"; then
        echo "check-rooms self-test: the check passed a tree with forbidden includes planted"
        failed=1
    fi
    for plant in "${plants[@]}"; do
        IFS='|' read -r file _ expect <<<"$plant"
        if grep -v -x -F -f "$tmp/before" "$tmp/after" | grep -q -F "$file includes"; then
            [ "$expect" = yes ] && continue
            echo "check-rooms self-test: an allowed include planted in $file was reported"
        else
            [ "$expect" = no ] && continue
            echo "check-rooms self-test: a forbidden include planted in $file went unreported"
        fi
        failed=1
    done
    return $failed
}

self_test || exit 1
check_tree .
