# Sourced by the JACK test fixtures.
#
# JACK keeps the servers of a machine in a shared registry of eight entries and reclaims the
# entry of a dead server only when a server of the same name starts again. Servers that were
# killed or crashed under other names fill it until "Too many servers already active". Before
# starting a server, entries whose process is no longer a jackd are cleared. The registry
# layout is JACK 2's (Debian 12: 1.9.21); anything else is left alone.
reclaim_jack_registry() {
    local reg=/dev/shm/jack-shm-registry k off pid magic
    [ -f "$reg" ] || return 0
    magic=$(head -c 4 "$reg")
    [ "$magic" = "KCAJ" ] || return 0
    for k in 0 1 2 3 4 5 6 7; do
        off=$((24 + k * 264))
        pid=$(od -An -t d4 -j "$off" -N 4 "$reg" | tr -d ' ')
        [ -n "$pid" ] && [ "$pid" -gt 0 ] || continue
        [ "$(dd if="$reg" bs=1 skip=$((off + 4)) count=5 2>/dev/null)" = "jack-" ] || continue
        if [ "$(cat "/proc/$pid/comm" 2>/dev/null)" != "jackd" ]; then
            dd if=/dev/zero of="$reg" bs=1 seek="$off" count=264 conv=notrunc 2>/dev/null
        fi
    done
}

# Runs "$@" (the start of a server) while holding a machine-wide lock, after reclaiming dead
# registry entries, so two fixtures starting at once do not race for the registry. Processes
# started inside must not inherit the lock: start them with 9>&-.
with_jack_lock() {
    local lock=/tmp/varno-jack-fixture.lock
    (
        flock -w 60 9 || true
        reclaim_jack_registry
        "$@"
    ) 9>"$lock"
}
