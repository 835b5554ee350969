#!/usr/bin/env bash
# Builds the Debian packages and takes them as a Debian machine would:
# lintian finds no error and no warning in any, the desktop entry and the
# metainfo validate, the control fields are right with Depends computed
# from the binaries and naming only Debian packages, the service passes
# systemd's check, and the programs unpacked into a temporary root (never
# into this machine) run and find their library relative to themselves.
set -euo pipefail
src=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset LD_LIBRARY_PATH
fail() { echo "package test: $*" >&2; exit 1; }

desktop-file-validate "$src/remote/resources/org.example.vantrel.desktop" || fail "the desktop entry does not validate"
appstreamcli validate --no-net "$src/remote/resources/org.example.vantrel.metainfo.xml" >/dev/null ||
    fail "the metainfo does not validate: $(appstreamcli validate --no-net "$src/remote/resources/org.example.vantrel.metainfo.xml")"

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || fail "cpack failed: $(cat "$work/cpack.log")"
arch=$(dpkg --print-architecture)
deb() { find "$work/out" -maxdepth 1 -name "$1_*_$arch.deb"; }
for package in libkestrix1 libkestrix-dev vantrel kestrix-tools; do
    file=$(deb "$package")
    [ -n "$file" ] || fail "no ${package}_<version>_$arch.deb in $(ls "$work/out")"
    field() { dpkg-deb -f "$file" "$1"; }
    [ "$(field Package)" = "$package" ] || fail "Package is $(field Package)"
    [ "$(field Architecture)" = "$arch" ] || fail "$package: Architecture is $(field Architecture)"
    [[ "$file" == *"${package}_$(field Version)_$arch.deb" ]] || fail "$file does not carry the version $(field Version)"
    # An override needs its reason on the line above it.
    lintian -I --pedantic "$file" >"$work/lintian.log" 2>&1 || true
    ! grep -E '^[EW]: ' "$work/lintian.log" || fail "lintian finds errors or warnings in $package"
    IFS=, read -ra entries <<<"$(field Depends)"
    for entry in "${entries[@]}"; do
        name=$(awk '{print $1}' <<<"$entry")
        [[ "$name" == libkestrix1 ]] || apt-cache show "$name" >/dev/null 2>&1 || dpkg-query -W "$name" >/dev/null 2>&1 ||
            fail "$package depends on $name, which is no Debian package"
    done
    dpkg-deb -x "$file" "$work/root"
done
# Computed by dpkg-shlibdeps: versioned entries for what the binaries link.
for lib in libc6 libstdc++6 libqt6core6 libqt6widgets6; do
    dpkg-deb -f "$(deb vantrel)" Depends | grep -q "$lib (>= " || fail "vantrel lacks a computed Depends on $lib"
done
version=$(dpkg-deb -f "$(deb libkestrix1)" Version)
for package in vantrel kestrix-tools libkestrix-dev; do
    dpkg-deb -f "$(deb "$package")" Depends | grep -q "libkestrix1 (= $version)" ||
        fail "$package does not depend on libkestrix1 of its own version"
done
dpkg-deb -e "$(deb libkestrix1)" "$work/library"
[ -f "$work/library/triggers" ] && [ ! -e "$work/library/postinst" ] || fail "libkestrix1 runs ldconfig otherwise than by trigger"

usr=$work/root/usr
libdir=$usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
[ "$(readlink "$libdir/libkestrix.so.1")" = libkestrix.so.1.0.0 ] || fail "the SONAME link is missing from $libdir"
for f in include/kestrix/controlcm.h share/applications/org.example.vantrel.desktop \
         share/metainfo/org.example.vantrel.metainfo.xml share/icons/hicolor/48x48/apps/vantrel.png \
         share/doc/vantrel/copyright share/doc/libkestrix1/changelog.Debian.gz; do
    [ -e "$usr/$f" ] || fail "$f is not in the packages"
done
[ -e "$libdir/pkgconfig/kestrix.pc" ] && [ "$(readlink "$libdir/libkestrix.so")" = libkestrix.so.1 ] ||
    fail "kestrix.pc or the link libkestrix.so is missing from $libdir"
for page in man1/kestrix-send.1.gz man1/vantrel.1.gz man8/kestrix-bridge.8.gz; do
    manual=$(MANWIDTH=80 man --warnings -l "$usr/share/man/$page" 2>"$work/man.err") || fail "man cannot render $page"
    [ ! -s "$work/man.err" ] || fail "$page renders with warnings: $(cat "$work/man.err")"
    grep -qE '^NAME' <<<"$manual" || fail "$page has no NAME section"
done

out=$("$usr/bin/kestrix-send" --dry-run A3 on) || fail "the unpacked kestrix-send failed: $out"
grep -q 'D5 AA 60 08 AD  x2  house A unit 3 ON' <<<"$out" || fail "the unpacked kestrix-send sent something else: $out"

# The bridge: its example configuration, unchanged, names no port and is
# refused (COM1 may be the console); with a port named it checks out. It
# is a conffile, and the service passes systemd's own check within a root
# that has the system's units beside ours.
if out=$("$usr/bin/kestrix-bridge" --check-config --config "$work/root/etc/kestrix/bridge.toml" 2>&1); then
    fail "the example configuration, naming no port, was taken: $out"
fi
grep -q "port or device: missing" <<<"$out" || fail "the refusal of the example does not say what is missing: $out"
sed 's/^#\[transmitter\]/[transmitter]/; s/^#port = 5/port = 5/' "$work/root/etc/kestrix/bridge.toml" >"$work/bridge.toml"
out=$("$usr/bin/kestrix-bridge" --check-config --config "$work/bridge.toml") ||
    fail "the example configuration with a port does not check out: $out"
dpkg-deb -e "$(deb kestrix-tools)" "$work/tools"
grep -qx /etc/kestrix/bridge.toml "$work/tools/conffiles" || fail "/etc/kestrix/bridge.toml is no conffile"
cp -rn /lib/systemd/system/. "$work/root/lib/systemd/system/"
install -D /bin/kill "$work/root/bin/kill"  # the service's ExecReload=
systemd-analyze verify --man=no --root="$work/root" kestrix-bridge.service >"$work/verify.log" 2>&1 ||
    fail "systemd-analyze verify refuses kestrix-bridge.service: $(cat "$work/verify.log")"

# The unpacked remote must find its library, come up and save.
source "$(dirname "${BASH_SOURCE[0]}")/run_vantrel.sh"
run_vantrel "$usr/bin/vantrel" "$work"
echo "package test: passed ($(cd "$work/out" && ls ./*.deb | tr '\n' ' '))"
