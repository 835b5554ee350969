#!/usr/bin/env bash
# Builds the source and binary packages with dpkg-buildpackage and takes
# them as a Debian machine would: lintian finds no error and no warning,
# Depends name only Debian packages, and in a scratch root (never this
# machine) the packages install, the service passes systemd's check, the
# installed-package tests of debian/tests pass and the remote comes up.
# Enabled and then purged, the packages leave nothing of theirs behind.
set -euo pipefail
src=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset LD_LIBRARY_PATH
fail() { echo "package test: $*" >&2; exit 1; }

# The tree as a clean clone has it, with what is not committed yet.
mkdir "$work/vantrel"
if git -C "$src" rev-parse 2>/dev/null; then
    (cd "$src" && git ls-files -z --cached --others --exclude-standard | xargs -0 sh -c 'for f; do [ ! -e "$f" ] || printf "%s\0" "$f"; done' _ |
        tar -cf - --no-recursion --null -T -) | tar -C "$work/vantrel" -xf -
else
    tar -C "$src" --exclude-vcs --exclude='./build*' -cf - . | tar -C "$work/vantrel" -xf -
fi
(cd "$work/vantrel" && DEB_BUILD_OPTIONS="parallel=$(nproc)" dpkg-buildpackage -us -uc >"$work/build.log" 2>&1) ||
    fail "dpkg-buildpackage failed: $(tail -40 "$work/build.log")"
arch=$(dpkg --print-architecture)
lintian -I --pedantic "$work"/vantrel_*_"$arch".changes >"$work/lintian.log" 2>&1 || true
! grep -E '^[EW]: ' "$work/lintian.log" || fail "lintian finds errors or warnings"

packages=(libkestrix1 libkestrix-dev vantrel kestrix-tools)
deb() { echo "$work/$1_"*"_$arch.deb"; }
version=$(dpkg-deb -f "$(deb libkestrix1)" Version)
for package in "${packages[@]}"; do
    depends=$(dpkg-deb -f "$(deb "$package")" Depends)
    IFS=, read -ra entries <<<"$depends"
    for entry in "${entries[@]}"; do
        name=$(awk '{print $1}' <<<"$entry")
        [[ "$name" == libkestrix1 ]] || apt-cache show "$name" >/dev/null 2>&1 ||
            fail "$package depends on $name, which is no Debian package"
    done
    [ "$package" = libkestrix1 ] || grep -q "libkestrix1 (= $version)" <<<"$depends" ||
        fail "$package does not depend on libkestrix1 of its own version"
done
dpkg-deb -f "$(deb vantrel)" Depends | grep -q "libqt6widgets6 (>= " || fail "vantrel lacks a computed Depends on Qt"

# A scratch root with the system's units beside ours, for systemd's check.
root=$work/root
mkdir -p "$root/var/lib/dpkg/updates" "$root/lib/systemd" "$root/bin" "$work/stubs" "$work/tmp"
touch "$root/var/lib/dpkg/status"
cp -r /lib/systemd/system "$root/lib/systemd/"
cp /bin/kill "$root/bin/"  # the service's ExecReload=
find "$root" ! -type d ! -path '*/var/lib/dpkg/*' | sort >"$work/before"
# The maintainer scripts run here with DPKG_ROOT set; stand-ins keep them
# off this machine's own systemd.
for program in systemctl deb-systemd-invoke; do
    printf '#!/bin/sh\nexit 0\n' >"$work/stubs/$program" && chmod +x "$work/stubs/$program"
done
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(fakeroot)
in_root() {
    PATH="$work/stubs:$PATH" "${as_root[@]}" dpkg --root="$root" --force-script-chrootless --force-depends \
        --log=/dev/null "$@" >"$work/dpkg.log" 2>&1 || fail "dpkg $1 failed: $(cat "$work/dpkg.log")"
}
in_root --install "$(deb libkestrix1)" "$(deb libkestrix-dev)" "$(deb vantrel)" "$(deb kestrix-tools)"

usr=$root/usr
desktop-file-validate "$usr/share/applications/org.example.vantrel.desktop" || fail "the desktop entry does not validate"
appstreamcli validate --no-net "$usr/share/metainfo/org.example.vantrel.metainfo.xml" >"$work/appstream.log" ||
    fail "the metainfo does not validate: $(cat "$work/appstream.log")"
# Software centres show the metainfo's licence: the one the copyright file
# gives, in SPDX's words (Debian's Expat is SPDX's MIT).
licence=$(sed -n '/^Files: \*/,/^$/s/^License: //p' "$usr/share/doc/vantrel/copyright")
[ "$licence" != Expat ] || licence=MIT
grep -q "<project_license>$licence</project_license>" "$usr/share/metainfo/org.example.vantrel.metainfo.xml" ||
    fail "the metainfo's licence is not the copyright file's ($licence)"
for page in man1/kestrix-send.1.gz man1/vantrel.1.gz man8/kestrix-bridge.8.gz; do
    MANWIDTH=80 man --warnings -l "$usr/share/man/$page" >/dev/null 2>"$work/man.err" || fail "man cannot render $page"
    [ ! -s "$work/man.err" ] || fail "$page renders with warnings: $(cat "$work/man.err")"
done

# The link points into the scratch root's /lib as seen from inside: from
# here it dangles, so it is looked for as a link.
wants=$root/etc/systemd/system/multi-user.target.wants/kestrix-bridge.service
[ ! -L "$wants" ] || fail "installing enabled the service"
/bin/systemctl --root="$root" enable kestrix-bridge.service >/dev/null 2>&1 || fail "the service cannot be enabled"
[ -L "$wants" ] || fail "enabling made no link"
systemd-analyze verify --man=no --root="$root" kestrix-bridge.service >"$work/verify.log" 2>&1 ||
    fail "systemd-analyze verify refuses kestrix-bridge.service: $(cat "$work/verify.log")"
# The example configuration, unchanged, names no port and is refused (the
# first serial port may be the console); with its port line it checks out.
example=$root/etc/kestrix/bridge.toml
grep -qx /etc/kestrix/bridge.toml "$root/var/lib/dpkg/info/kestrix-tools.conffiles" || fail "the example is no conffile"
! "$usr/bin/kestrix-bridge" --check-config --config "$example" >/dev/null 2>&1 || fail "the example naming no port was taken"
sed 's/^#\[transmitter\]/[transmitter]/; s/^#port = 5/port = 5/' "$example" >"$work/bridge.toml"
out=$("$usr/bin/kestrix-bridge" --check-config --config "$work/bridge.toml") || fail "the example with a port is refused: $out"

# The tests Debian runs on installed packages, against this root.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for test in $(sed -n 's/^Tests://p' "$work/vantrel/debian/tests/control"); do
    PATH="$usr/bin:$PATH" AUTOPKGTEST_TMP=$(mktemp -d -p "$work/tmp") PKG_CONFIG_SYSROOT_DIR="$root" \
        PKG_CONFIG_LIBDIR="$usr/lib/$multiarch/pkgconfig" LD_LIBRARY_PATH="$usr/lib/$multiarch" \
        "$work/vantrel/debian/tests/$test" >"$work/test.log" 2>&1 || fail "debian/tests/$test fails: $(cat "$work/test.log")"
done
# The remote must find its library by itself, come up and save.
source "$(dirname "${BASH_SOURCE[0]}")/run_vantrel.sh"
run_vantrel "$usr/bin/vantrel" "$work"

# What the bridge keeps as a dynamic user goes with the purge.
mkdir -p "$root/var/lib/private/kestrix"
echo '{}' >"$root/var/lib/private/kestrix/discovery-homeassistant-kestrix.json"
ln -s private/kestrix "$root/var/lib/kestrix"
in_root --purge "${packages[@]}"
find "$root" ! -type d ! -path '*/var/lib/dpkg/*' | sort >"$work/after"
left=$(comm -13 "$work/before" "$work/after")
[ -z "$left" ] || fail "the purge left behind: $left"
echo "package test: passed ($(cd "$work" && ls ./*.deb | tr '\n' ' '))"
