#!/usr/bin/env bash
# Runs a test with a real keyring: started inside the private session bus of dbus-run-session,
# with a login keyring of its own in a temporary home, unlocked, and stopped with the bus.
set -euo pipefail
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -m 0700 "$home/run"
# A home and runtime folder of its own: the user's own keyring, if any, is never touched.
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" \
    XDG_RUNTIME_DIR="$home/run"
# The password given on stdin creates the login keyring, unlocked, as a desktop login would.
printf '%s' tavoren-tests | gnome-keyring-daemon --unlock --components=secrets --daemonize >/dev/null
"$@"
