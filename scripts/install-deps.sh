#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need
# (Qt's SQLite and PostgreSQL drivers, and the PostgreSQL server the tests
# start a cluster of their own with),
# checking the Debian package (desktop-file-utils, appstream, dpkg-dev, file)
# driving the packaged window and taking the guide's screenshots (xvfb,
# imagemagick, xdotool), and the Windows compile check (g++-mingw-w64-x86-64-posix).
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y \
    cmake g++ make qt6-base-dev qt6-serialport-dev libgl-dev libtomlplusplus-dev \
    libqt6sql6-sqlite libqt6sql6-psql postgresql \
    clang libclang-rt-14-dev \
    desktop-file-utils appstream dpkg-dev file xvfb imagemagick xdotool \
    g++-mingw-w64-x86-64-posix
