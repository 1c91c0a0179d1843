#!/usr/bin/env bash
# Takes the screenshots of docs/USER_GUIDE.md: the tool runs under Xvfb on a
# simulated receiver mapped as port 1 and is driven with xdotool; ImageMagick's
# import saves each window as it is drawn (no window manager, so no frame).
#
#   main-window.png      the main window after start-up
#   configuring.png      a Garnock configuration run, its progress in the status bar
#   configured.png       the message that ends the run
#   nmea-setup.png       the NMEA Setup window for the Garnock external port
#
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default: build; needs the
# varnexconfig and varnex-receiver-sim targets built)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
out=docs/screenshots
tool="$build/src/varnexconfig"
sim_bin="$build/sim/varnex-receiver-sim"
for f in "$tool" "$sim_bin"; do [ -x "$f" ] || { echo "$f is not built" >&2; exit 1; }; done
for t in Xvfb xdotool import xwininfo; do
    command -v "$t" >/dev/null || { echo "$t is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
mkdir -p "$out"

tmp="$(mktemp -d "${TMPDIR:-/tmp}/varnex-shots.XXXXXX")"
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT

# A display of our own; Xvfb picks a free number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 800x600x24 -dpi 96 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
pids+=($!)
for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || { cat "$tmp/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$tmp/display")"
export XDG_RUNTIME_DIR="$tmp/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

# Each acknowledgement a little late, so the run's steps stay on screen long
# enough to be caught.
mkdir "$tmp/ports"
"$sim_bin" --ports "$tmp/ports" --com 1 --latency 40 >"$tmp/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -L "$tmp/ports/com1" ] && break; sleep 0.1; done

VARNEXCONFIG_PORTS="$tmp/ports" "$tool" >"$tmp/tool.log" 2>&1 </dev/null &
pids+=($!)

# The id of the mapped window with this exact title and at least this width.
find_window() {
    local title="$1" min_width="$2" id
    for id in $(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null); do
        local w
        w="$(xwininfo -id "$id" | sed -n 's/^ *Width: //p')"
        [ "${w:-0}" -ge "$min_width" ] && { echo "$id"; return 0; }
    done
    return 1
}
wait_window() {
    local title="$1" min_width="$2" seconds="$3" id
    for _ in $(seq $((seconds * 10))); do
        id="$(find_window "$title" "$min_width")" && { echo "$id"; return 0; }
        sleep 0.1
    done
    echo "no window '$title' after $seconds s" >&2
    cat "$tmp/tool.log" >&2
    return 1
}
# Button centres in the main window, in pixels at 96 dpi (the layout is in
# twips, 15 to the pixel): frame top + 240 + 360 * index, plus half a button.
button_y() { echo $(((${1} + 240 + 360 * ${2} + 157) / 15)); }
button_x=$(((120 + 360 + 907) / 15))
setup_frame_top=2760
nmea_frame_top=5040

main="$(wait_window "GPS Configuration Tool" 100 20)"
sleep 1
import -window "$main" "$out/main-window.png"
echo "saved $out/main-window.png"

# Garnock (index 3 of "Set up GPS system for"); a few seconds in, the reset
# is turning the messages off one by one.
xdotool mousemove --window "$main" "$button_x" "$(button_y $setup_frame_top 3)" click 1
sleep "${VARNEX_SHOT_RUN_DELAY:-5}"
import -window "$main" "$out/configuring.png"
echo "saved $out/configuring.png"

box="$(wait_window VarnexConfig 150 120)"
sleep 0.5
import -window "$box" "$out/configured.png"
echo "saved $out/configured.png"
# OK sits in the lower right corner of the message box.
eval "$(xdotool getwindowgeometry --shell "$box")"
xdotool mousemove --window "$box" $((WIDTH - 50)) $((HEIGHT - 24)) click 1
for _ in $(seq 50); do find_window VarnexConfig 150 >/dev/null || break; sleep 0.1; done

# "Garnock external port" (index 3 of "Setup NMEA output"): the receiver is
# found at 4800 bit/s and the window opens for its port 1, where the run has
# put GGA and RMC.
xdotool mousemove --window "$main" "$button_x" "$(button_y $nmea_frame_top 3)" click 1
nmea="$(wait_window "NMEA Setup" 300 120)"
# Long enough for the view to fill: twelve whole sentences at two a second.
sleep 8
import -window "$nmea" "$out/nmea-setup.png"
echo "saved $out/nmea-setup.png"
