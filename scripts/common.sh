# Shared by run.sh and test.sh: install what is missing, then configure and build.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

packages=(g++ cmake make pkgconf libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev
          libgl-dev qt6-qpa-plugins fonts-dejavu-core fonts-liberation
          desktop-file-utils appstream dpkg-dev debhelper fakeroot man-db
          libmosquitto-dev libtomlplusplus-dev nlohmann-json3-dev libsystemd-dev qtkeychain-qt6-dev mosquitto mosquitto-clients
          systemd sigrok-cli lintian file xvfb dbus-daemon gnome-keyring openssl)

ensure_packages() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    if ! "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; then
        "${sudo[@]}" apt-get update
        "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
    fi
}

# build DIR [cmake options...]
build() {
    local dir=$1
    shift
    cmake -S "$root" -B "$root/$dir" "$@"
    cmake --build "$root/$dir" -j "$jobs"
}
