#!/usr/bin/env bash
# Puts the source tarball into the Home Assistant add-on (app) folder
# homeassistant/kestrix-bridge/, which its Dockerfile builds from; then,
# unless --stage-only, builds that Dockerfile as the supervisor would, on
# a Debian 12 base made here by mmdebstrap (Home Assistant's own base
# images are not pulled), and checks the image: started with a fake
# supervisor and a real mosquitto it serves, a bad option stops it with
# the bridge's message, and the broker's password is in one file of mode
# 600 and nowhere else.
#
#   ./scripts/addon.sh               # staged, built and checked
#   ./scripts/addon.sh --stage-only  # the tarball for a published repository
#
# Needs root (or sudo) and a Debian mirror; about 3 minutes.
source "$(dirname "${BASH_SOURCE[0]}")/hub.sh"

addon=$root/homeassistant/kestrix-bridge
git -C "$root" archive --format=tar.gz -o "$addon/kestrix-source.tar.gz" HEAD
echo "Staged $addon/kestrix-source.tar.gz"
[ "${1:-}" = --stage-only ] && exit 0

packages=(git mmdebstrap podman runc uidmap mosquitto mosquitto-clients python3 jq)
ensure_packages

base=localhost/kestrix-debian-base:bookworm
if ! podman_here image exists "$base"; then
    echo "Making a Debian 12 base image (about a minute)"
    hub_root apt "$hub_work/base.tar" --include=ca-certificates
    podman_here import --quiet --change 'CMD ["/bin/bash"]' "$hub_work/base.tar" "$base" > /dev/null
fi
image=localhost/kestrix-bridge-addon:$(hub_version)
echo "Building the add-on from its Dockerfile (about 2 minutes)"
podman_here build --quiet --network=host --build-arg BUILD_FROM="$base" -t "$image" "$addon" > "$hub_work/build.log" 2>&1 ||
    { tail -40 "$hub_work/build.log"; exit 1; }
podman_here image prune -f --filter label=org.example.kestrix.stage=build > /dev/null

hub_check_tools
hub_broker
hub_pty
cat > "$hub_work/service.json" <<EOF
{"addon": "core_mosquitto", "host": "127.0.0.1", "port": $broker_port, "ssl": false, "protocol": "3.1.1",
 "username": "hub", "password": "$broker_password"}
EOF
python3 "$root/homeassistant/tests/fake_supervisor.py" the-token "$hub_work/service.json" "$hub_work/supervisor-port" &
hub_pids+=($!)
timeout 10 sh -c "until [ -s '$hub_work/supervisor-port' ]; do sleep 0.1; done"

containers=()
trap 'podman_here rm -f "${containers[@]}" > /dev/null 2>&1; hub_cleanup' EXIT
# start NAME OPTIONS: the add-on as the supervisor starts it, OPTIONS in
# /data/options.json.
start() {
    mkdir -p "$hub_work/$1"
    echo "$2" > "$hub_work/$1/options.json"
    containers+=("$1-$$")
    # shellcheck disable=SC2046
    podman_here run -d --name "$1-$$" $(hub_run_options) -v "$hub_work/$1:/data" \
        -e SUPERVISOR_TOKEN=the-token -e KESTRIX_SUPERVISOR_URL="http://127.0.0.1:$(cat "$hub_work/supervisor-port")" \
        "$image" -v > /dev/null
}

start bad '{"device": "/dev/ttyUSB0", "units": [{"address": "A1", "name": "Fan", "kind": "switch", "dim_steps": 16}]}'
[ "$(podman_here wait "bad-$$")" = 1 ] || { podman_here logs "bad-$$"; echo "a bad option did not stop the add-on" >&2; exit 1; }
podman_here logs "bad-$$" 2>&1 | grep -q 'dim_steps: a switch does not dim' ||
    { podman_here logs "bad-$$"; echo "the bridge's message is not in the log" >&2; exit 1; }

start good '{"device": "/dev/ttyUSB0", "base_topic": "kestrix", "discovery_prefix": "homeassistant", "busy_wait": 10,
             "units": [{"address": "A1", "name": "Hall lamp"}]}'
hub_connected "good-$$"
podman_here exec "good-$$" sh -c 'stat -c "%a %n" $(grep -rlF "$0" / --exclude-dir=proc --exclude-dir=sys --exclude-dir=dev 2> /dev/null)' \
    "$broker_password" > "$hub_work/holders" || true
[ "$(cat "$hub_work/holders")" = "600 /run/kestrix/mqtt-password" ] ||
    { echo "the password is in: $(cat "$hub_work/holders")" >&2; exit 1; }
hub_serves "good-$$"
! grep -qF "$broker_password" "$hub_work/container.log" || { echo "the password is in the log" >&2; exit 1; }
echo "The add-on $image serves; a bad option stops it; its password is in one file of mode 600."
