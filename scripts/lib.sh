# Shared by the scripts in this directory: sourced, not run.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The names of the installed packages and of what they provide: Debian 13 renamed libraries
# (libgail18 became libgail18t64, which provides the old name), and a name that something
# installed provides needs nothing installed.
installed_names() {
    dpkg-query -W -f='${db:Status-Abbrev}\t${Package}\t${Provides}\n' 2>/dev/null | awk -F '\t' '
        $1 ~ /^ii/ {
            print $2
            n = split($3, provided, /, */)
            for (i = 1; i <= n; i++) { sub(/[ :(].*/, "", provided[i]); print provided[i] }
        }'
}

# Installs those of the named Debian packages that nothing installed is or provides yet; the
# package lists are updated once a run, and only when something is missing.
ensure_packages() {
    local missing=() package installed
    installed=$(installed_names)
    for package in "$@"; do
        grep -qxF "$package" <<<"$installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    [ -n "${lists_updated:-}" ] || as_root apt-get update -qq
    lists_updated=1
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# Generates those of the named locales (language_TERRITORY.UTF-8) that the C library lacks:
# GTK warns on every start in one it lacks, and takes its text direction from it.
ensure_locales() {
    local name
    for name in "$@"; do
        locale -a 2>/dev/null | grep -qix "${name%.UTF-8}.utf8" ||
            as_root localedef -i "${name%.UTF-8}" -f UTF-8 "$name"
    done
}

# DejaVu draws the demo's Latin, Greek, Cyrillic and Hebrew; Droid Sans Fallback its Japanese.
build_packages=(g++ make cmake pkg-config libgtk2.0-dev libarchive-dev libgtest-dev libx11-dev
    fonts-dejavu-core fonts-droid-fallback dpkg)

# clang, its sanitizer and fuzzer runtime and its tools, in the release's default version.
clang_packages=(clang libclang-rt-dev clang-tidy clang-format)

# build_tree DIR [CMAKE OPTIONS...]: configures and builds the project in DIR.
build_tree() {
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINSTALLER_WERROR=ON "$@" \
        >/dev/null
    cmake --build "$dir" -j"$(nproc)" -- --no-print-directory >/dev/null
}

build() { build_tree "$root/build"; }

# Starts a virtual X server on a display it picks itself; sets DISPLAY. stop_xvfb stops
# every one started.
xvfb_pids=()
start_xvfb() {
    local fifo
    fifo=$(mktemp -u) && mkfifo "$fifo"
    # -noreset: a server that resets whenever its last client leaves refuses the next one meanwhile.
    Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    xvfb_pids+=($!)
    read -r -t 10 display <"$fifo"
    rm -f "$fifo"
    [ -n "${display:-}" ] || { echo "Xvfb did not start" >&2 && return 1; }
    export DISPLAY=":$display"
}

# The stop functions run from EXIT traps, where errexit still holds: they must not fail.
stop_xvfb() {
    local pid
    for pid in "${xvfb_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    xvfb_pids=()
}

bus_has() {
    dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

# Brings up the system D-Bus and polkitd, each only when it is not running yet, for the
# tests of the real pkexec; stop_system_bus ends exactly what this started, and removes
# the files the bus leaves behind, which would make later clients try a dead socket.
start_system_bus() {
    started_bus= started_polkitd=
    if ! bus_has org.freedesktop.DBus; then
        as_root mkdir -p /run/dbus && as_root dbus-uuidgen --ensure && as_root rm -f /run/dbus/pid
        started_bus=$(as_root dbus-daemon --system --fork --print-pid) || return 1
    fi
    if ! bus_has org.freedesktop.PolicyKit1; then
        as_root /usr/lib/polkit-1/polkitd --no-debug >/dev/null 2>&1 &
        started_polkitd=$!
    fi
    for _ in $(seq 100); do
        bus_has org.freedesktop.PolicyKit1 && return 0
        sleep 0.1
    done
    echo "polkitd did not come up on the system bus" >&2
}

stop_system_bus() {
    if [ -n "${started_polkitd:-}" ]; then
        as_root kill "$started_polkitd" 2>/dev/null || true
        wait "$started_polkitd" 2>/dev/null || true
    fi
    if [ -n "${started_bus:-}" ]; then
        as_root kill "$started_bus" 2>/dev/null || true
        while as_root kill -0 "$started_bus" 2>/dev/null; do sleep 0.1; done
        as_root rm -f /run/dbus/system_bus_socket /run/dbus/pid
    fi
    started_bus= started_polkitd=
}
