#!/usr/bin/env bash
# The Linux package as a user gets it: the desktop entry and the metainfo validate, CPack builds the
# Debian package, its dependencies name the libraries and the programs Corvane drives, and the program
# unpacked from it starts (offscreen, in a home folder of its own) and says so in its global log.
# Usage: check-package.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
top=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

desktop-file-validate "$top/resources/linux/corvane.desktop"
appstreamcli validate --no-net --pedantic "$build/packaging/corvane.metainfo.xml"

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"
    fail "cpack did not build the package"
}
deb=$(find "$work/out" -maxdepth 1 -name 'corvane_*.deb' | head -n1)
[ -n "$deb" ] || fail "no package in $work/out"

depends=$(dpkg-deb --field "$deb" Depends)
for needed in libqt6widgets6 libqt6core6 qemu-system-arm qemu-efi-aarch64 lsof unzip 7zip; do
    grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
grep -q fonts-noto-cjk <<<"$(dpkg-deb --field "$deb" Recommends)" || fail "the CJK font is not recommended"

dpkg-deb -x "$deb" "$work/root"
for file in usr/bin/corvane usr/bin/corvanectl usr/share/applications/corvane.desktop usr/share/metainfo/corvane.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/corvane.svg usr/share/icons/hicolor/256x256/apps/corvane.png \
    usr/share/icons/hicolor/16x16/apps/corvane.png; do
    [ -e "$work/root/$file" ] || fail "the package lacks /$file"
done
# Nothing of the tests, benchmarks or stand-ins goes into a user's system.
extra=$(cd "$work/root" && find . -type f | grep -v -e '^./usr/bin/corvane$' -e '^./usr/bin/corvanectl$' -e '^./usr/share/' || true)
[ -z "$extra" ] || fail "unexpected files in the package: $extra"

home="$work/home"
mkdir -p "$home" "$work/runtime"
chmod 700 "$work/runtime"
status=0
env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
    timeout -s TERM 8 "$work/root/usr/bin/corvane" >"$work/program.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || {
    cat "$work/program.log"
    fail "the unpacked program ended by itself (status $status) instead of running until stopped"
}
log="$home/.local/share/CorvaneBeta/logs/global.log"
grep -q '\[应用\] Corvane Beta 已启动' "$log" 2>/dev/null || {
    cat "$work/program.log"
    fail "the unpacked program did not start its window (no start line in $log)"
}
echo "package $(basename "$deb") validated, unpacked and started"
