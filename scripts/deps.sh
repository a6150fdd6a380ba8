#!/bin/sh
# Installs what the builds and tests need and this Debian machine lacks:
# the native toolchain and test libraries, the i686 mingw-w64 cross compiler,
# 32-bit Wine (with the i386 architecture), Xvfb and a window manager in it
# (openbox), unzip for the package's test and git for its rebuild, sigrok-cli
# to read recordings back and GTKWave to draw one; for the Linux build, Winelib's 32-bit tools
# (wine32-tools:i386, which excludes wine64-tools), libfuse3 for the fake
# ppdev device, and QEMU, busybox and xz for the virtual machine. Needs root
# or sudo only when something is missing.
set -e
packages="git cmake make g++ clang libclang-rt-dev libgtest-dev libbenchmark-dev python3 \
g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 \
wine wine32:i386 xvfb xauth x11-utils openbox imagemagick unzip sigrok-cli gtkwave \
wine32-tools:i386 libwine-dev:i386 gcc-multilib g++-multilib libfuse3-dev fuse3 pkg-config \
qemu-system-x86 busybox-static xz-utils"

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0

echo "installing:$missing"
run=""
[ "$(id -u)" -eq 0 ] || run="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $run dpkg --add-architecture i386
fi
$run apt-get update -qq
DEBIAN_FRONTEND=noninteractive $run apt-get install -y -qq --no-install-recommends $missing
