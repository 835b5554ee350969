#!/usr/bin/env bash
# Builds the Debian package and takes it as a Debian machine would: the
# desktop entry and the metainfo validate, the control fields are right
# with Depends computed from the binaries and naming only Debian packages,
# and the programs unpacked into a temporary root (never into this
# machine) run and find their library relative to themselves.
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
deb=$(find "$work/out" -maxdepth 1 -name "vantrel_*_$arch.deb")
[ -n "$deb" ] || fail "no vantrel_<version>_$arch.deb in $(ls "$work/out")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vantrel ] || fail "Package is $(field Package)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is $(field Architecture)"
[[ "$deb" == *"vantrel_$(field Version)_$arch.deb" ]] || fail "the file name does not carry the version $(field Version)"
depends=$(field Depends)
# Computed by dpkg-shlibdeps: versioned entries for what the binaries link.
for lib in libc6 libstdc++6 libqt6core6 libqt6widgets6; do
    grep -q "$lib (>= " <<<"$depends" || fail "Depends lacks a computed $lib: $depends"
done
IFS=, read -ra entries <<<"$depends"
for entry in "${entries[@]}"; do
    name=$(awk '{print $1}' <<<"$entry")
    apt-cache show "$name" >/dev/null 2>&1 || dpkg-query -W "$name" >/dev/null 2>&1 ||
        fail "Depends names $name, which is no Debian package"
done

dpkg-deb -x "$deb" "$work/root"
usr=$work/root/usr
[ "$(readlink "$usr/lib/libkestrix.so.1")" = libkestrix.so.1.0.0 ] || fail "the SONAME link is missing"
for f in include/kestrix/controlcm.h lib/pkgconfig/kestrix.pc share/applications/org.example.vantrel.desktop \
         share/metainfo/org.example.vantrel.metainfo.xml share/icons/hicolor/48x48/apps/vantrel.png; do
    [ -e "$usr/$f" ] || fail "$f is not in the package"
done
manual=$(MANWIDTH=80 man --warnings -l "$usr/share/man/man1/kestrix-send.1.gz" 2>"$work/man.err") ||
    fail "man cannot render the manual page"
[ ! -s "$work/man.err" ] || fail "the manual page renders with warnings: $(cat "$work/man.err")"
grep -q 'kestrix-send - switch X10 modules' <<<"$manual" || fail "the manual page has no NAME line"

out=$("$usr/bin/kestrix-send" --dry-run A3 on) || fail "the unpacked kestrix-send failed: $out"
grep -q 'D5 AA 60 08 AD  x2  house A unit 3 ON' <<<"$out" || fail "the unpacked kestrix-send sent something else: $out"

# The bridge: its example configuration checks out, it is a conffile, and
# the service passes systemd's own check within a root that has the
# system's units beside ours.
out=$("$usr/bin/kestrix-bridge" --check-config --config "$work/root/etc/kestrix/bridge.toml") ||
    fail "the example configuration does not check out: $out"
dpkg-deb -e "$deb" "$work/control"
grep -qx /etc/kestrix/bridge.toml "$work/control/conffiles" || fail "/etc/kestrix/bridge.toml is no conffile"
cp -rn /lib/systemd/system/. "$work/root/lib/systemd/system/"
systemd-analyze verify --man=no --root="$work/root" kestrix-bridge.service >"$work/verify.log" 2>&1 ||
    fail "systemd-analyze verify refuses kestrix-bridge.service: $(cat "$work/verify.log")"
MANWIDTH=80 man --warnings -l "$usr/share/man/man8/kestrix-bridge.8.gz" 2>&1 >/dev/null | grep . &&
    fail "the bridge's manual page renders with warnings"

# The unpacked remote must find its library, come up and save.
source "$(dirname "${BASH_SOURCE[0]}")/run_vantrel.sh"
run_vantrel "$usr/bin/vantrel" "$work"
echo "package test: passed ($(basename "$deb"))"
