#!/usr/bin/env bash
# Builds the packages twice from the committed tree, in different folders,
# one after the other, with different umask, locale and time zone, and says
# whether the .deb files are byte for byte the same and, where not, what
# differs (with diffoscope where it is installed). Exit status 1 on a
# difference. Takes twice a package build: 5 minutes on two cores.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build_in() {  # build_in FOLDER UMASK LOCALE TIMEZONE
    mkdir -p "$work/$1"
    git -C "$root" archive --format=tar HEAD | tar -C "$work/$1" -xf -
    # File times of a checkout at this moment, minutes apart between builds.
    find "$work/$1" -exec touch {} +
    echo "Building in $work/$1 (umask $2, LC_ALL=$3, TZ=$4)"
    (cd "$work/$1" && umask "$2" && LC_ALL=$3 TZ=$4 DEB_BUILD_OPTIONS="parallel=$jobs" \
        dpkg-buildpackage -us -uc -b >"$work/$(basename "$1").log" 2>&1) ||
        { tail -40 "$work/$(basename "$1").log"; exit 2; }
}
build_in first/vantrel 022 C.UTF-8 UTC
build_in second/a/longer/path/kestrix-src 002 POSIX Pacific/Chatham

different=0
for deb in "$work"/first/*.deb; do
    name=$(basename "$deb")
    other=$(find "$work/second/a/longer/path" -maxdepth 1 -name "$name")
    if [ -z "$other" ]; then
        echo "only the first build made $name"; different=1
    elif cmp -s "$deb" "$other"; then
        echo "same: $name"
    else
        echo "DIFFERENT: $name"; different=1
        if command -v diffoscope >/dev/null; then
            diffoscope --text - "$deb" "$other" | head -60
        else
            dpkg-deb -R "$deb" "$work/a" && dpkg-deb -R "$other" "$work/b"
            diff -rq "$work/a" "$work/b" || true
            rm -rf "$work/a" "$work/b"
        fi
    fi
done
exit "$different"
