#!/usr/bin/env bash
# Runs a command against a stand-in for bluetoothd: a private D-Bus system
# bus and a python-dbusmock template that owns org.bluez on it. Qt
# Bluetooth in the command finds the bus through DBUS_SYSTEM_BUS_ADDRESS.
# The bus and the stand-in are stopped when the command ends, however it
# ends; the command's exit status is passed on.
#
#   with_standin.sh COMMAND [ARGS...]
set -euo pipefail

# Listing the tests (CTest's discovery) needs no Bluetooth.
for a in "$@"; do
  if [ "$a" = "--gtest_list_tests" ]; then exec "$@"; fi
done

here="$(cd "$(dirname "$0")" && pwd)"
python=/usr/bin/python3   # dbusmock is a Debian package, not a pip one
work="$(mktemp -d "${TMPDIR:-/tmp}/bluez-standin.XXXXXX")"
bus_pid=""
standin_pid=""

stop() {
  # Each started here, each stopped here by its own process id.
  if [ -n "$standin_pid" ]; then kill "$standin_pid" 2>/dev/null || true; wait "$standin_pid" 2>/dev/null || true; fi
  if [ -n "$bus_pid" ]; then kill "$bus_pid" 2>/dev/null || true; wait "$bus_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

dbus-daemon --config-file="$here/bus.conf" --nofork --nopidfile --print-address=3 3>"$work/address" 2>"$work/bus.log" &
bus_pid=$!
for _ in $(seq 1 100); do
  [ -s "$work/address" ] && break
  sleep 0.05
done
address="$(head -n 1 "$work/address")"
if [ -z "$address" ]; then
  echo "with_standin: the private bus did not start" >&2
  exit 1
fi
export DBUS_SYSTEM_BUS_ADDRESS="$address"

"$python" -m dbusmock --system --template "$here/bluez_standin.py" --logfile "$work/standin.log" &
standin_pid=$!
# The stand-in is ready once it owns org.bluez.
for _ in $(seq 1 200); do
  if dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
       string:org.bluez 2>/dev/null | grep -q "boolean true"; then
    ready=1
    break
  fi
  if ! kill -0 "$standin_pid" 2>/dev/null; then break; fi
  sleep 0.05
done
if [ -z "${ready:-}" ]; then
  echo "with_standin: the BlueZ stand-in did not start" >&2
  cat "$work/standin.log" >&2 || true
  exit 1
fi

# Qt uses its D-Bus LE backend only for a bluetoothd it believes is 5.42 or
# newer; there is no bluetoothd to ask.
export BLUETOOTH_FORCE_DBUS_LE_VERSION=5.66
export BLUEZ_STANDIN_LOG="$work/standin.log"
status=0
"$@" || status=$?
if [ "$status" -ne 0 ] && [ -n "${BLUEZ_STANDIN_SHOW_LOG:-}" ]; then cat "$work/standin.log" >&2; fi
exit "$status"
