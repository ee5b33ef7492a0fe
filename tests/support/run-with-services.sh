#!/usr/bin/env bash
# Runs a command with the real components the tests talk to:
#   - an X server (Xvfb) on a free display, exported as DISPLAY;
#   - a private D-Bus session bus, exported as DBUS_SESSION_BUS_ADDRESS;
#   - a private PulseAudio daemon, exported as PULSE_SERVER, with two null sinks:
#     "palaverly_speakers" (the default output; its monitor is the system sound) and
#     "palaverly_mic" (its monitor is the default input, a virtual microphone).
# Both are stopped when the command ends; the command's exit status is returned.
set -uo pipefail

runtime=$(mktemp -d /tmp/palaverly-services.XXXXXX)
xvfb_pid=""
pulse_pid=""
bus_pid=""
cleanup() {
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$runtime"
}
trap cleanup EXIT

wait_for() { # tries, command...
  local tries=$1; shift
  for _ in $(seq "$tries"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  return 1
}

# X server.
display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then display=":$n"; break; fi
done
if [ -z "$display" ]; then echo "run-with-services: no free X display" >&2; exit 1; fi
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp -ac +extension XTEST +extension RANDR >"$runtime/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
if ! wait_for 100 xdpyinfo; then
  echo "run-with-services: Xvfb did not start" >&2; cat "$runtime/xvfb.log" >&2; exit 1
fi

# Session bus.
dbus-daemon --session --nofork --nopidfile --address="unix:path=$runtime/bus" >"$runtime/dbus.log" 2>&1 &
bus_pid=$!
export DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus"
if ! wait_for 100 dbus-send --session --dest=org.freedesktop.DBus --type=method_call --print-reply \
  /org/freedesktop/DBus org.freedesktop.DBus.GetId; then
  echo "run-with-services: the session bus did not start" >&2; cat "$runtime/dbus.log" >&2; exit 1
fi

# Sound server (as root it needs its own runtime folder and an anonymous socket).
mkdir -p "$runtime/pulse-home"
export PULSE_SERVER="unix:$runtime/pulse-native"
HOME="$runtime/pulse-home" XDG_RUNTIME_DIR="$runtime/pulse-home" \
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
  --log-target=file:"$runtime/pulse.log" \
  -L "module-native-protocol-unix socket=$runtime/pulse-native auth-anonymous=1" \
  -L "module-null-sink sink_name=palaverly_speakers rate=48000 channels=2" \
  -L "module-null-sink sink_name=palaverly_mic rate=48000 channels=1" &
pulse_pid=$!
if ! wait_for 150 pactl info; then
  echo "run-with-services: PulseAudio did not start" >&2; cat "$runtime/pulse.log" >&2; exit 1
fi
pactl set-default-sink palaverly_speakers
pactl set-default-source palaverly_mic.monitor
export PALAVERLY_TEST_SERVICES=1

"$@"
