# Sourced inside a D-Bus session of a test's own: starts gnome-keyring's secret service,
# unlocked with a throwaway password, and waits for it on the bus. Its files go to
# $XDG_DATA_HOME; it is ended when the sourcing shell exits.
printf "throwaway" | gnome-keyring-daemon --foreground --unlock --components=secrets \
    >/dev/null 2>&1 &
keyring_pid=$!
trap 'kill $keyring_pid 2>/dev/null; wait $keyring_pid 2>/dev/null' EXIT
for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null \
        | grep -q "boolean true" && break
    sleep 0.1
done
