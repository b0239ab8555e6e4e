#!/bin/sh
# Runs a command in a D-Bus session of its own with an unlocked gnome-keyring: a real Secret
# Service that is not the user's. The keyring's files go to a folder of their own too, so
# nothing is read from or left in the user's keyrings, and every run starts empty.
keyrings=$(mktemp -d) || exit 1
XDG_DATA_HOME=$keyrings dbus-run-session -- sh -c \
    'printf pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null && exec "$@"' \
    with-keychain "$@"
status=$?
rm -rf "$keyrings"
exit $status
