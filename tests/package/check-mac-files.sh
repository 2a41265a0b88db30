#!/usr/bin/env bash
# What of the Mac build can be checked on Linux: the bundle's Info.plist reads back with an independent
# parser and says what the bundle is; the icon holds every size; and the Brewfile installs, for each
# role the Debian set-up fills, the Homebrew formula that fills it on a Mac.
# Usage: check-mac-files.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
top=$1
build=$2
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

plist=$(plistutil -i "$build/packaging/Info.plist" -f xml -o -)
key() {
    # The value that follows <key>$1</key>.
    awk -v key="<key>$1</key>" 'found { gsub(/^[ \t]*<[a-z]+>|<\/[a-z]+>[ \t]*$/, ""); print; exit } index($0, key) { found = 1 }' <<<"$plist"
}
[ "$(key CFBundleName)" = "Corvane Beta" ] || fail "CFBundleName is '$(key CFBundleName)'"
[ "$(key CFBundleExecutable)" = corvane ] || fail "CFBundleExecutable is '$(key CFBundleExecutable)'"
[ -n "$(key CFBundleIdentifier)" ] || fail "no CFBundleIdentifier"
[ -n "$(key LSMinimumSystemVersion)" ] || fail "no LSMinimumSystemVersion"
[ "$(key CFBundleIconFile)" = corvane.icns ] || fail "CFBundleIconFile is '$(key CFBundleIconFile)'"
version=$(sed -n 's/^project(Corvane VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
[ "$(key CFBundleShortVersionString)" = "$version" ] || fail "the bundle's version is not the project's $version"

sizes=$(icns2png -l "$build/packaging/corvane.icns")
for size in 16x16 32x32 48x48 128x128 256x256 512x512; do
    grep -q "$size" <<<"$sizes" || fail "the icon lacks $size: $sizes"
done

# Debian package -> Homebrew formula filling the same role ("-" where macOS itself has it or the
# project builds it).
roles="cmake:cmake ninja-build:ninja ccache:ccache pkg-config:pkg-config clang-tidy:llvm qt6-base-dev:qt qt6-svg-dev:qt
qcoro-qt6-dev:- libssl-dev:openssl@3 libvncserver-dev:libvncserver libgtest-dev:googletest
libgmock-dev:googletest libbenchmark-dev:google-benchmark qemu-system-arm:qemu qemu-efi-aarch64:qemu
genisoimage:cdrtools xorriso:xorriso icnsutils:libicns libplist-utils:libplist lsof:- unzip:- 7zip:-"
formulas=$(sed -n 's/^brew "\([^"]*\)".*/\1/p' "$top/Brewfile")
for pair in $roles; do
    package=${pair%%:*}
    formula=${pair#*:}
    grep -qw -- "$package" "$top/scripts/dev.sh" || fail "the role table names $package, which scripts/dev.sh no longer installs"
    [ "$formula" = - ] || grep -qx -- "$formula" <<<"$formulas" || fail "the Brewfile lacks $formula (for $package)"
done
for formula in $formulas; do
    grep -q ":$formula\b" <<<"$roles" || fail "the Brewfile's $formula fills no role of the Debian set-up"
done
echo "Info.plist, icon and Brewfile checked"
