#!/usr/bin/env bash
# Runs a command inside a private desktop session and returns its exit code:
# a fresh HOME and XDG directories under one temporary directory, a private
# D-Bus session bus on which nothing is auto-started, a private system bus on
# which nothing runs (tests play logind and NetworkManager there), and an
# unlocked gnome-keyring serving org.freedesktop.secrets. Everything is removed
# afterwards, so the caller's keyring and bus are never touched.
#
#   scripts/with-session.sh ctest --test-dir build --output-on-failure
set -euo pipefail

readonly self="$(readlink -f "${BASH_SOURCE[0]}")"
readonly keyring_wait_seconds=5
# shellcheck source=lib/process.sh
source "$(dirname "$self")/lib/process.sh"
# shellcheck source=lib/bus-config.sh
source "$(dirname "$self")/lib/bus-config.sh"

_system_bus_up() {
    dbus-send --bus="$DBUS_SYSTEM_BUS_ADDRESS" --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.GetId >/dev/null 2>&1
}

_secret_service_up() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
        grep -q 'boolean true'
}

# Second stage, running under dbus-run-session: start the secret service, wait
# for it to own its name, run the command, stop the daemon.
inside_bus() {
    local keyring_log="$CUELARK_SESSION_ROOT/gnome-keyring.log"
    local system_conf="$CUELARK_SESSION_ROOT/system.conf"
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$CUELARK_SESSION_ROOT/system-bus"
    unset CUELARK_SESSION_STAGE CUELARK_SESSION_ROOT
    trap process_stop_all EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM

    process_start dbus-daemon --nofork --nopidfile --config-file="$system_conf"
    if ! process_wait_until --alive "$process_pid" "$keyring_wait_seconds" _system_bus_up; then
        echo "with-session.sh: the private system bus did not come up" >&2
        exit 70
    fi

    # The password only unlocks this throwaway keyring. --unlock reads it from
    # stdin up to end of file, so no trailing newline.
    process_start --stdin gnome-keyring-daemon --foreground --unlock --components=secrets \
        < <(printf '%s' "cuelark-session") >"$keyring_log" 2>&1
    if ! process_wait_until --alive "$process_pid" "$keyring_wait_seconds" _secret_service_up; then
        echo "with-session.sh: gnome-keyring did not come up on the session bus" >&2
        cat "$keyring_log" >&2 || true
        exit 70
    fi

    export CUELARK_TEST_SESSION=1
    local status=0
    "$@" || status=$?
    exit "$status"
}

if [[ "${CUELARK_SESSION_STAGE:-}" == inside-bus ]]; then
    inside_bus "$@"
fi

if (($# == 0)); then
    echo "usage: $0 COMMAND [ARGUMENT...]" >&2
    exit 64
fi

for tool in dbus-run-session dbus-send gnome-keyring-daemon; do
    if ! command -v "$tool" >/dev/null; then
        echo "with-session.sh: $tool is not installed" >&2
        exit 69
    fi
done

root="$(mktemp -d "${TMPDIR:-/tmp}/cuelark-session.XXXXXXXX")"
remove_root() { rm -rf -- "$root"; }
trap remove_root EXIT
# Turn signals into a normal exit so the EXIT trap still cleans up.
trap 'exit 130' INT
trap 'exit 143' TERM

mkdir -p "$root/home" "$root/config" "$root/data" "$root/cache" \
    "$root/runtime" "$root/dbus-services"
chmod 0700 "$root/runtime"

# The standard session config would also search the system's service
# directories and could auto-start a real notification daemon or keyring.
bus_config session "unix:dir=$root/runtime" "$root/dbus-services" >"$root/session.conf"
# The system bus: the same, but its own socket and type.
bus_config system "unix:path=$root/system-bus" "$root/dbus-services" >"$root/system.conf"

export HOME="$root/home"
export XDG_RUNTIME_DIR="$root/runtime"
export XDG_CONFIG_HOME="$root/config"
export XDG_DATA_HOME="$root/data"
export XDG_CACHE_HOME="$root/cache"
# QtKeychain picks KWallet on a KDE desktop; the caller's keyring daemon must
# not be reached either.
unset XDG_CURRENT_DESKTOP GNOME_KEYRING_CONTROL DBUS_SESSION_BUS_ADDRESS
export CUELARK_SESSION_ROOT="$root"

status=0
CUELARK_SESSION_STAGE=inside-bus \
    dbus-run-session --config-file="$root/session.conf" -- "$self" "$@" || status=$?
exit "$status"
