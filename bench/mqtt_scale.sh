#!/usr/bin/env bash
# Many boards through one local Mosquitto to one watcher: starts a broker on
# 127.0.0.1 (a free port, anonymous, no persistence), a watcher subscribed to
# plimsy/+/raw, then BOARDS gateways in one process publishing RATE lines per
# second each for SECONDS; prints the figures of both sides and the broker's
# CPU.
# usage: bench/mqtt_scale.sh [BUILD_DIR (build/release)] [BOARDS (100)] [RATE (50)] [SECONDS (30)]
set -euo pipefail
build=${1:-build/release}
boards=${2:-100}
rate=${3:-50}
seconds=${4:-30}
bench="$build/bench/bench_mqtt_scale"
[ -x "$bench" ] || { echo "build it first: cmake --build --preset release --target bench_mqtt_scale" >&2; exit 2; }

dir=$(mktemp -d "${TMPDIR:-/tmp}/mqtt_scale.XXXXXX")
broker=
cleanup() {
  [ -n "$broker" ] && kill "$broker" 2>/dev/null && wait "$broker" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
{
  [ "$(id -u)" = 0 ] && echo "user root"
  echo "listener $port 127.0.0.1"
  echo "allow_anonymous true"
  echo "persistence false"
  echo "max_queued_messages 100000"
  echo "max_inflight_messages 1000"
} > "$dir/mosquitto.conf"
/usr/sbin/mosquitto -c "$dir/mosquitto.conf" > "$dir/broker.log" 2>&1 &
broker=$!
for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.05; done

ticks() { awk '{ print $14 + $15 }' "/proc/$broker/stat"; }
url="mqtt://127.0.0.1:$port"
"$bench" watcher --url "$url" --boards "$boards" --seconds $((seconds + 15)) > "$dir/watcher.json" &
watcher=$!
sleep 1
before=$(ticks)
"$bench" gateways --url "$url" --boards "$boards" --rate "$rate" --seconds "$seconds" > "$dir/gateways.json"
after=$(ticks)
wait "$watcher"
cat "$dir/gateways.json" "$dir/watcher.json"
python3 - "$dir/gateways.json" "$dir/watcher.json" "$((after - before))" "$(getconf CLK_TCK)" "$seconds" <<'PY'
import json, sys
g = json.load(open(sys.argv[1])); w = json.load(open(sys.argv[2]))
ticks, hz, seconds = int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5])
print(json.dumps({"lines_sent": g["lines_sent"], "lines_received": w["lines_received"],
                  "lines_lost": g["lines_sent"] - w["lines_received"],
                  "broker_cpu_percent_of_a_core": round(100.0 * ticks / hz / (seconds + 2), 1)}))
PY
