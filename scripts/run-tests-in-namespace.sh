#!/usr/bin/env bash
# Runs inside the private network namespace that scripts/test.sh creates.
set -euo pipefail
build="$1"

ip link set lo up
ip link set lo multicast on

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$build"
ctest --output-on-failure --timeout 600 -j "$(nproc)"
