#!/bin/sh
# Runs a program against a fresh, unlocked gnome-keyring on the current D-Bus session
# (start it under dbus-run-session). Nothing of the user's own keyring or home is touched,
# and the keyring ends with the program, whatever way the program ends.
set -eu
home=$(mktemp -d)
keyring=
cleanup() {
    if [ -n "$keyring" ]; then kill "$keyring" 2>/dev/null || true; wait "$keyring" 2>/dev/null || true; fi
    rm -rf "$home"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache"
export XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_DATA_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
# In the foreground of a background job, so this script knows the one process to end. The
# program waits for the Secret Service to appear on the bus.
printf 'test\n' | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
keyring=$!
"$@"
