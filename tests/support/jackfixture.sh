#!/usr/bin/env bash
# Starts or stops a private JACK server with the dummy driver for the audio tests.
# Usage: jackfixture.sh start|stop NAME PIDFILE
set -u
cmd="$1"
name="$2"
pidfile="$3"
log="${pidfile%.pid}.log"

stop_server() {
    [ -f "$pidfile" ] || return 0
    local pid
    pid="$(cat "$pidfile")"
    kill "$pid" 2>/dev/null
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null
    rm -f "$pidfile"
}

# shellcheck source=jackregistry.sh
. "$(dirname "$0")/jackregistry.sh"

start_server() {
    jackd --no-realtime --sync --timeout 10000 -n "$name" -d dummy -r 44100 -p 512 \
        </dev/null >"$log" 2>&1 9>&- &
    echo $! >"$pidfile"
    for _ in $(seq 100); do
        if JACK_DEFAULT_SERVER="$name" JACK_NO_START_SERVER=1 jack_lsp >/dev/null 2>&1; then
            return 0
        fi
        if ! kill -0 "$(cat "$pidfile")" 2>/dev/null; then
            break
        fi
        sleep 0.1
    done
    return 1
}

case "$cmd" in
start)
    stop_server
    with_jack_lock start_server && exit 0
    echo "jackd did not start:"
    cat "$log"
    stop_server
    exit 1
    ;;
stop)
    stop_server
    exit 0
    ;;
*)
    echo "usage: $0 start|stop NAME PIDFILE"
    exit 2
    ;;
esac
