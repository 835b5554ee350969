# Shared by image.sh and addon.sh: the hub's packages built for this
# machine, podman as this machine can run it, and the check that a
# container of the bridge serves: a real broker on loopback, a command that
# reaches the pseudo-terminal passed in as the port, and a clean stop.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

hub_profiles=pkg.kestrix.noremote,nocheck
hub_work=$(mktemp -d)
chmod 755 "$hub_work"  # mosquitto reads its files there as its own user
hub_pids=()
hub_cleanup() {
    [ ${#hub_pids[@]} -eq 0 ] || kill "${hub_pids[@]}" 2>/dev/null || true
    rm -rf "$hub_work"
}
trap hub_cleanup EXIT

# The project's version, as its packages carry it.
hub_version() { dpkg-parsechangelog -l "$root/debian/changelog" -S Version | sed 's/-[^-]*$//'; }

# hub_debs OUT: libkestrix1 and kestrix-tools built from what is committed,
# without Qt.
hub_debs() {
    local out=$1 src="$hub_work/debs-src"
    apt_install build-dep -y --no-install-recommends "-P$hub_profiles" "$root" > /dev/null
    mkdir -p "$src/kestrix" "$out"
    git -C "$root" archive --format=tar HEAD | tar -C "$src/kestrix" -xf -
    echo "Building the hub's packages (about a minute)"
    (cd "$src/kestrix" && dpkg-buildpackage "-P$hub_profiles" -b -us -uc) > "$src/build.log" 2>&1 ||
        { tail -40 "$src/build.log"; return 1; }
    rm -f "$out"/*.deb
    cp "$src"/libkestrix1_*.deb "$src"/kestrix-tools_*.deb "$out"/
}

# On some machines (this project's CI among them) crun refuses the cgroups
# and the resource limits: runc, cgroupfs and no default ulimits work there
# and everywhere else.
printf '[containers]\ndefault_ulimits = []\n' > "$hub_work/containers.conf"
export CONTAINERS_CONF="$hub_work/containers.conf"
podman_here() { podman --runtime runc --cgroup-manager cgroupfs "$@"; }

# hub_root VARIANT TARBALL [mmdebstrap options...]: a Debian 12 root of
# mmdebstrap's VARIANT, no documentation, no apt lists.
hub_root() {
    local variant=$1 tarball=$2
    shift 2
    mmdebstrap --quiet --variant="$variant" --format=tar \
        --dpkgopt='path-exclude=/usr/share/doc/*' --dpkgopt='path-include=/usr/share/doc/*/copyright' \
        --dpkgopt='path-exclude=/usr/share/man/*' --dpkgopt='path-exclude=/usr/share/locale/*' \
        --dpkgopt='path-exclude=/usr/share/info/*' \
        --customize-hook='rm -rf "$1"/var/lib/apt/lists/* "$1"/var/cache/apt/* "$1"/var/log/*' \
        "$@" bookworm "$tarball" "${HUB_MIRROR:-http://deb.debian.org/debian}"
}

# What checks a container needs: the shim that watches the port and the
# tool that reads the frames from its log, built in a build tree of ours.
hub_check_tools() {
    local build=${KESTRIX_BUILD:-$root/build-test}
    [ -f "$build/CMakeCache.txt" ] || build=$root/build-hub
    if [ -f "$build/CMakeCache.txt" ]; then
        cmake "$build" > /dev/null
    else
        cmake -S "$root" -B "$build" -DVANTREL_BUILD_REMOTE=OFF -DVANTREL_BUILD_BENCHMARKS=OFF > /dev/null
    fi
    cmake --build "$build" --target kestrix_ioctl_shim kestrix_shim_frames kestrix-send -j "$jobs" > /dev/null
    mkdir -p "$hub_work/shim"
    chmod 777 "$hub_work/shim"  # the bridge writes its log there as whoever it runs as
    cp "$build/lib/libkestrix_ioctl_shim.so" "$hub_work/shim/"
    shim_frames="$build/bin/kestrix_shim_frames"
    kestrix_send="$build/bin/kestrix-send"
}

hub_free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# hub_broker: mosquitto on loopback at $broker_port; with a user "hub"
# whose password is $broker_password, nobody else.
hub_broker() {
    broker_port=$(hub_free_port)
    broker_password=secret-$RANDOM$RANDOM
    mosquitto_passwd -c -b "$hub_work/passwords" hub "$broker_password"
    chmod 644 "$hub_work/passwords"
    printf 'listener %s 127.0.0.1\nallow_anonymous false\npassword_file %s\n' "$broker_port" "$hub_work/passwords" \
        > "$hub_work/mosquitto.conf"
    mosquitto -c "$hub_work/mosquitto.conf" > "$hub_work/mosquitto.log" 2>&1 &
    hub_pids+=($!)
    timeout 10 sh -c "until mosquitto_pub -p $broker_port -u hub -P $broker_password -t ready -m 1 2> /dev/null; do sleep 0.1; done"
}
hub_sub() { mosquitto_sub -p "$broker_port" -u hub -P "$broker_password" "$@"; }

# hub_pty: a pseudo-terminal that anyone may open, its slave in $pty.
hub_pty() {
    python3 -c 'import os, time
m, s = os.openpty()
n = os.ttyname(s)
os.chmod(n, 0o666)
print(n, flush=True)
time.sleep(86400)' > "$hub_work/pty" &
    hub_pids+=($!)
    timeout 10 sh -c "until [ -s '$hub_work/pty' ]; do sleep 0.1; done"
    pty=$(cat "$hub_work/pty")
}

# The options a container of the bridge is run with for hub_serves: the
# port as /dev/ttyUSB0, the shim watching it, the broker on loopback. A
# pseudo-terminal opens only through its own /dev/pts, so it is bound in
# where a real adapter is passed with --device (which makes a new node).
hub_run_options() {
    echo --network=host -v "$pty:/dev/ttyUSB0" -v "$hub_work/shim:/shim" \
        -e LD_PRELOAD=/shim/libkestrix_ioctl_shim.so -e KESTRIX_SHIM_WATCH=/dev/ttyUSB0 -e KESTRIX_SHIM_LOG=/shim/log
}

# hub_connected CONTAINER: once the bridge in it has reached the broker.
hub_connected() {
    local name=$1 i
    for i in $(seq 300); do
        podman_here logs "$name" 2>&1 | grep -q 'connected to the broker' && return 0
        [ "$(podman_here inspect -f '{{.State.Running}}' "$name")" = true ] || break
        sleep 0.2
    done
    podman_here logs "$name"
    echo "the bridge did not reach the broker" >&2
    return 1
}

# hub_serves CONTAINER: the bridge in CONTAINER (started with
# hub_run_options, base topic "kestrix") announces its lamps, switches A1
# on through the port, and on SIGTERM stops with 0 and says it is offline.
hub_serves() {
    local name=$1
    hub_connected "$name" || return 1
    hub_sub -t 'homeassistant/#' -C 1 -W 30 > "$hub_work/discovery"
    grep -q '"command_topic"' "$hub_work/discovery"
    hub_sub -t kestrix/bridge/status -C 1 -W 30 > /dev/null  # serving: its status is kept
    mosquitto_pub -p "$broker_port" -u hub -P "$broker_password" -t kestrix/a/1/set -m ON -q 1
    hub_sub -t kestrix/a/1/state -C 1 -W 30 > "$hub_work/state" || true  # kept once the frame went out
    grep -qx ON "$hub_work/state" || { podman_here logs "$name" | tail -20; echo "A1 was not switched on" >&2; return 1; }
    podman_here stop -t 20 "$name" > /dev/null
    local status
    status=$(podman_here inspect -f '{{.State.ExitCode}}' "$name")
    podman_here logs "$name" > "$hub_work/container.log" 2>&1
    [ "$status" = 0 ] || { cat "$hub_work/container.log"; echo "the bridge stopped with $status" >&2; return 1; }
    grep -q "stopping" "$hub_work/container.log"
    [ "$(hub_sub -t kestrix/bridge/availability -C 1 -W 10)" = offline ]
    "$shim_frames" "$hub_work/shim/log" > "$hub_work/frames"
    local want
    want=$("$kestrix_send" --dry-run A1 on | grep -o 'D5 AA [0-9A-F ]*AD')
    grep -qx "$want" "$hub_work/frames" || { echo "frames on the port: $(cat "$hub_work/frames"), not $want" >&2; return 1; }
    echo "served: discovery, A1 on as $want through the port, offline on SIGTERM"
}
