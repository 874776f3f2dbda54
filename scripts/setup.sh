#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test, fuzz and
# benchmark. Safe to run any number of times: apt-get skips what is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libsimdjson-dev libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-declarative-dev qt6-connectivity-dev qt6-sensors-dev qt6-shadertools-dev
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-shapes qml6-module-qtquick-window qml6-module-qtquick-templates
  qml6-module-qtqml-workerscript qml6-module-qttest
  qml6-module-qtquick-dialogs qml6-module-qt-labs-folderlistmodel
  clang libclang-rt-14-dev
  python3
  # a private D-Bus bus and a stand-in for bluetoothd, for tests/bluez
  dbus-daemon dbus-bin python3-dbus python3-dbusmock
  # a virtual display for the interface-under-load benchmark
  xvfb
  # compressed captures, boards on a cable, pseudo-terminals standing in for them
  libzstd-dev qt6-serialport-dev socat
  # MQTT: the client library, a real broker for the tests, its command-line
  # clients, certificates for TLS tests, passwords in the desktop keyring
  libmosquitto-dev mosquitto mosquitto-clients openssl qtkeychain-qt6-dev
  # the Debian package and its checks
  dpkg-dev file lintian appstream
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages are installed"
  exit 0
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
