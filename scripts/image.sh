#!/usr/bin/env bash
# Builds the container image "kestrix-bridge" from the project's own
# packages (the pkg.kestrix.noremote profile) and Debian 12's, with
# Debian's tools only: mmdebstrap makes a minimal root, podman imports it.
# No base image is pulled. Then checks it: under 50 MB, and serving a real
# broker on loopback, a command reaching a pseudo-terminal given as its
# port, a clean stop on SIGTERM.
#
#   ./scripts/image.sh            # the image, checked; then: podman save ...
#   ./scripts/image.sh --no-check # the image only
#
# Needs root (or sudo) and a Debian mirror; about a minute.
source "$(dirname "${BASH_SOURCE[0]}")/hub.sh"

check=yes
[ "${1:-}" = --no-check ] && check=no
packages=(dpkg-dev git mmdebstrap podman runc uidmap mosquitto mosquitto-clients python3)
ensure_packages

version=$(hub_version)
image=kestrix-bridge
hub_debs "$hub_work/debs"

# What dpkg and the maintainer scripts need to install the packages, and
# nothing more: no apt, no perl, no bash. The bridge runs as "kestrix" (in
# dialout, which owns serial ports on Debian hosts), reads
# /config/bridge.toml and keeps its state in /data.
dpkg_needs=(base-files base-passwd dash dpkg coreutils diffutils findutils grep sed libc-bin)
echo "Making the root (about a minute)"
hub_root custom "$hub_work/root.tar" \
    --include="$(IFS=,; echo "${dpkg_needs[*]}"),$(echo "$hub_work"/debs/libkestrix1_*.deb),$(echo "$hub_work"/debs/kestrix-tools_*.deb)" \
    --hook-dir=/usr/share/mmdebstrap/hooks/file-mirror-automount \
    --customize-hook='echo "kestrix:x:990:990:kestrix-bridge:/data:/usr/sbin/nologin" >> "$1/etc/passwd"' \
    --customize-hook='echo "kestrix:x:990:" >> "$1/etc/group"' \
    --customize-hook='echo "kestrix:!:::::::" >> "$1/etc/shadow"' \
    --customize-hook='sed -i "s/^dialout:x:20:$/dialout:x:20:kestrix/" "$1/etc/group"' \
    --customize-hook='mkdir -p "$1/config" "$1/data" && chown 990:990 "$1/data"'

podman_here rmi -f "$image:$version" "$image:latest" > /dev/null 2>&1 || true
# The bridge logs to stderr; a container's log is what it writes to stdout.
podman_here import --quiet \
    --change 'USER kestrix' \
    --change 'WORKDIR /data' \
    --change 'ENV STATE_DIRECTORY=/data' \
    --change 'VOLUME /data' \
    --change 'ENTRYPOINT ["/bin/sh", "-c", "exec kestrix-bridge --config /config/bridge.toml \"$@\" 2>&1", "kestrix-bridge"]' \
    --change "LABEL org.opencontainers.image.title=kestrix-bridge org.opencontainers.image.version=$version" \
    "$hub_work/root.tar" "$image:$version" > /dev/null
podman_here tag "$image:$version" "$image:latest"
size=$(podman_here image inspect -f '{{.Size}}' "$image:$version")
echo "Image $image:$version: $((size / 1000000)) MB"
[ "$check" = yes ] || exit 0

[ "$size" -lt 50000000 ] || { echo "the image is over 50 MB" >&2; exit 1; }
hub_check_tools
hub_broker
hub_pty
mkdir -p "$hub_work/config"
cat > "$hub_work/config/bridge.toml" <<EOF
[transmitter]
device = "/dev/ttyUSB0"
[mqtt]
host = "127.0.0.1"
port = $broker_port
username = "hub"
password_file = "/config/password"
[[unit]]
address = "A1"
name = "Hall lamp"
EOF
printf '%s' "$broker_password" > "$hub_work/config/password"
chmod 644 "$hub_work/config"/*
container=kestrix-check-$$
trap 'podman_here rm -f "$container" > /dev/null 2>&1; podman_here volume rm -f "$container" > /dev/null 2>&1; hub_cleanup' EXIT
# shellcheck disable=SC2046
podman_here run -d --name "$container" $(hub_run_options) \
    -v "$hub_work/config:/config:ro" -v "$container:/data" "$image:$version" -v > /dev/null
hub_serves "$container"
[ "$(stat -c %u "$hub_work/shim/log")" = 990 ] || { echo "the bridge did not run as kestrix" >&2; exit 1; }
# What the bridge keeps (the discovery ids it published) outlives the container.
[ -n "$(ls -A "$(podman_here volume inspect -f '{{.Mountpoint}}' "$container")")" ] ||
    { echo "the bridge kept nothing in /data" >&2; exit 1; }
echo "The image $image:$version serves."
