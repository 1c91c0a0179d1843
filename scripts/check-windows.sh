#!/usr/bin/env bash
# Compile check of the Windows code paths: MinGW-w64's cross compiler reads
# every source file that has a _WIN32 block as a Windows build would
# (-std=c++20 -fsyntax-only, with the definitions CMakeLists.txt adds for
# WIN32), against the Linux Qt 6 headers. It catches code that does not
# compile for Windows; it cannot link, run, or see MSVC's own headers (whose
# min/max macros MinGW-w64 leaves out in C++).
#
# Usage: scripts/check-windows.sh   (needs g++-mingw-w64-x86-64-posix)
set -euo pipefail
cd "$(dirname "$0")/.."
cxx=x86_64-w64-mingw32-g++-posix
command -v "$cxx" >/dev/null || { echo "$cxx is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }

qt="$(qmake6 -query QT_INSTALL_HEADERS 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt6)"
includes=(-Isrc -I"$qt")
for module in QtCore QtGui QtWidgets QtSerialPort; do includes+=(-I"$qt/$module"); done
# NOMINMAX as CMakeLists.txt defines it for WIN32; UNICODE and _UNICODE as
# Qt's CMake package adds them for every Windows target that links Qt.
# -Wno-attributes: the Linux headers' dllimport declarations of a few friend
# functions draw warnings that only a Windows Qt would not.
# VARNEXCONFIG_VERSION as src/CMakeLists.txt defines it, from the project's version.
version="$(sed -n 's/^project(VarnexConfig VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
flags=(-std=c++20 -fsyntax-only -Wall -Wextra -Wno-attributes -DNOMINMAX -DUNICODE -D_UNICODE
       -DVARNEXCONFIG_VERSION="\"$version\"")

mapfile -t files < <(grep -rlE '^\s*#\s*if(def)?\s.*_WIN32' src --include='*.cpp' | sort)
[ "${#files[@]}" -gt 0 ] || { echo "no source file has a _WIN32 block" >&2; exit 1; }
failures=0
for f in "${files[@]}"; do
    if "$cxx" "${flags[@]}" "${includes[@]}" "$f"; then
        echo "ok: $f"
    else
        echo "FAIL: $f" >&2
        failures=$((failures + 1))
    fi
done
[ "$failures" -eq 0 ] || { echo "check-windows: $failures file(s) failed" >&2; exit 1; }
echo "check-windows: ${#files[@]} files compile for Windows (syntax only)"
