#!/usr/bin/env bash
# Sets up a Debian machine for Corvane, builds it, and then starts it or runs the tests.
#   scripts/dev.sh run    install what is missing, build, start the program
#   scripts/dev.sh test   install what is missing, build, run the whole test suite
set -euo pipefail

mode=${1:-}
case "$mode" in
run | test) ;;
*)
    echo "usage: $0 run|test" >&2
    exit 64
    ;;
esac

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CORVANE_BUILD_DIR:-$top/build}

packages=(
    # build
    cmake ninja-build g++ ccache pkg-config
    qt6-base-dev qt6-svg-dev qcoro-qt6-dev libssl-dev
    # the Linux machine's screen is read from QEMU's VNC socket
    libvncserver-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    # outside programs the program drives (7zip reads Windows ISOs where there is no hdiutil)
    lsof unzip 7zip
    # the Linux machine: QEMU and its AArch64 UEFI firmware
    qemu-system-arm qemu-efi-aarch64
    # the user interface is Chinese
    fonts-noto-cjk
    # clone tests on a copy-on-write volume (scripts/reflink-volume.sh)
    xfsprogs
    # test-only: disc images for the Windows ISO checks, an independent property-list parser
    genisoimage xorriso libplist-utils
    # test-only: FAT disks whose startup.nsh makes the Linux machine's firmware reset and power off
    mtools dosfstools
    # test-only: real windows on a virtual display (screenshots, the end-to-end run), driven through
    # the accessibility bus
    xvfb xauth dbus at-spi2-core python3-pyatspi
    # test-only: the crash tests kill the program at each of its file-system steps
    strace
    # the Linux package: CPack computes its dependencies with dpkg-shlibdeps; the tests validate its
    # desktop entry and metainfo
    dpkg-dev desktop-file-utils appstream
    # benchmarks compare against the standard tools
    openssl curl
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if ((${#missing[@]})); then
    sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# A checkout in another folder (CI's clean one) still finds its objects in the cache.
export CCACHE_BASEDIR="$top" CCACHE_NOHASHDIR=true
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2

if [ "$mode" = run ]; then
    exec "$build/src/corvane"
fi
# Snapshot tests need a copy-on-write volume; as root one is mounted here (elsewhere they say why they
# skip, and the walkthrough runs without its snapshot steps).
if [ -z "${CORVANE_REFLINK_DIR:-}" ]; then
    eval "$("$top/scripts/reflink-volume.sh")"
fi
cd "$build"
exec ctest --output-on-failure -j2 --timeout 600
