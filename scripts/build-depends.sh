#!/usr/bin/env bash
# Builds the packages of the committed tree in a fresh Debian 12 root that
# holds build-essential and what debian/control's Build-Depends name, and
# nothing else, as Debian's own builders do: a build dependency missing from
# debian/control fails here even where this machine happens to have it.
# Needs a Debian mirror and root (or user namespaces); takes 4 minutes.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
packages=(mmdebstrap git)
ensure_packages

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/vantrel" "$work/out"
git -C "$root" archive --format=tar HEAD | tar -C "$work/vantrel" -xf -
mmdebstrap --variant=buildd \
    --customize-hook='mkdir "$1/build"' --customize-hook="copy-in '$work/vantrel' /build" \
    --customize-hook='chroot "$1" apt-get build-dep -y --no-install-recommends /build/vantrel' \
    --customize-hook='chroot "$1" sh -c "cd /build/vantrel && dpkg-buildpackage -us -uc -b"' \
    --customize-hook="sync-out /build '$work/out'" \
    bookworm /dev/null
ls "$work"/out/*.deb
echo "The packages build from debian/control's Build-Depends alone."
