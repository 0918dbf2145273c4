#!/usr/bin/env bash
# Starts or stops a private JACK server with the dummy driver for the audio tests.
# Usage: jackfixture.sh start|stop NAME PIDFILE
exec "$(dirname "$0")/jack-emulator.sh" "$1" "$2" - - "${3%.pid}.jack"
