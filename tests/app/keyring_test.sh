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
support="$(cd "$(dirname "$0")/../support" && pwd)"
timeout -k 5 120 dbus-run-session -- bash -c '
    . "$1/start_keyring.sh"
    "$0" --gtest_filter=PasswordKeeperTest.AKeyringKeepsThePasswordForTheNextRun
' "$binary" "$support"
