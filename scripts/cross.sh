#!/usr/bin/env bash
# Cross-builds the packages of a headless hub (libkestrix1, libkestrix-dev,
# kestrix-tools; the pkg.kestrix.noremote profile, no Qt) for ARCH, arm64
# or armhf, with Debian's cross toolchain and the target's build
# dependencies installed side by side (multiarch); checks them with
# lintian, then runs what was built under qemu-user with the target's
# libraries: kestrix-send's dry run, the bridge's --check-config, and the
# bridge serving one command through a real mosquitto on loopback.
#
#   ./scripts/cross.sh arm64     # the packages land in build-cross-arm64/
#
# Needs root (or sudo) and a Debian mirror; about 5 minutes the first time
# (mostly downloads), 2 minutes after.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

arch=${1:-}
case "$arch" in
    arm64) qemu=qemu-aarch64-static ;;
    armhf) qemu=qemu-arm-static ;;
    *) echo "usage: $0 arm64|armhf" >&2; exit 2 ;;
esac
profiles=pkg.kestrix.noremote,nocheck

if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    as_root dpkg --add-architecture "$arch"
    as_root apt-get update
fi
packages=(dpkg-dev lintian git "crossbuild-essential-$arch" qemu-user-static mosquitto mosquitto-clients python3)
ensure_packages
apt_install build-dep -y --no-install-recommends -a "$arch" "-P$profiles" "$root"

out="$root/build-cross-$arch"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/src" "$out"
git -C "$root" archive --format=tar HEAD | tar -C "$work/src" -xf -
(cd "$work/src" && dpkg-buildpackage -a "$arch" "-P$profiles" -b -us -uc)
rm -f "$out"/*
cp "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo "$out"/
lintian --fail-on error,warning "$out"/*.changes

# What was built, run as the hub runs it, on this machine's emulator.
target="$work/root"
for deb in "$out"/libkestrix1_*.deb "$out"/kestrix-tools_*.deb; do dpkg-deb -x "$deb" "$target"; done
libs="$target/usr/lib/$(dpkg-architecture -a"$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)"
run() { "$qemu" -L / -E "LD_LIBRARY_PATH=$libs" "$@"; }

run "$target/usr/bin/kestrix-send" --dry-run A3 on | tee "$work/dry-run"
grep -q "D5 AA 60 08 AD" "$work/dry-run"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat > "$work/bridge.toml" <<EOF
[transmitter]
port = 5
[mqtt]
host = "127.0.0.1"
port = $port
EOF
run "$target/usr/bin/kestrix-bridge" --check-config --config "$work/bridge.toml"

mosquitto -p "$port" > "$work/mosquitto.log" 2>&1 &
# The port above is free, so the machine may have no adapter at COM5: the
# command is then refused with error 8003, and the status says so.
XDG_STATE_HOME="$work/state" "$qemu" -L / -E "LD_LIBRARY_PATH=$libs" "$target/usr/bin/kestrix-bridge" -v --config "$work/bridge.toml" \
    > "$work/bridge.log" 2>&1 &
bridge=$!
timeout 30 grep -q -m1 "connected to the broker" <(tail -F "$work/bridge.log" 2>/dev/null)
timeout 30 mosquitto_sub -p "$port" -t kestrix/bridge/status -C 1 > /dev/null  # serving: its status is kept
# The kept status, then the one the command brings.
timeout 30 mosquitto_sub -p "$port" -t kestrix/bridge/status -C 2 > "$work/status" &
watcher=$!
timeout 30 grep -q -m1 . <(tail -F "$work/status" 2>/dev/null)
mosquitto_pub -p "$port" -t kestrix/a/1/set -m ON -q 1
wait "$watcher"
grep -q "A1 ON from MQTT" "$work/bridge.log"
echo "status after the command: $(tail -1 "$work/status")"
grep -q '"sent"' <(tail -1 "$work/status")
kill -TERM "$bridge"
wait "$bridge"  # a clean stop: 0
grep -q "stopping" "$work/bridge.log"
echo "The $arch packages in $out build, pass lintian and run under $qemu."
