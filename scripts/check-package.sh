#!/usr/bin/env bash
# Builds the Debian package from a configured and built build folder and checks
# what it delivers:
#   - the control data: name, version, maintainer, section, description, and a
#     Depends line of runtime libraries only (the Qt 6 ones among them);
#   - the contents: the two programs, the menu entry, the icons at their sizes,
#     the AppStream metadata, and nothing else in /usr/bin or outside /usr;
#   - the menu entry and the metadata as shipped, with desktop-file-validate
#     and appstreamcli;
#   - the programs as shipped, unpacked into a throw-away root and driven on a
#     display of the script's own (Xvfb, xdotool) as a person would: with the
#     packaged simulator mapped as port 1 the tool keeps running with its main
#     window up; with an empty ports folder a message box titled "VarnexConfig"
#     appears, and Return on it ends the program.
#
# Usage: scripts/check-package.sh [BUILD_DIR]   (default: build)
# Needs no display of its own and no input; works as root or as a normal user.
set -euo pipefail

build="${1:-build}"
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
die() { echo "FAIL: $*" >&2; exit 1; }

for tool in cpack dpkg-deb dpkg desktop-file-validate appstreamcli file readelf Xvfb xdotool; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"
done
[ -f "$build/CMakeCache.txt" ] || die "$build is not a configured build folder"
[ -f "$build/CPackConfig.cmake" ] || die "$build has no CPack configuration (packaging/Packaging.cmake not included?)"

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")"
[ -n "$version" ] || die "no project version in $build/CMakeCache.txt"
app_id="io.github.varnexconfig.VarnexConfig"

tmp="$(mktemp -d "${TMPDIR:-/tmp}/varnex-package.XXXXXX")"
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$tmp"
}
trap cleanup EXIT

# --- the package -------------------------------------------------------------
(cd "$build" && cpack -G DEB -B "$tmp/cpack") >"$tmp/cpack.log" 2>&1 || {
    cat "$tmp/cpack.log" >&2
    die "cpack -G DEB failed"
}
debs=("$tmp"/cpack/varnexconfig_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || die "cpack made no single varnexconfig_*.deb: ${debs[*]}"
deb="${debs[0]}"
arch="$(dpkg --print-architecture)"
[ "$(basename "$deb")" = "varnexconfig_${version}_${arch}.deb" ] \
    && pass "package file $(basename "$deb")" \
    || fail "package file is $(basename "$deb"), expected varnexconfig_${version}_${arch}.deb"

echo "--- dpkg-deb --info"
dpkg-deb --info "$deb" | tee "$tmp/info.txt"
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = varnexconfig ] && pass "Package: varnexconfig" || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] && pass "Version: $version" || fail "Version is '$(field Version)', project is $version"
[ "$(field Architecture)" = "$arch" ] && pass "Architecture: $arch" || fail "Architecture is '$(field Architecture)'"
for f in Maintainer Section Description; do
    [ -n "$(field "$f")" ] && pass "$f present" || fail "no $f"
done
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer '$(field Maintainer)' is not 'Name <address>'"

depends="$(field Depends)"
[ -n "$depends" ] || fail "empty Depends (dpkg-shlibdeps did not run?)"
declare -A dep_names=()
IFS=',' read -ra dep_items <<<"$depends"
for item in "${dep_items[@]}"; do
    # "libfoo6 (>= 1.0)" or alternatives "a | b": check every name.
    IFS='|' read -ra alternatives <<<"$item"
    for alt in "${alternatives[@]}"; do
        name="$(echo "$alt" | sed 's/(.*)//; s/:any//' | tr -d ' ')"
        dep_names["$name"]=1
        case "$name" in
            *-dev | *-dbg | *-dev-tools | *-dev-bin | cmake | g++* | gcc* | clang* | make)
                fail "build-time package '$name' in Depends" ;;
            libqt6test6)
                fail "Depends on libqt6test6: the test library is linked into a shipped program" ;;
            lib*) ;;
            *) fail "'$name' in Depends is not a runtime library" ;;
        esac
    done
done
for needed in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6sql6; do
    [ -n "${dep_names[$needed]:-}" ] && pass "Depends has $needed" || fail "Depends lacks $needed"
done

echo "--- dpkg-deb --contents"
dpkg-deb --contents "$deb" | tee "$tmp/contents.txt"
awk '{print $NF}' "$tmp/contents.txt" | sed 's|/$||' >"$tmp/paths.txt"
expected=(
    ./usr/bin/varnexconfig
    ./usr/bin/varnex-receiver-sim
    ./usr/share/applications/varnexconfig.desktop
    ./usr/share/applications/varnexconfig-station.desktop
    "./usr/share/metainfo/$app_id.metainfo.xml"
    ./usr/share/icons/hicolor/scalable/apps/varnexconfig.svg
)
for size in 32 48 64 128 256; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/varnexconfig.png")
done
for path in "${expected[@]}"; do
    grep -qxF "$path" "$tmp/paths.txt" && pass "contains $path" || fail "missing $path"
done
stray_bin="$(grep '^\./usr/bin/.' "$tmp/paths.txt" | grep -vxF -e ./usr/bin/varnexconfig -e ./usr/bin/varnex-receiver-sim || true)"
[ -z "$stray_bin" ] && pass "only the two programs in /usr/bin" || fail "unexpected programs: $stray_bin"
outside="$(grep -v -e '^\./$' -e '^\./usr$' -e '^\./usr/' "$tmp/paths.txt" || true)"
[ -z "$outside" ] && pass "nothing outside /usr" || fail "paths outside /usr: $outside"
grep -q '^\./usr/local' "$tmp/paths.txt" && fail "files under /usr/local"

# --- the unpacked files ------------------------------------------------------
root="$tmp/root"
dpkg-deb -x "$deb" "$root"
bin="$root/usr/bin"
for prog in varnexconfig varnex-receiver-sim; do
    [ -x "$bin/$prog" ] || { fail "$prog is not executable"; continue; }
    file -b "$bin/$prog" | grep -q '^ELF' || fail "$prog is not an ELF program"
    if readelf -d "$bin/$prog" | grep -E 'R(UN)?PATH' | grep -q .; then
        fail "$prog carries an RPATH/RUNPATH: $(readelf -d "$bin/$prog" | grep -E 'R(UN)?PATH')"
    fi
    if ldd "$bin/$prog" 2>&1 | grep -q 'not found'; then
        fail "$prog needs libraries that are not found: $(ldd "$bin/$prog" | grep 'not found' | tr '\n' ' ')"
    fi
    pass "$prog is a program that finds its libraries"
done
for size in 32 48 64 128 256; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/varnexconfig.png"
    [ -f "$png" ] || continue
    file -b "$png" | grep -q "^PNG image data, $size x $size," \
        && pass "icon ${size}x${size} is a ${size} x ${size} PNG" \
        || fail "icon ${size}x${size} is: $(file -b "$png")"
done
grep -q '<svg' "$root/usr/share/icons/hicolor/scalable/apps/varnexconfig.svg" 2>/dev/null || fail "scalable icon is not an SVG"

desktop="$root/usr/share/applications/varnexconfig.desktop"
metainfo="$root/usr/share/metainfo/$app_id.metainfo.xml"
echo "--- desktop-file-validate"
if [ -f "$desktop" ]; then
    desktop-file-validate "$desktop" && pass "desktop-file-validate" || fail "desktop-file-validate"
    key() { sed -n "s/^$1=//p" "$desktop" | head -n1; }
    [ "$(key Type)" = Application ] || fail "desktop Type is '$(key Type)'"
    [ "$(key Name)" = VarnexConfig ] || fail "desktop Name is '$(key Name)'"
    [ "$(key Exec)" = varnexconfig ] && [ -x "$bin/$(key Exec)" ] || fail "desktop Exec '$(key Exec)' is not a packaged program"
    [ "$(key Icon)" = varnexconfig ] || fail "desktop Icon is '$(key Icon)'"
    [ -n "$(key GenericName)" ] && [ -n "$(key Comment)" ] || fail "desktop entry lacks GenericName or Comment"
    [[ ";$(key Categories)" =~ \;(Utility|Settings)\; ]] || fail "desktop Categories '$(key Categories)' has neither Utility nor Settings"
fi
station="$root/usr/share/applications/varnexconfig-station.desktop"
if [ -f "$station" ]; then
    desktop-file-validate "$station" && pass "desktop-file-validate (station)" || fail "desktop-file-validate (station)"
    [ "$(sed -n 's/^Name=//p' "$station")" = "VarnexConfig Station" ] || fail "station desktop Name is not 'VarnexConfig Station'"
    [ "$(sed -n 's/^Exec=//p' "$station")" = "varnexconfig station" ] || fail "station desktop Exec is not 'varnexconfig station'"
fi
echo "--- appstreamcli validate --no-net"
if [ -f "$metainfo" ]; then
    appstreamcli validate --no-net "$metainfo" && pass "appstreamcli validate" || fail "appstreamcli validate"
    grep -qF "<id>$app_id</id>" "$metainfo" || fail "metainfo id is not $app_id"
    grep -qF '<launchable type="desktop-id">varnexconfig.desktop</launchable>' "$metainfo" \
        || fail "metainfo does not launch varnexconfig.desktop"
    grep -qF "<release version=\"$version\"" "$metainfo" || fail "metainfo has no release $version"
    grep -q '@[A-Z_]*@' "$metainfo" && fail "metainfo has unreplaced @VARIABLES@"
fi

# --- the packaged programs at work ------------------------------------------
# The tool is driven as a person would: on a display of our own (Xvfb), looking
# for its windows and pressing keys with xdotool.
export XDG_RUNTIME_DIR="$tmp/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM QT_MESSAGE_PATTERN QT_LOGGING_RULES WAYLAND_DISPLAY
# -noreset: a server resetting as the first tool disconnects would turn the
# next one away.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset 3>"$tmp/display" 2>"$tmp/xvfb.log" </dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || { cat "$tmp/xvfb.log" >&2; die "Xvfb did not start"; }
export DISPLAY=":$(head -n1 "$tmp/display")"

# The visible window of process $2 titled exactly $1 (xdotool's --name also
# matches the window class, which is "VarnexConfig" for every window).
# Starts the packaged simulator as com1 of ports folder $1, with its flash
# memory in the throw-away folder (log $tmp/$2.log), and waits for the link.
start_sim() {
    "$bin/varnex-receiver-sim" --ports "$1" --com 1 --flash "$tmp/$2-flash.json" </dev/null >"$tmp/$2.log" 2>&1 &
    sim_pid=$!
    pids+=("$sim_pid")
    for _ in $(seq 100); do
        [ -L "$1/com1" ] && break
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.1
    done
}

find_window() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$2" --name "^$1\$" 2>/dev/null); do
        [ "$(xdotool getwindowname "$id")" = "$1" ] && { echo "$id"; return 0; }
    done
    return 1
}
# Waits up to $2 seconds for that window of process $3.
wait_window() {
    for _ in $(seq $(($2 * 10))); do
        find_window "$1" "$3" && return 0
        kill -0 "$3" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
# Waits up to $2 seconds for process $1 to end; its status is in $ended_status.
wait_end() {
    for _ in $(seq $(($2 * 10))); do
        kill -0 "$1" 2>/dev/null || { ended_status=0; wait "$1" || ended_status=$?; return 0; }
        sleep 0.1
    done
    return 1
}

echo "--- start-up on the packaged simulator"
ports="$tmp/ports"
mkdir "$ports"
start_sim "$ports" sim
sim=$sim_pid
if [ ! -L "$ports/com1" ]; then
    cat "$tmp/sim.log" >&2
    fail "the packaged simulator did not map com1"
else
    pass "simulator mapped $ports/com1 -> $(readlink "$ports/com1")"
    VARNEXCONFIG_PORTS="$ports" "$bin/varnexconfig" </dev/null >"$tmp/tool.log" 2>&1 &
    tool=$!
    pids+=("$tool")
    if wait_window "GPS Configuration Tool" 20 "$tool" >/dev/null; then
        pass "the main window is up"
        sleep 2
        kill -0 "$tool" 2>/dev/null && pass "varnexconfig keeps running with port 1 listed" \
            || fail "varnexconfig ended by itself instead of running"
        find_window VarnexConfig "$tool" >/dev/null && fail "varnexconfig showed a message box with the simulator on com1"
    else
        fail "no main window within 20 s"
    fi
    kill "$tool" 2>/dev/null || true
    wait "$tool" 2>/dev/null || true
    [ -s "$tmp/tool.log" ] && { sed 's/^/  | /' "$tmp/tool.log"; fail "varnexconfig wrote to stdout or stderr"; }
    kill -0 "$sim" 2>/dev/null && pass "simulator still running" || fail "simulator died: $(cat "$tmp/sim.log")"
fi

echo "--- start-up with an empty ports folder"
empty="$tmp/empty-ports"
mkdir "$empty"
VARNEXCONFIG_PORTS="$empty" "$bin/varnexconfig" </dev/null >"$tmp/empty.log" 2>&1 &
tool=$!
pids+=("$tool")
if box="$(wait_window VarnexConfig 20 "$tool")"; then
    pass "a window titled VarnexConfig (the message box) appeared"
    sleep 0.5
    xdotool windowfocus --sync "$box" key --window "$box" Return 2>/dev/null || true
    if wait_end "$tool" 10; then
        [ "$ended_status" -eq 0 ] && pass "Return on the box ended varnexconfig (status 0)" \
            || fail "varnexconfig ended with status $ended_status"
    else
        fail "varnexconfig was still running 10 s after Return on its message box"
    fi
else
    fail "no message box within 20 s with an empty ports folder"
fi
[ -s "$tmp/empty.log" ] && { sed 's/^/  | /' "$tmp/empty.log"; fail "varnexconfig wrote to stdout or stderr"; }

echo "--- the command line on the packaged simulator, without a display"
grep -qxF ./usr/share/man/man1/varnexconfig.1.gz "$tmp/paths.txt" && pass "contains the man page" || fail "missing ./usr/share/man/man1/varnexconfig.1.gz"
cli_ports="$tmp/cli-ports"
mkdir "$cli_ports"
start_sim "$cli_ports" cli-sim
cli_sim=$sim_pid
cli_run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM VARNEXCONFIG_PORTS="$cli_ports" timeout 120 "$bin/varnexconfig" "$@"; }
status=0
cli_run configure pemmet --port 1 --verify --report "$tmp/units.jsonl" --serial check-1 2>"$tmp/cli.log" || status=$?
tail -n 3 "$tmp/cli.log" | sed 's/^/  | /'
[ "$status" -eq 0 ] && pass "configure pemmet --verify: exit 0" || fail "configure pemmet --verify: exit $status"
grep -q '"outcome":"done"' "$tmp/units.jsonl" 2>/dev/null && pass "report line written" || fail "no report line with outcome done"
status=0
cli_run verify pemmet --port 1 2>"$tmp/cli-verify.log" || status=$?
[ "$status" -eq 0 ] && pass "verify pemmet: exit 0" || { sed 's/^/  | /' "$tmp/cli-verify.log"; fail "verify pemmet: exit $status"; }
status=0
cli_run configure pemmet --port 9 2>/dev/null || status=$?
[ "$status" -eq 3 ] && pass "unmapped port: exit 3" || fail "unmapped port: exit $status"
kill "$cli_sim" 2>/dev/null || true

echo
if [ "$failures" -ne 0 ]; then
    echo "check-package: $failures check(s) failed" >&2
    exit 1
fi
echo "check-package: all checks passed for $(basename "$deb")"
echo "Depends: $depends"
