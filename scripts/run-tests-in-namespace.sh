#!/usr/bin/env bash
# Runs inside the private network, mount and pid namespaces that
# scripts/test.sh creates:
#   unshare --net --mount --pid --fork --mount-proc --kill-child \
#     scripts/run-tests-in-namespace.sh <build folder> [ctest arguments...]
# Loopback is the only interface; a private D-Bus system bus and a DNS-SD
# daemon bound to loopback serve the tests that advertise and browse, and a
# desktop session (scripts/test-session.sh) serves the X11 tests. All of it is
# stopped when ctest ends, whatever its outcome. This script is the pid
# namespace's first process: it reaps the orphans of the session (bash reaps
# any child that ends), and when it ends the kernel ends every process left
# in the namespace, so an application a test launched cannot outlive the suite.
set -euo pipefail
build="$1"
shift
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/test-session.sh
source "$root/scripts/test-session.sh"

ip link set lo up
ip link set lo multicast on

# The bus socket and the daemon's pid file live on tmpfs mounts that only this
# mount namespace sees (unshare makes its mounts private), so nothing here
# touches the machine's own bus or daemon.
for dir in /run/dbus /run/avahi-daemon; do
  mkdir -p "$dir"
  mount -t tmpfs -o mode=0755,size=1m tmpfs "$dir"
done

logs="$(cd "$build" && pwd)/namespace-logs"
mkdir -p "$logs"

# The DNS-SD daemon's pid is kept in a file, not a variable: the DNS-SD
# tests restart the daemon (scripts/restart-test-dnssd.sh), and the pid to
# stop at the end is the latest one.
export ZENTRABO_DNSSD_PID_FILE="$logs/avahi-daemon.pid"
export ZENTRABO_DNSSD_LOG="$logs/avahi-daemon.log"
rm -f "$ZENTRABO_DNSSD_PID_FILE" "$ZENTRABO_DNSSD_LOG"

bus_pid=""
stop_daemons() {
  local pid avahi_pid="" index
  if [[ -s "$ZENTRABO_DNSSD_PID_FILE" ]]; then
    avahi_pid=$(<"$ZENTRABO_DNSSD_PID_FILE")
  fi
  local pids=()
  for ((index = ${#test_session_pids[@]} - 1; index >= 0; index--)); do
    pids+=("${test_session_pids[index]}")
  done
  for pid in "${pids[@]}" "$avahi_pid" "$bus_pid"; do
    if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
      kill -TERM "$pid" 2>/dev/null || true
      for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
      done
      kill -KILL "$pid" 2>/dev/null || true
    fi
  done
}
trap stop_daemons EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# --fork returns once the bus listens; --print-pid reports the forked daemon.
bus_pid=$(dbus-daemon --config-file="$root/config/dbus-system.conf" \
                      --fork --print-pid --nosyslog 2>"$logs/dbus-daemon.log")
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=/run/dbus/system_bus_socket"

"$root/scripts/restart-test-dnssd.sh"

start_test_session "$logs"

# The DNS-SD tests fail instead of skipping when they cannot reach the daemon.
export ZENTRABO_REQUIRE_DNSSD=1
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
# libx265 leaks inside itself for every encoder it opens; the project's
# suppression file names that library alone, so a leak of ours still fails
# (the deliberate-leak test shows it).
export LSAN_OPTIONS="suppressions=$root/config/lsan-suppressions.txt:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$build"
ctest --output-on-failure --timeout 600 -j "$(nproc)" "$@"
