# Shared by run.sh and test.sh: install what is missing, then configure and build.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

# What the tests and checks need beyond building, named here only: what
# building needs is debian/control's Build-Depends, installed from there.
packages=(build-essential dpkg-dev libgtest-dev libgmock-dev libbenchmark-dev
          qt6-qpa-plugins fonts-dejavu-core fonts-liberation desktop-file-utils appstream fakeroot man-db
          mosquitto mosquitto-clients systemd sigrok-cli lintian file xvfb dbus-daemon gnome-keyring openssl
          python3 jq curl)

as_root() {
    if [ "$(id -u)" -ne 0 ]; then sudo "$@"; else "$@"; fi
}

# apt-get install, once more after an update when the lists are stale.
apt_install() {
    export DEBIAN_FRONTEND=noninteractive
    as_root apt-get "$@" || { as_root apt-get update && as_root apt-get "$@"; }
}

ensure_packages() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    apt_install install -y --no-install-recommends "${missing[@]}"
}

# debian/control's Build-Depends, read by Debian's own tools.
ensure_build_depends() {
    dpkg-checkbuilddeps "$root/debian/control" 2>/dev/null && return 0
    echo "Installing the build dependencies in debian/control"
    apt_install build-dep -y --no-install-recommends "$root"
}

# build DIR [cmake options...]
build() {
    local dir=$1
    shift
    cmake -S "$root" -B "$root/$dir" "$@"
    cmake --build "$root/$dir" -j "$jobs"
}
