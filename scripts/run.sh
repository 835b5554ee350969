#!/usr/bin/env bash
# Installs what is missing, builds, and starts Vantrel.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages
ensure_build_depends
build build -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_BENCHMARKS=OFF
exec "$root/build/bin/vantrel" "$@"
