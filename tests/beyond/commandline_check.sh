#!/usr/bin/env bash
# The program's command line: --version and --help answer without a display, an unknown
# option is refused, and --data-dir puts the data folder (presets and settings) where it says.
# Usage: commandline_check.sh PROGRAM VERSION
set -uo pipefail
program="$1" version="$2"
work="$(mktemp -d)"
trap 'kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
pid=""
fail() { echo "FAIL: $*" >&2; exit 1; }

out="$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$program" --version)" || fail "--version failed"
[ "$out" = "varno-control $version" ] || fail "--version said '$out'"
out="$(env -u DISPLAY "$program" --help)" || fail "--help failed"
for word in --help --version --data-dir; do
    grep -q -- "$word" <<<"$out" || fail "--help does not mention $word"
done
"$program" --no-such-option >/dev/null 2>&1
[ $? -eq 2 ] || fail "an unknown option was not refused"
"$program" --data-dir >/dev/null 2>&1
[ $? -eq 2 ] || fail "--data-dir without a folder was not refused"

# Started offscreen with a data folder of its own (and a standard one that must stay empty).
data="$work/my data"
XDG_DATA_HOME="$work/standard" JACK_NO_START_SERVER=1 QT_QPA_PLATFORM=offscreen \
    "$program" --data-dir "$data" -platform offscreen >"$work/log" 2>&1 &
pid=$!
for _ in $(seq 100); do
    [ -f "$data/sounds/Flute.kvi" ] && break
    kill -0 "$pid" 2>/dev/null || { cat "$work/log"; fail "the program ended"; }
    sleep 0.1
done
[ -f "$data/sounds/Flute.kvi" ] || { cat "$work/log"; fail "no presets in the chosen data folder"; }
[ -z "$(find "$work/standard" -type f 2>/dev/null)" ] || fail "the standard data folder was written"
kill "$pid"
wait "$pid"
echo "command line: version, help, unknown options and --data-dir as expected"
