#!/usr/bin/env bash
# Runs the keyring test of the password keeper inside a session bus of its own with
# gnome-keyring's secret service, unlocked with a throwaway password, in a temporary home.
set -euo pipefail
binary=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
export XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen MERGIX_TEST_KEYRING=1
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
timeout -k 5 120 dbus-run-session -- bash -c '
    printf "throwaway" | gnome-keyring-daemon --foreground --unlock --components=secrets \
        >/dev/null 2>&1 &
    daemon=$!
    trap "kill $daemon 2>/dev/null; wait $daemon 2>/dev/null" EXIT
    for _ in $(seq 100); do
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null \
            | grep -q "boolean true" && break
        sleep 0.1
    done
    "$0" --gtest_filter=PasswordKeeperTest.AKeyringKeepsThePasswordForTheNextRun
' "$binary"
