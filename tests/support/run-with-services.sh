#!/usr/bin/env bash
# Runs a command with the real components the tests talk to:
#   - an X server (Xvfb) on a free display, exported as DISPLAY;
#   - a private D-Bus session bus, exported as DBUS_SESSION_BUS_ADDRESS, with a Secret Service on
#     it (gnome-keyring-daemon, its login keyring unlocked, kept in the run's own folder);
#   - a private sound server, exported as PULSE_SERVER, with two null sinks:
#     "palaverly_speakers" (the default output; its monitor is the system sound) and
#     "palaverly_mic" (its monitor is the default input, a virtual microphone).
# Everything is stopped when the command ends; the command's exit status is returned.
#
# Which sound server: `--sound-server NAME` before the command, or PALAVERLY_SOUND_SERVER=NAME
# (the option wins), NAME being
#   pulseaudio  (the default) a PulseAudio daemon;
#   pipewire    PipeWire with WirePlumber and pipewire-pulse, headless, on a private runtime
#               folder and the private session bus; clients reach it through its pulse server.
# The command sees PALAVERLY_SOUND_SERVER set to the one that runs.
#
# Fault tests kill and restart the sound server through this script while the command runs:
#   "$PALAVERLY_SERVICES_SCRIPT" --sound-server-control kill    # SIGKILL, returns once it is gone
#   "$PALAVERLY_SERVICES_SCRIPT" --sound-server-control start   # same socket, sinks and defaults
# (both read PALAVERLY_SERVICES_DIR, which this script exports to the command).
#
# Usage: run-with-services.sh [--sound-server pulseaudio|pipewire] command [arguments...]
set -uo pipefail

wait_for() { # tries, command...
  local tries=$1; shift
  for _ in $(seq "$tries"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  return 1
}

# The daemons of the sound server run with this environment: a home and runtime folder of their
# own (as root they want both), no display, the private session bus.
set_sound_dir() {
  sound_dir=$1
  sound_env=(env -u DISPLAY -u PULSE_SERVER HOME="$sound_dir/home" XDG_RUNTIME_DIR="$sound_dir/run"
    XDG_CONFIG_HOME="$sound_dir/config" XDG_STATE_HOME="$sound_dir/state")
}

# Starts one daemon in the background, its output in a log and never on the caller's pipes (a
# fault test's control call returns at once), and records its process id for the kill and the
# final cleanup. The subshell execs, so the id is the daemon's own.
spawn_daemon() { # log name, command...
  local log=$1; shift
  (exec "${sound_env[@]}" "$@" </dev/null >>"$sound_dir/$log.log" 2>&1) &
  echo $! >>"$sound_dir/pids"
  disown $! # killed on purpose: no job notice
}

start_pulseaudio() {
  # The socket opens last, so a client that connects (or reconnects after a kill) finds the
  # sinks and the defaults already there, as with a desktop's own start-up script.
  cat >"$sound_dir/pulse.pa" <<EOF
load-module module-null-sink sink_name=palaverly_speakers rate=48000 channels=2
load-module module-null-sink sink_name=palaverly_mic rate=48000 channels=1
set-default-sink palaverly_speakers
set-default-source palaverly_mic.monitor
load-module module-native-protocol-unix socket=$sound_dir/run/native auth-anonymous=1
EOF
  spawn_daemon pulse pulseaudio -n -F "$sound_dir/pulse.pa" --daemonize=no --exit-idle-time=-1 --disallow-exit \
    --use-pid-file=no
}

start_pipewire() {
  local config="$sound_dir/config/pipewire"
  if [ ! -e "$config/pipewire-pulse.conf" ]; then
    mkdir -p "$config/pipewire.conf.d"
    # The two sinks live in the core, so they come back with it after a restart.
    cat >"$config/pipewire.conf.d/palaverly.conf" <<'EOF'
context.objects = [
  { factory = adapter
    args = { factory.name = support.null-audio-sink node.name = "palaverly_speakers"
             node.description = "Palaverly speakers" media.class = Audio/Sink
             audio.rate = 48000 audio.channels = 2 audio.position = [ FL FR ]
             object.linger = true monitor.channel-volumes = true } }
  { factory = adapter
    args = { factory.name = support.null-audio-sink node.name = "palaverly_mic"
             node.description = "Palaverly microphone" media.class = Audio/Sink
             audio.rate = 48000 audio.channels = 1 audio.position = [ MONO ]
             object.linger = true monitor.channel-volumes = true } }
]
EOF
    # The pulse server's own configuration (the Debian package that ships one also turns the
    # server on for every desktop login of the machine; this one is for the tests alone).
    cat >"$config/pipewire-pulse.conf" <<'EOF'
context.spa-libs = {
  audio.convert.* = audioconvert/libspa-audioconvert
  support.* = support/libspa-support
}
context.modules = [
  { name = libpipewire-module-rt args = { nice.level = -11 } flags = [ ifexists nofail ] }
  { name = libpipewire-module-protocol-native }
  { name = libpipewire-module-client-node }
  { name = libpipewire-module-adapter }
  { name = libpipewire-module-metadata }
  { name = libpipewire-module-protocol-pulse }
]
pulse.properties = {
  server.address = [ "unix:native" ]
}
EOF
  fi
  spawn_daemon pipewire pipewire
  # The session manager and the pulse server give up when the core is not there yet.
  if ! wait_for 400 "${sound_env[@]}" pw-cli info 0; then return 1; fi
  spawn_daemon wireplumber wireplumber
  spawn_daemon pipewire-pulse pipewire -c pipewire-pulse.conf
}

# Starts the chosen server, waits until it answers with both sinks, and sets the defaults.
start_sound_server() {
  mkdir -p "$sound_dir/home" "$sound_dir/run" "$sound_dir/state"
  chmod 700 "$sound_dir/run"
  "start_$sound_server" || return 1
  wait_for 400 pactl info || return 1
  # The session manager may come up after the pulse server and pick defaults of its own.
  for _ in $(seq 400); do
    pactl set-default-sink palaverly_speakers >/dev/null 2>&1
    pactl set-default-source palaverly_mic.monitor >/dev/null 2>&1
    local info
    info=$(pactl info 2>/dev/null)
    if grep -q '^Default Sink: palaverly_speakers$' <<<"$info" \
      && grep -q '^Default Source: palaverly_mic.monitor$' <<<"$info"; then
      return 0
    fi
    sleep 0.05
  done
  return 1
}

# SIGKILL to every daemon of the sound server; returns once all are gone.
kill_sound_server() { # signal
  local signal=${1:-KILL} pid state
  [ -f "$sound_dir/pids" ] || return 0
  while read -r pid; do kill "-$signal" "$pid" 2>/dev/null; done <"$sound_dir/pids"
  while read -r pid; do
    for _ in $(seq 100); do
      # A killed child of this shell may linger as a zombie until it is reaped.
      state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)
      [ -z "$state" ] || [ "$state" = Z ] && break
      sleep 0.02
    done
  done <"$sound_dir/pids"
  rm -f "$sound_dir/pids"
}

sound_server_log() {
  cat "$sound_dir"/*.log >&2 2>/dev/null
}

# Control calls from a fault test: act on the services of the run that exported the folder.
if [ "${1:-}" = "--sound-server-control" ]; then
  runtime=${PALAVERLY_SERVICES_DIR:?--sound-server-control runs only under run-with-services.sh}
  set_sound_dir "$runtime/sound"
  sound_server=$(cat "$runtime/sound-server")
  case "${2:-}" in
    kill) kill_sound_server KILL ;;
    start)
      if ! start_sound_server; then
        echo "run-with-services: $sound_server did not start again" >&2; sound_server_log; exit 1
      fi
      ;;
    *) echo "usage: $0 --sound-server-control kill|start" >&2; exit 2 ;;
  esac
  exit 0
fi

sound_server=${PALAVERLY_SOUND_SERVER:-pulseaudio}
if [ "${1:-}" = "--sound-server" ]; then
  sound_server=${2:-}
  shift 2
fi
case "$sound_server" in
  pulseaudio | pipewire) ;;
  *) echo "run-with-services: unknown sound server '$sound_server' (pulseaudio or pipewire)" >&2; exit 2 ;;
esac

runtime=$(mktemp -d /tmp/palaverly-services.XXXXXX)
set_sound_dir "$runtime/sound"
xvfb_pid=""
bus_pid=""
keyring_pid=""
cleanup() {
  kill_sound_server TERM
  [ -n "$keyring_pid" ] && kill "$keyring_pid" 2>/dev/null
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$runtime"
}
trap cleanup EXIT

# X server. Runs started at the same moment may pick the same free display: the one whose Xvfb
# does not own the display's lock file moves on to the next, instead of running its tests on the
# other's server, where their key grabs would meet. -noreset: by default Xvfb resets whenever its
# last client leaves, and a test that connects during the reset is refused.
display=""
for n in $(seq 90 140); do
  if [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; then continue; fi
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp -noreset -ac +extension XTEST +extension RANDR >"$runtime/xvfb.log" 2>&1 &
  xvfb_pid=$!
  if DISPLAY=":$n" wait_for 400 xdpyinfo && [ "$(tr -d ' \n' <"/tmp/.X${n}-lock" 2>/dev/null)" = "$xvfb_pid" ]; then
    display=":$n"
    break
  fi
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=""
done
if [ -z "$display" ]; then
  echo "run-with-services: no X display could be started" >&2; cat "$runtime/xvfb.log" >&2; exit 1
fi
# An X11 session on that server, whatever session the command was started from.
export XDG_SESSION_TYPE=x11
unset WAYLAND_DISPLAY
export DISPLAY="$display"

# Session bus.
dbus-daemon --session --nofork --nopidfile --address="unix:path=$runtime/bus" >"$runtime/dbus.log" 2>&1 &
bus_pid=$!
export DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus"
if ! wait_for 400 dbus-send --session --dest=org.freedesktop.DBus --type=method_call --print-reply \
  /org/freedesktop/DBus org.freedesktop.DBus.GetId; then
  echo "run-with-services: the session bus did not start" >&2; cat "$runtime/dbus.log" >&2; exit 1
fi

# Secret Service: a keyring daemon with an unlocked login keyring of its own.
mkdir -p "$runtime/keyring-home"
printf 'palaverly' | HOME="$runtime/keyring-home" XDG_DATA_HOME="$runtime/keyring-home" \
  XDG_RUNTIME_DIR="$runtime/keyring-home" gnome-keyring-daemon --foreground --unlock --components=secrets \
  --control-directory="$runtime/keyring-home/control" >"$runtime/keyring.log" 2>&1 &
keyring_pid=$!
if ! wait_for 400 dbus-send --session --dest=org.freedesktop.DBus --type=method_call --print-reply \
  /org/freedesktop/DBus org.freedesktop.DBus.GetNameOwner string:org.freedesktop.secrets; then
  echo "run-with-services: the keyring daemon did not start" >&2; cat "$runtime/keyring.log" >&2; exit 1
fi

# Sound server.
echo "$sound_server" >"$runtime/sound-server"
if [ "$sound_server" = pipewire ]; then
  export PULSE_SERVER="unix:$sound_dir/run/pulse/native"
else
  export PULSE_SERVER="unix:$sound_dir/run/native"
fi
if ! start_sound_server; then
  echo "run-with-services: $sound_server did not start" >&2; sound_server_log; exit 1
fi
export PALAVERLY_SOUND_SERVER="$sound_server"
export PALAVERLY_SERVICES_DIR="$runtime"
PALAVERLY_SERVICES_SCRIPT=$(readlink -f "$0")
export PALAVERLY_SERVICES_SCRIPT
export PALAVERLY_TEST_SERVICES=1

"$@"
