# Sourced by scripts/run-tests-in-namespace.sh: the desktop session the X11
# tests run against, started once for the whole suite. It holds a session
# D-Bus, an Xvfb display split into two monitors, openbox as the window
# manager and the accessibility bus the applications' trees are read on. Everything lives on tmpfs mounts of the tests' private mount
# namespace, and every process in the private pid namespace, so nothing lands
# in the machine's /tmp and nothing outlives the suite.
#
# The monitors: the screen is 3840 x 2160 (the largest mode, so smaller ones
# can be switched to) split into two halves of 1920 x 2160 side by side:
# "Left" at 0,0 (primary, on Xvfb's one output "screen") and "Right" at
# 1920,0 (no output). Xvfb has one output and one CRTC, so the second monitor
# can only be a monitor without an output.

# shellcheck source=scripts/test-applications.sh
source "$(dirname "${BASH_SOURCE[0]}")/test-applications.sh"
# shellcheck source=scripts/test-sound-server.sh
source "$(dirname "${BASH_SOURCE[0]}")/test-sound-server.sh"
# shellcheck source=scripts/test-gnome-session.sh
source "$(dirname "${BASH_SOURCE[0]}")/test-gnome-session.sh"

# The session's pids in the order they started; they are stopped in reverse.
test_session_pids=()

# Waits, at most the given tenths of a second, until the command succeeds.
wait_until() {
  local tenths="$1"
  shift
  for _ in $(seq "$tenths"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  "$@" >/dev/null 2>&1
}

accessibility_bus_answers() {
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress
}

window_manager_is_running() {
  xprop -root -notype _NET_SUPPORTING_WM_CHECK | grep -q 'window id'
}

# start_test_session <log folder>
start_test_session() {
  local logs="$1" display=""
  # What the session's clients look for in /run/user and /tmp/.X11-unix goes
  # on mounts that only this namespace sees. The compiled keymaps Xvfb writes
  # to /var/lib/xkb get one too, so two suites running at once on the same
  # machine never read each other's keymap file.
  mkdir -p /run/user /tmp/.X11-unix /var/lib/xkb
  mount -t tmpfs -o mode=0755,size=1m tmpfs /run/user
  mount -t tmpfs -o mode=1777,size=1m tmpfs /tmp/.X11-unix
  mount -t tmpfs -o mode=0755,size=4m tmpfs /var/lib/xkb

  export XDG_RUNTIME_DIR="/run/user/$(id -u)"
  mkdir -m 0700 "$XDG_RUNTIME_DIR"

  # The suite's own display and bus only: a DISPLAY or Wayland socket of the
  # caller's desktop must not decide which desktop the tests control.
  unset DISPLAY WAYLAND_DISPLAY XAUTHORITY

  export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
  test_session_pids+=("$(dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" \
                                     --fork --print-pid --nosyslog 2>"$logs/dbus-session.log")")

  # -displayfd writes the display number once the server accepts clients.
  # -noreset keeps the monitors and modes set below when the last client
  # goes (an X server otherwise resets itself then).
  local ready="$XDG_RUNTIME_DIR/xvfb-ready"
  mkfifo "$ready"
  Xvfb -displayfd 3 -nolock -noreset -nolisten tcp -screen 0 3840x2160x24 +extension RANDR \
       3>"$ready" 2>"$logs/xvfb.log" </dev/null &
  test_session_pids+=("$!")
  if ! read -r -t 10 display <"$ready" || [[ -z "$display" ]]; then
    echo "Xvfb did not start (see $logs/xvfb.log)" >&2
    return 1
  fi
  rm -f "$ready"
  export DISPLAY=":$display"

  # "*" makes Left the primary monitor.
  xrandr --setmonitor '*Left' 1920/508x2160/571+0+0 screen >/dev/null
  xrandr --setmonitor Right 1920/508x2160/571+1920+0 none >/dev/null

  # Debian's configuration, not the caller's; its log (cache folder) lands
  # beside the others.
  XDG_CACHE_HOME="$logs" openbox --sm-disable --config-file /etc/xdg/openbox/rc.xml \
    >"$logs/openbox.log" 2>&1 </dev/null &
  test_session_pids+=("$!")
  if ! wait_until 100 window_manager_is_running; then
    echo "openbox did not start managing windows (see $logs/openbox.log)" >&2
    return 1
  fi

  # The accessibility bus, at once rather than on the first application's
  # request, so every GTK application of the session joins it. Its socket
  # goes under XDG_RUNTIME_DIR.
  # Its switch (org.a11y.Status.IsEnabled, which the server reads as its
  # accessibility trust) starts on and is kept in a settings file of the
  # runtime tmpfs, so tests that turn it never write the machine's settings.
  local a11y_config="$XDG_RUNTIME_DIR/at-spi-config"
  mkdir -p "$a11y_config/glib-2.0/settings"
  printf '[org/gnome/desktop/interface]\ntoolkit-accessibility=true\n' >"$a11y_config/glib-2.0/settings/keyfile"
  GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME="$a11y_config" \
    /usr/libexec/at-spi-bus-launcher --launch-immediately >"$logs/at-spi.log" 2>&1 </dev/null &
  test_session_pids+=("$!")
  if ! wait_until 100 accessibility_bus_answers; then
    echo "the accessibility bus did not start (see $logs/at-spi.log)" >&2
    return 1
  fi

  start_test_sound_server "$logs" || return 1

  # Only the X11 tests turn this into DISPLAY; every other test keeps the
  # virtual desktop. They fail, not skip, when the session is missing.
  install_test_applications "$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  export ZENTRABO_TEST_X11_DISPLAY="$DISPLAY"
  export ZENTRABO_REQUIRE_X11=1
  unset DISPLAY

  # After the test applications' entries, so the shell finds their desktop
  # file IDs too.
  start_test_gnome_session "$logs" || return 1
}
