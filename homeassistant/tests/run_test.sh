#!/usr/bin/env bash
# The add-on's run script, as the supervisor starts it: options files good
# and bad, the MQTT service from a fake supervisor on loopback, the bridge
# of BUILD_DIR checking what the script made of them.
#
#   run_test.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2> /dev/null || true; rm -rf "$work"' EXIT

password='pa"ss wo\rd'
jq -n --arg password "$password" '{addon: "core_mosquitto", host: "core-mosquitto", port: 1883, ssl: false,
    protocol: "3.1.1", username: "addons", password: $password}' > "$work/service.json"
python3 "$here/fake_supervisor.py" the-token "$work/service.json" "$work/port" &
timeout 10 sh -c "until [ -s '$work/port' ]; do sleep 0.05; done"
supervisor=http://127.0.0.1:$(cat "$work/port")

failures=0
# check NAME TOKEN WANT_STATUS WANT_SAID OPTIONS: the script, run with
# OPTIONS as /data/options.json, ends with WANT_STATUS and says WANT_SAID.
check() {
    local name=$1 token=$2 want_status=$3 want_said=$4 options=$5 dir="$work/$1" status=0
    mkdir -p "$dir"
    echo "$options" > "$dir/options.json"
    env -i PATH="$build/bin:/usr/bin:/bin" SUPERVISOR_TOKEN="$token" KESTRIX_OPTIONS="$dir/options.json" \
        KESTRIX_SUPERVISOR_URL="$supervisor" KESTRIX_RUN_DIR="$dir/run" STATE_DIRECTORY="$dir/state" \
        "$here/../kestrix-bridge/run" --check-config > "$dir/said" 2>&1 || status=$?
    if [ "$status" != "$want_status" ] || ! grep -qF -- "$want_said" "$dir/said"; then
        echo "FAIL $name: status $status (want $want_status), said:"; cat "$dir/said"
        echo "  (want: $want_said)"
        failures=$((failures + 1))
    fi
    if grep -rqF -- "$password" "$dir/said" "$dir/run/bridge.toml" 2> /dev/null; then
        echo "FAIL $name: the password is in the log or the TOML"
        failures=$((failures + 1))
    fi
}

units='[{"address": "A1", "name": "Hall \"big\" lamp", "dim_steps": 16, "on_level": "last"},
        {"address": "b12", "name": "Fan", "kind": "switch", "repeat": 2}]'
check good the-token 0 'B12  switch  Fan' \
    "{\"device\": \"/dev/ttyUSB0\", \"base_topic\": \"upstairs\", \"discovery_prefix\": \"homeassistant\", \"busy_wait\": 5, \"units\": $units}"
check defaults the-token 0 'C3   light   Porch' \
    '{"device": "/dev/serial/by-id/usb-FTDI", "units": [{"address": "C3", "name": "Porch", "kind": null}]}'
check unknown_option the-token 1 'unknown option port' '{"device": "/dev/ttyUSB0", "port": 5, "units": []}'
check unknown_unit_option the-token 1 'unknown unit option level' \
    '{"device": "/dev/ttyUSB0", "units": [{"address": "A1", "name": "Lamp", "level": 50}]}'
check switch_that_dims the-token 1 'dim_steps: a switch does not dim' \
    '{"device": "/dev/ttyUSB0", "units": [{"address": "A1", "name": "Fan", "kind": "switch", "dim_steps": 16}]}'
check twice the-token 1 'A1 is configured twice' \
    '{"device": "/dev/ttyUSB0", "units": [{"address": "A1", "name": "x"}, {"address": "a1", "name": "y"}]}'
check no_device the-token 1 'no device' '{"device": "", "units": []}'
check not_json the-token 1 'not JSON' '{"device": '
check wrong_token not-the-token 1 'no MQTT broker from the supervisor' '{"device": "/dev/ttyUSB0", "units": []}'

# A broker the supervisor names with TLS is reached with TLS.
jq '.ssl = true | .port = 8883' "$work/service.json" > "$work/tls.json" && mv "$work/tls.json" "$work/service.json"
check tls the-token 0 'Broker: mqtts://core-mosquitto:8883' '{"device": "/dev/ttyUSB0", "units": []}'

# What the good options became: the broker the supervisor named, with
# the password in a file only the bridge reads.
good=$work/good
for want in 'device = "/dev/ttyUSB0"' 'busy_wait = 5' 'host = "core-mosquitto"' 'port = 1883' 'username = "addons"' \
    'base_topic = "upstairs"' 'name = "Hall \"big\" lamp"' 'on_level = "last"' 'address = "b12"' 'repeat = 2'; do
    grep -qxF -- "$want" "$good/run/bridge.toml" || { echo "FAIL good: no line $want in"; cat "$good/run/bridge.toml"; failures=$((failures + 1)); }
done
[ "$(cat "$good/run/mqtt-password")" = "$password" ] || { echo "FAIL good: the password file holds something else"; failures=$((failures + 1)); }
[ "$(stat -c %a "$good/run/mqtt-password")" = 600 ] || { echo "FAIL good: the password file has mode $(stat -c %a "$good/run/mqtt-password")"; failures=$((failures + 1)); }
grep -q 'password_file = ' "$good/run/bridge.toml" || { echo "FAIL good: no password_file"; failures=$((failures + 1)); }

# The add-on is the version the packages are.
version=$(dpkg-parsechangelog -l "$here/../../debian/changelog" -S Version)
grep -qx "version: \"$version\"" "$here/../kestrix-bridge/config.yaml" ||
    { echo "FAIL config.yaml: not version $version"; failures=$((failures + 1)); }

[ "$failures" = 0 ] && echo "The run script made and checked every configuration as it should."
exit "$failures"
