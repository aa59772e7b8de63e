# Sourced by scripts/test-session.sh: the session's sound server, a
# PulseAudio daemon whose only output is a null sink ("test_output", the
# default), reached through PULSE_SERVER on its native socket in the
# session's runtime folder, without a cookie (anonymous access). It keeps
# its state and runtime files in that folder, so nothing lands in the
# caller's home. It starts in well under a second.

sound_server_answers() {
  [[ -S "$XDG_RUNTIME_DIR/pulse/native" ]] && pactl info
}

# start_test_sound_server <log folder>: appends its pid to test_session_pids.
start_test_sound_server() {
  local logs="$1" folder="$XDG_RUNTIME_DIR/pulse"
  mkdir -m 0700 -p "$folder"
  export PULSE_SERVER="unix:$folder/native"
  HOME="$folder" XDG_CONFIG_HOME="$folder" PULSE_STATE_PATH="$folder" PULSE_RUNTIME_PATH="$folder" \
    pulseaudio --daemonize=no -n --use-pid-file=no --exit-idle-time=-1 --disallow-exit \
               --log-target=stderr \
               --load="module-null-sink sink_name=test_output rate=48000" \
               --load="module-native-protocol-unix auth-anonymous=1 socket=$folder/native" \
               >"$logs/pulseaudio.log" 2>&1 </dev/null &
  test_session_pids+=("$!")
  if ! wait_until 100 sound_server_answers; then
    echo "the sound server did not start (see $logs/pulseaudio.log)" >&2
    return 1
  fi
}
