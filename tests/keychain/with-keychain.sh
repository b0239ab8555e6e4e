#!/bin/sh
# Runs a command in a D-Bus session of its own with an unlocked gnome-keyring: a real Secret
# Service that is not the user's.
exec dbus-run-session -- sh -c \
    'printf pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null && exec "$@"' \
    with-keychain "$@"
