#!/bin/sh
# Usage: system_bus.sh start|stop STATE_FILE
# start: brings up the system D-Bus and polkitd, each only when it is not running yet,
#        and writes the ids of the processes it started to STATE_FILE.
# stop:  ends exactly the processes listed in STATE_FILE.
set -u
state=$2

bus_has() {
    dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

wait_for() {
    for _ in $(seq 100); do
        "$@" && return 0
        sleep 0.1
    done
    echo "system_bus.sh: gave up waiting for: $*" >&2
    return 1
}

case $1 in
start)
    : > "$state"
    if ! bus_has org.freedesktop.DBus; then
        mkdir -p /run/dbus
        dbus-uuidgen --ensure
        # A pid file left by a bus that is gone would make the new one refuse to start.
        rm -f /run/dbus/pid
        dbus-daemon --system --fork --print-pid >> "$state" || exit 1
        wait_for bus_has org.freedesktop.DBus || exit 1
    fi
    if ! bus_has org.freedesktop.PolicyKit1; then
        /usr/lib/polkit-1/polkitd --no-debug > /dev/null 2>&1 &
        echo $! >> "$state"
        wait_for bus_has org.freedesktop.PolicyKit1 || exit 1
    fi
    ;;
stop)
    # polkitd first: it was started on the bus listed before it.
    for pid in $(tac "$state" 2>/dev/null); do
        kill "$pid" 2>/dev/null
    done
    rm -f "$state"
    ;;
esac
