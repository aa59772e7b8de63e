# Sourced by scripts/test-session.sh: the GNOME Wayland session the GNOME
# tests run against, started once for the whole suite beside the X11 one
# (a gnome-shell costs about a second of CPU to start and little while idle;
# several at once, one a test program, would cost a two-core CI dearly). It
# has buses, a runtime folder and a home of its own, so nothing of it meets
# the X11 session: a session bus, PipeWire with WirePlumber and
# pipewire-pulse, the accessibility bus and a headless gnome-shell with one
# virtual monitor of 1920 x 1080, our shell extension enabled before it
# starts and the tests' own extension (tests/fixtures/gnome_shell_test_extension),
# which leaves the overview and turns on unsafe mode for the witnesses. The
# private system bus of the namespace script serves it (gnome-shell's start
# fails without one); /run/systemd stays visible, or WirePlumber exits and
# no video stream ever links.

gnome_session_folder=/run/zentrabo-gnome

# Runs a command with the GNOME session's environment.
in_gnome_session() {
  env -u DISPLAY -u PULSE_SERVER \
    HOME="$gnome_session_folder/home" \
    XDG_CONFIG_HOME="$gnome_session_folder/home/.config" \
    XDG_DATA_HOME="$gnome_session_folder/home/.local/share" \
    XDG_CACHE_HOME="$gnome_session_folder/home/.cache" \
    XDG_RUNTIME_DIR="$gnome_session_folder/runtime" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$gnome_session_folder/runtime/bus" \
    XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME \
    "$@"
}

pipewire_session_manager_runs() {
  in_gnome_session pw-dump | grep -q '"application.name": "WirePlumber"'
}

gnome_screencast_answers() {
  in_gnome_session gdbus introspect --session --dest org.gnome.Mutter.ScreenCast \
    --object-path /org/gnome/Mutter/ScreenCast
}

gnome_shell_extension_answers() {
  in_gnome_session gdbus call --session --dest org.zentrabo.Shell.Windows \
    --object-path /org/zentrabo/Shell/Windows --method org.zentrabo.Shell.Windows.GetFocusedWindow
}

# A value of the shell's own environment, asked through unsafe mode:
# mutter picks its XWayland display after the lock files in the machine's
# /tmp, so it is not always :0.
gnome_shell_variable() {
  in_gnome_session gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.gnome.Shell.Eval "imports.gi.GLib.getenv('$1')" | sed -n "s/^(true, '\"\(.*\)\"')\$/\1/p"
}

# start_test_gnome_session <log folder>: appends its pids to test_session_pids.
start_test_gnome_session() {
  local logs="$1" root extensions runtime="$gnome_session_folder/runtime"
  # A suite run requires the session from here on: should it fail to start,
  # its tests fail rather than skip (they skip only in a test program run
  # by hand, without this script).
  export ZENTRABO_REQUIRE_GNOME=1
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  mkdir -p "$gnome_session_folder"
  mount -t tmpfs -o mode=0755,size=64m tmpfs "$gnome_session_folder"
  mkdir -m 0700 "$runtime"
  mkdir -p "$gnome_session_folder/home/.config" "$gnome_session_folder/home/.cache"

  extensions="$gnome_session_folder/home/.local/share/gnome-shell/extensions"
  mkdir -p "$extensions"
  cp -r "$root/data/gnome-shell/extension" "$extensions/window-control@zentrabo.org"
  cp -r "$root/tests/fixtures/gnome_shell_test_extension" "$extensions/test-session@tests.zentrabo.org"

  test_session_pids+=("$(in_gnome_session dbus-daemon --session --address="unix:path=$runtime/bus" \
                                          --fork --print-pid --nosyslog 2>"$logs/gnome-dbus-session.log")")

  in_gnome_session gsettings set org.gnome.shell enabled-extensions \
    "['window-control@zentrabo.org', 'test-session@tests.zentrabo.org']"
  in_gnome_session gsettings set org.gnome.shell welcome-dialog-last-shown-version '999'
  # The accessibility switch (org.a11y.Status.IsEnabled, the server's
  # accessibility trust) starts on, as in the X11 test session.
  in_gnome_session gsettings set org.gnome.desktop.interface toolkit-accessibility true

  # Each connects to PipeWire, which must listen first; WirePlumber exits
  # at once when it cannot connect.
  in_gnome_session pipewire >"$logs/gnome-pipewire.log" 2>&1 </dev/null &
  test_session_pids+=("$!")
  if ! wait_until 100 test -S "$runtime/pipewire-0"; then
    echo "PipeWire did not start (see $logs/gnome-pipewire.log)" >&2
    return 1
  fi
  local program
  for program in wireplumber pipewire-pulse; do
    in_gnome_session "$program" >"$logs/gnome-$program.log" 2>&1 </dev/null &
    test_session_pids+=("$!")
  done
  if ! wait_until 100 pipewire_session_manager_runs; then
    echo "WirePlumber did not start (see $logs/gnome-wireplumber.log)" >&2
    return 1
  fi
  in_gnome_session /usr/libexec/at-spi-bus-launcher --launch-immediately \
    >"$logs/gnome-at-spi.log" 2>&1 </dev/null &
  test_session_pids+=("$!")

  # The shell gets a /tmp of its own: mutter writes its XWayland display's
  # lock files there (and a killed shell would leave them in the machine's
  # /tmp), while its X sockets land in the suite's socket folder, bound into
  # it, where the tests' X clients find them.
  mkdir -p "$gnome_session_folder/x11-unix"
  mount --bind /tmp/.X11-unix "$gnome_session_folder/x11-unix"
  in_gnome_session unshare --mount sh -c 'mount -t tmpfs -o mode=1777,size=4m tmpfs /tmp &&
      mkdir -m 1777 /tmp/.X11-unix && mount --bind "$0" /tmp/.X11-unix && exec "$@"' \
    "$gnome_session_folder/x11-unix" gnome-shell --headless --wayland --wayland-display wayland-0 \
    --virtual-monitor 1920x1080 >"$logs/gnome-shell.log" 2>&1 </dev/null &
  test_session_pids+=("$!")
  if ! wait_until 300 gnome_screencast_answers; then
    echo "gnome-shell did not start (see $logs/gnome-shell.log)" >&2
    return 1
  fi
  if ! wait_until 100 gnome_shell_extension_answers; then
    echo "the shell extension did not start (see $logs/gnome-shell.log)" >&2
    return 1
  fi
  in_gnome_session dbus-update-activation-environment WAYLAND_DISPLAY=wayland-0 \
    XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland

  local xwayland xauthority
  xwayland="$(gnome_shell_variable DISPLAY)"
  xauthority="$(gnome_shell_variable XAUTHORITY)"
  if [[ -z "$xwayland" || -z "$xauthority" ]]; then
    echo "the shell names no XWayland display (see $logs/gnome-shell.log)" >&2
    return 1
  fi

  # Tests take the session's environment from these (tests/support/gnome_session.hpp).
  export ZENTRABO_TEST_GNOME_FOLDER="$gnome_session_folder"
  export ZENTRABO_TEST_GNOME_WAYLAND_DISPLAY=wayland-0
  export ZENTRABO_TEST_GNOME_X11_DISPLAY="$xwayland"
  export ZENTRABO_TEST_GNOME_XAUTHORITY="$xauthority"
}
