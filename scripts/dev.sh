#!/usr/bin/env bash
# Sets up a Debian machine for Corvane, builds it, and then starts it or runs the tests.
#   scripts/dev.sh run    install what is missing, build, start the program
#   scripts/dev.sh test   install what is missing, build, run the whole test suite
# On Debian the packages come from apt-get; on macOS from Homebrew (the Brewfile).
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
    # the test command also runs clang-tidy over src/ (scripts/tidy.sh)
    clang-tidy
    qt6-base-dev qt6-svg-dev qcoro-qt6-dev libssl-dev
    # the Linux machine's screen is read from QEMU's VNC socket
    libvncserver-dev
    # the tests write zip archives with zlib's checksums
    zlib1g-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    # outside programs the program drives (7zip reads Windows ISOs where there is no hdiutil)
    lsof unzip 7zip
    # the Linux machine: QEMU and its AArch64 UEFI firmware
    qemu-system-arm qemu-efi-aarch64
    # the user interface is Chinese, Qt's own dialogs and messages included
    fonts-noto-cjk qt6-translations-l10n
    # which installed font draws Simplified Chinese
    libfontconfig-dev
    # clone tests on a copy-on-write volume (scripts/reflink-volume.sh)
    xfsprogs
    # test-only: disc images for the Windows ISO checks, an independent property-list parser, the Mac icon
    genisoimage xorriso libplist-utils icnsutils
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

if [ "$(uname -s)" = Darwin ]; then
    # A Mac takes its tools from Homebrew; what Debian lists above has its counterpart in the Brewfile.
    command -v brew >/dev/null || {
        echo "Homebrew is needed: https://brew.sh" >&2
        exit 1
    }
    brew bundle --file="$top/Brewfile"
    cmake_extra=(-DCMAKE_PREFIX_PATH="$(brew --prefix qt);$(brew --prefix openssl@3)")
else
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
    cmake_extra=()
fi

# A checkout in another folder (CI's clean one) still finds its objects in the cache.
export CCACHE_BASEDIR="$top" CCACHE_NOHASHDIR=true
if [ "$mode" = test ]; then
    # What the tests build, they build without a warning.
    cmake_extra+=(-DCORVANE_WERROR=ON)
fi
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${cmake_extra[@]}"
cmake --build "$build" -j2

if [ "$mode" = run ]; then
    if [ -d "$build/src/corvane.app" ]; then
        exec "$build/src/corvane.app/Contents/MacOS/corvane"
    fi
    exec "$build/src/corvane"
fi
# Snapshot tests need a copy-on-write volume: APFS clones anywhere on a Mac; on Linux, as root, one is
# mounted here (elsewhere they say why they skip, and the walkthrough runs without its snapshot steps).
if [ -z "${CORVANE_REFLINK_DIR:-}" ]; then
    if [ "$(uname -s)" = Darwin ]; then
        export CORVANE_REFLINK_DIR="${TMPDIR:-/tmp}"
    else
        eval "$("$top/scripts/reflink-volume.sh")"
    fi
fi
status=0
(cd "$build" && ctest --output-on-failure -j2 --timeout 600) || status=$?
"$top/scripts/tidy.sh" "$build" || status=$?
exit "$status"
