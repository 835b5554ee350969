# Sourced by the install and package tests: run_vantrel PROGRAM FOLDER runs
# a vantrel offscreen with its settings in FOLDER and asks it to end as soon
# as it listens for that; it must finish starting, show its window, then
# close the orderly way and save. Calls `fail` (the caller's) otherwise.
run_vantrel() {
    local program=$1 folder=$2
    mkdir -p -m 700 "$folder/runtime"
    QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$folder/config" XDG_RUNTIME_DIR="$folder/runtime" \
        "$program" 2>"$folder/vantrel.err" &
    local pid=$! mask
    # It listens once it catches SIGTERM (bit 15 of SigCgt).
    for _ in $(seq 1 300); do
        kill -0 "$pid" 2>/dev/null || fail "$program ended at start-up: $(cat "$folder/vantrel.err")"
        mask=$(awk '/^SigCgt/ {print $2}' "/proc/$pid/status")
        (( (16#$mask >> 14) & 1 )) && break
        sleep 0.1
    done
    kill -TERM "$pid"
    wait "$pid" || fail "$program did not end cleanly: $(cat "$folder/vantrel.err")"
    grep -q '^ComPort=1$' "$folder/config/Vantrel.conf" || fail "$program did not come up and save its settings"
}
