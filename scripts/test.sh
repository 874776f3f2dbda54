#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the whole suite
# under AddressSanitizer + UndefinedBehaviorSanitizer, the transport tests
# under ThreadSanitizer, a minute of each fuzz target, a build of the
# benchmarks so they cannot rot, a short run of the four-series plot window,
# and the Debian package built and checked. Exits non-zero on the first
# failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

export CTEST_OUTPUT_ON_FAILURE=1
export QT_QPA_PLATFORM=offscreen

echo "== asan-ubsan: every test"
cmake --preset asan-ubsan >/dev/null
cmake --build --preset asan-ubsan
ctest --preset asan-ubsan

echo "== tsan: transport, session and MQTT tests"
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target test_transport test_platform test_session test_mqtt test_capture
# setarch -R: ThreadSanitizer in clang/gcc of this era trips over high ASLR entropy.
TSAN_OPTIONS="halt_on_error=1" setarch "$(uname -m)" -R ctest --preset tsan -L 'transport|platform|session|mqtt|capture'

echo "== fuzz targets and benchmarks build"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

echo "== fuzz targets: a minute each from their corpora"
# New inputs go to a scratch directory listed first, so the corpus in the
# repository is only read. A finding fails the run; its input is kept in
# build/fuzz/findings/ to be fixed and then added to the corpus.
findings="$PWD/build/fuzz/findings"
mkdir -p "$findings"
for target in line_reassembler pipeline capture_reader mqtt_watch; do
  scratch="$(mktemp -d "${TMPDIR:-/tmp}/fuzz_$target.XXXXXX")"
  status=0
  "./build/fuzz/fuzz/fuzz_$target" -max_total_time=60 -print_final_stats=1 -artifact_prefix="$findings/$target-" \
    "$scratch" "fuzz/corpus/fuzz_$target" >"$scratch.log" 2>&1 || status=$?
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec)|DONE' "$scratch.log" || true
  rm -rf "$scratch"
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$scratch.log" >&2
    echo "fuzz_$target found a fault; its input is in $findings" >&2
    rm -f "$scratch.log"
    exit 1
  fi
  rm -f "$scratch.log"
done

cmake --preset release >/dev/null
cmake --build --preset release

echo "== the four-series plot window draws frames"
# The interface-under-load script depends on it; a short run keeps it honest.
stats=$(./build/release/bench/bench_plot_window --seconds 4 2>/dev/null | grep '^{')
echo "$stats"
if ! grep -q '"frames":[1-9]' <<<"$stats" || ! grep -q '"plot_rebuilds":[1-9]' <<<"$stats"; then
  echo "bench_plot_window drew no frames" >&2
  exit 1
fi

echo "== the Debian package: contents, lintian, AppStream, man pages, the programs from the package"
# From the release build above; the check extracts the package into an empty
# folder and runs both programs from there.
rm -f build/release/plimsy-sensors_*.deb
(cd build/release && cpack -G DEB)
bash tests/package/check_package.sh build/release/plimsy-sensors_*.deb
