#!/usr/bin/env bash
# Starts or stops a private JACK server (dummy driver) and the device emulator for the
# integration tests. Usage: jack-emulator.sh start|stop SERVER CONTROL EMULATOR STATE_DIR [RATE]
# RATE is the server's rate (default 44100), or "pipewire": no server of our own, the
# emulator runs on PipeWire's JACK interface (pw-jack; the PipeWire fixture's environment).
# EMULATOR "-": the server alone.
set -u
action="$1" server="$2" control="$3" emulator="$4" dir="$5" rate="${6:-44100}"
pids="$dir/jack-emulator.pids"
mkdir -p "$dir"

stop() {
    if [ -f "$pids" ]; then
        # Emulator first, then the server; only the processes this script started.
        for pid in $(tac "$pids"); do
            kill "$pid" 2>/dev/null
            for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
            kill -9 "$pid" 2>/dev/null
            for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        done
        rm -f "$pids"
    fi
}

if [ "$action" = stop ]; then
    stop
    exit 0
fi

stop # a run that was cut short may have left its processes
if [ "$rate" = pipewire ]; then
    pw-jack "$emulator" --control "$control" --no-stdin >"$dir/emulator.log" 2>&1 </dev/null &
    echo $! >"$pids"
    for _ in $(seq 100); do
        if pw-jack jack_lsp 2>/dev/null | grep -q "KVRN"; then
            echo "the emulator is up on PipeWire's JACK interface"
            exit 0
        fi
        sleep 0.1
    done
    echo "the emulator did not come up:"; cat "$dir/emulator.log"; stop; exit 1
fi
export JACK_DEFAULT_SERVER="$server" JACK_NO_AUDIO_RESERVATION=1
# shellcheck source=jackregistry.sh
. "$(dirname "$0")/jackregistry.sh"
start_server() {
    jackd --no-realtime --sync --timeout 10000 -n "$server" -d dummy -r "$rate" -p 512 \
        >"$dir/jackd.log" 2>&1 </dev/null 9>&- &
    echo $! >"$pids"
    jack_wait -s "$server" -w -t 10 >/dev/null 2>&1
}
if ! with_jack_lock start_server; then
    echo "jackd did not start:"; cat "$dir/jackd.log"; stop; exit 1
fi
[ "$emulator" = - ] && exit 0
"$emulator" --control "$control" --no-stdin >"$dir/emulator.log" 2>&1 </dev/null &
echo $! >>"$pids"
for _ in $(seq 100); do
    if jack_lsp -s "$server" 2>/dev/null | grep -q "KVRN"; then
        echo "JACK server $server and the emulator are up"
        exit 0
    fi
    sleep 0.1
done
echo "the emulator did not come up:"; cat "$dir/emulator.log"; stop; exit 1
