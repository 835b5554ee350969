#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every
# test; under CI (CI=true) or with --sanitize, runs them all again in a build
# with AddressSanitizer and UndefinedBehaviorSanitizer.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages
ensure_build_depends

# GUI tests draw offscreen; Qt wants a private runtime directory.
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"

run_suite() {
    local dir=$1
    shift
    build "$dir" -DVANTREL_WERROR=ON "$@"
    (cd "$root/$dir" && ctest -j "$jobs" --output-on-failure --timeout 300)
}

run_suite build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "${CI:-}" = "true" ] || [ "${1:-}" = "--sanitize" ]; then
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON -DVANTREL_BUILD_BENCHMARKS=OFF
fi
echo "All tests passed."
