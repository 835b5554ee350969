#!/usr/bin/env bash
# Installs the build into a fresh prefix and uses what was installed: the
# files a desktop expects, kestrix-send's dry run, and Vantrel starting
# (offscreen) and closing with its settings saved. Nothing may come from the
# build tree or LD_LIBRARY_PATH.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
unset LD_LIBRARY_PATH

cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "install test: $*" >&2; exit 1; }
for f in bin/vantrel bin/kestrix-send include/kestrix/controlcm.h include/kestrix/linux_serial.h \
         share/applications/org.example.vantrel.desktop share/metainfo/org.example.vantrel.metainfo.xml \
         share/icons/hicolor/48x48/apps/vantrel.png share/man/man1/kestrix-send.1.gz \
         bin/kestrix-bridge share/man/man8/kestrix-bridge.8.gz etc/kestrix/bridge.toml \
         lib/systemd/system/kestrix-bridge.service; do
    [ -e "$prefix/$f" ] || fail "$f was not installed"
done
lib=$(find "$prefix" -name 'libkestrix.so.1' | head -1)
[ -n "$lib" ] || fail "libkestrix.so.1 was not installed"
libdir=$(dirname "$lib")
[ "$(readlink "$libdir/libkestrix.so")" = "libkestrix.so.1" ] || fail "libkestrix.so does not point at its SONAME"
[ -e "$libdir/pkgconfig/kestrix.pc" ] || fail "kestrix.pc was not installed"
# Only the API leaves the library: of controlcm, its public members alone.
exported=$(nm -DC --defined-only "$lib" | grep -oE 'kestrix::controlcm::[~A-Za-z_0-9]+' | LC_ALL=C sort -u | tr '\n' ' ')
public="kestrix::controlcm::Exec kestrix::controlcm::Init kestrix::controlcm::ResetCom kestrix::controlcm::SendToCM17 kestrix::controlcm::comport kestrix::controlcm::controlcm kestrix::controlcm::last_error kestrix::controlcm::realtime_hooks kestrix::controlcm::~controlcm "
[ "$exported" = "$public" ] || fail "libkestrix exports other members of controlcm than its API: $exported"
grep -q '^Exec=vantrel$' "$prefix/share/applications/org.example.vantrel.desktop" || fail "the desktop entry does not start vantrel"

out=$("$prefix/bin/kestrix-send" --dry-run A1 on) || fail "kestrix-send --dry-run A1 on failed: $out"
grep -q 'D5 AA 60 00 AD' <<<"$out" || fail "the dry run did not print D5 AA 60 00 AD: $out"
grep -q 'house A unit 1 ON' <<<"$out" || fail "the dry run did not decode the frame: $out"

# Vantrel from the install must find its library, come up and save.
source "$(dirname "${BASH_SOURCE[0]}")/run_vantrel.sh"
run_vantrel "$prefix/bin/vantrel" "$prefix"
echo "install test: passed"
