#!/usr/bin/env bash
# Starts the tests' DNS-SD daemon, or restarts it: stops the daemon whose pid
# is in $ZENTRABO_DNSSD_PID_FILE (if any), starts a new one on the project's
# configuration, writes its pid there and returns once it serves. Only inside
# the tests' private namespace (scripts/run-tests-in-namespace.sh sets the
# variables and the private bus); the DNS-SD tests use it to restart the daemon.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
: "${ZENTRABO_DNSSD_PID_FILE:?set by scripts/run-tests-in-namespace.sh}"
: "${ZENTRABO_DNSSD_LOG:?set by scripts/run-tests-in-namespace.sh}"
: "${DBUS_SYSTEM_BUS_ADDRESS:?set by scripts/run-tests-in-namespace.sh}"

# How long the daemon may take to stop, and to come up.
readonly stop_limit_seconds=5
readonly startup_limit_seconds=30

if [[ -s "$ZENTRABO_DNSSD_PID_FILE" ]]; then
  old_pid=$(<"$ZENTRABO_DNSSD_PID_FILE")
  if kill -0 "$old_pid" 2>/dev/null; then
    kill -TERM "$old_pid" 2>/dev/null || true
    for _ in $(seq $((stop_limit_seconds * 10))); do
      kill -0 "$old_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$old_pid" 2>/dev/null || true
  fi
fi

avahi-daemon --no-drop-root --no-chroot --no-rlimits -f "$root/config/avahi-daemon.conf" \
             >>"$ZENTRABO_DNSSD_LOG" 2>&1 &
pid=$!
echo "$pid" >"$ZENTRABO_DNSSD_PID_FILE"

# The daemon is ready once it has claimed its host name on loopback: its
# server state is then 2 (running).
for _ in $(seq $((startup_limit_seconds * 10))); do
  if ! kill -0 "$pid" 2>/dev/null; then
    break
  fi
  state=$(timeout 2 dbus-send --system --print-reply=literal --dest=org.freedesktop.Avahi / \
                    org.freedesktop.Avahi.Server.GetState 2>/dev/null || true)
  if [[ "$state" =~ int32[[:space:]]+2 ]]; then
    exit 0
  fi
  sleep 0.1
done
echo "The DNS-SD daemon did not become ready; its log follows." >&2
cat "$ZENTRABO_DNSSD_LOG" >&2 || true
exit 1
