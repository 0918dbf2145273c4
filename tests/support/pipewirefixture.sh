#!/usr/bin/env bash
# Starts or stops a private PipeWire server as a desktop runs it: pipewire, wireplumber and
# pipewire-pulse on a session bus of their own (dbus-daemon --session), in a private runtime
# folder, with a null sink "varno_null" as the default output and a virtual microphone
# "varno_mic". The default source stays the null sink's monitor, as on a machine whose only
# source is an output's monitor plus a capture device the server did not pick.
# Clients find it through XDG_RUNTIME_DIR=DIR/run and DBUS_SESSION_BUS_ADDRESS=unix:path=DIR/run/bus.
# Usage: pipewirefixture.sh start|stop DIR
set -u
cmd="$1" dir="$2"
pids="$dir/pids"

stop() {
    [ -f "$pids" ] || return 0
    # Only the processes started here: all asked at once, the stragglers killed after 3 s.
    local list
    list="$(cat "$pids")"
    # shellcheck disable=SC2086
    kill $list 2>/dev/null
    for _ in $(seq 30); do
        local alive=0 pid
        for pid in $list; do kill -0 "$pid" 2>/dev/null && alive=1; done
        [ $alive = 0 ] && break
        sleep 0.1
    done
    # shellcheck disable=SC2086
    kill -9 $list 2>/dev/null
    rm -f "$pids"
}

if [ "$cmd" = stop ]; then
    stop
    rm -rf "$dir/run"
    exit 0
fi
[ "$cmd" = start ] || { echo "usage: $0 start|stop DIR"; exit 2; }

stop # a run that was cut short may have left its processes
rm -rf "$dir/run"
mkdir -p "$dir/run" "$dir/state" "$dir/config"
chmod 700 "$dir/run"
export XDG_RUNTIME_DIR="$dir/run" XDG_STATE_HOME="$dir/state" XDG_CONFIG_HOME="$dir/config"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/run/bus"
unset PULSE_SERVER PIPEWIRE_REMOTE JACK_DEFAULT_SERVER

dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --nofork --nopidfile \
    >"$dir/dbus.log" 2>&1 </dev/null &
echo $! >"$pids"
for _ in $(seq 50); do [ -S "$dir/run/bus" ] && break; sleep 0.1; done
for daemon in pipewire wireplumber pipewire-pulse; do
    "$daemon" >"$dir/$daemon.log" 2>&1 </dev/null &
    echo $! >>"$pids"
    [ "$daemon" = pipewire ] && for _ in $(seq 50); do [ -S "$dir/run/pipewire-0" ] && break; sleep 0.1; done
done

fail() {
    echo "PipeWire did not come up: $*"
    tail -n 20 "$dir"/*.log
    stop
    exit 1
}
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || fail "pipewire-pulse does not answer"
pactl load-module module-null-sink sink_name=varno_null \
    sink_properties=device.description=VARNO-Test-Output >/dev/null || fail "no null sink"
pactl load-module module-null-sink media.class=Audio/Source/Virtual sink_name=varno_mic \
    sink_properties=device.description=VARNO-Test-Microphone >/dev/null || fail "no microphone"
# wireplumber follows the defaults set through pipewire-pulse.
for _ in $(seq 50); do
    pactl set-default-sink varno_null 2>/dev/null
    pactl set-default-source varno_null.monitor 2>/dev/null
    [ "$(pactl get-default-sink 2>/dev/null)" = varno_null ] &&
        [ "$(pactl get-default-source 2>/dev/null)" = varno_null.monitor ] && break
    sleep 0.1
done
[ "$(pactl get-default-sink)" = varno_null ] || fail "the null sink is not the default"
echo "PipeWire is up in $dir: $(pactl info | grep 'Server Name')"
