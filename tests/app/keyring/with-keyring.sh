#!/bin/sh
# Runs a program against a fresh, unlocked gnome-keyring on the current D-Bus session
# (start it under dbus-run-session). Nothing of the user's own keyring or home is touched.
set -eu
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache"
export XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_DATA_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
printf 'test\n' | gnome-keyring-daemon --daemonize --unlock --components=secrets >/dev/null
"$@"
