#!/usr/bin/env bash
# Mounts a sparse XFS image with reflink support (16 GiB, so that the Android installation finds the
# free space it asks for; only what is written takes disk), for the tests of copy-on-write clones, and prints
# "export CORVANE_REFLINK_DIR=…" for the caller to eval. Needs root and loop devices; where either is
# missing it prints nothing and those tests skip with a reason.
set -u
image=${CORVANE_REFLINK_IMAGE:-/var/tmp/corvane-reflink.img}
mountpoint=${CORVANE_REFLINK_MOUNT:-/mnt/corvane-reflink}
size=${CORVANE_REFLINK_SIZE:-16G}

[ "$(id -u)" -eq 0 ] || { echo "reflink volume: not root, skipping" >&2; exit 0; }
command -v mkfs.xfs >/dev/null || { echo "reflink volume: mkfs.xfs missing, skipping" >&2; exit 0; }

# A volume left mounted by an older, smaller set-up is replaced: the Android installation checks for
# 10 GB of free space.
if mountpoint -q "$mountpoint"; then
    wanted=$(numfmt --from=iec "$size")
    have=$(df -B1 --output=size "$mountpoint" | tail -n1 | tr -d ' ')
    if [ "$have" -lt $((wanted * 9 / 10)) ]; then
        umount "$mountpoint" || { echo "reflink volume: $mountpoint is too small and busy, skipping" >&2; exit 0; }
    fi
fi
if ! mountpoint -q "$mountpoint"; then
    rm -f "$image"
    truncate -s "$size" "$image" &&
        mkfs.xfs -q -m reflink=1 "$image" &&
        mkdir -p "$mountpoint" &&
        mount -o loop "$image" "$mountpoint" ||
        { echo "reflink volume: could not create or mount $image, skipping" >&2; exit 0; }
fi
chmod 1777 "$mountpoint"
echo "export CORVANE_REFLINK_DIR=$mountpoint"
