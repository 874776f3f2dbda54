#!/usr/bin/env bash
# Writes one PNG of the window per simulated board kind into
# docs/screenshots/ (KIND.png, tablet landscape), plus a portrait tablet
# view of the compass-and-gravity board (compass_gravity_portrait.png), a
# phone (360 px wide) view of it (compass_gravity_phone.png) and a full HD
# desktop view of the gyroscope board (gyroscope_full_hd.png), and the
# toolbar while recording (recording.png) and replaying (replay.png).
#
# usage: scripts/screenshots.sh [BUILD_DIR]
#   BUILD_DIR  a build tree holding src/plimsy_sensors; default build/release,
#              else build/debug
#
# The window is drawn on Qt's offscreen platform, so no display is needed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-}
if [ -z "$build" ]; then
  for d in build/release build/debug; do
    if [ -x "$root/$d/src/plimsy_sensors" ]; then build=$root/$d; break; fi
  done
fi
app=${build:+$build/src/plimsy_sensors}
if [ -z "$app" ] || [ ! -x "$app" ]; then
  echo "screenshots: no plimsy_sensors in ${build:-build/release or build/debug}; build it first" >&2
  exit 1
fi

out=$root/docs/screenshots
mkdir -p "$out"
export QT_QPA_PLATFORM=offscreen

landscape=1180x820
portrait=820x1180
phone=360x760
full_hd=1920x1080
failed=()

# shot KIND SIZE FILE SECONDS [more options]
shot() {
  local kind=$1 size=$2 file=$3 seconds=$4
  shift 4
  if "$app" --simulate --board "$kind" --size "$size" --seconds "$seconds" --screenshot "$out/$file" "$@" \
      >/dev/null 2>"$out/.$file.log"; then
    rm -f "$out/.$file.log"
    echo "screenshots: $file"
  else
    echo "screenshots: $file FAILED:" >&2
    cat "$out/.$file.log" >&2
    rm -f "$out/.$file.log"
    failed+=("$file")
  fi
}

for kind in hmc5883 hmc5883n gavrin3 plimsy91 gravity compass compass_bearing compass_gravity; do
  # A few seconds: connected, the first readings in and the gauges settled.
  shot "$kind" "$landscape" "$kind.png" 4
done
# The traces plot spans 2000 samples: at 200 lines a second it is full after
# ten seconds and shows the board's slow drift as well as the noise.
shot gyroscope "$landscape" gyroscope.png 11 --rate 200
shot compass_gravity "$portrait" compass_gravity_portrait.png 4
shot compass_gravity "$phone" compass_gravity_phone.png 4
shot gavrin3 "$phone" gavrin3_phone.png 4
shot gyroscope "$full_hd" gyroscope_full_hd.png 11 --rate 200

# Recording and replay: the magnetometer board recorded for six seconds
# (the toolbar's red dot, time and size), then that recording replayed (the
# replay bar, three seconds in). The recording goes to a private data
# folder, never the user's recordings.
recordings=$(mktemp -d)
trap 'rm -rf "$recordings"' EXIT
XDG_DATA_HOME=$recordings shot hmc5883 "$landscape" recording.png 6 --record
capture=$(find "$recordings" -name '*.plimsy.jsonl.zst' | head -1)
if [ -n "$capture" ]; then
  shot hmc5883 "$landscape" replay.png 3.5 "$capture"
else
  echo "screenshots: recording.png left no recording to replay" >&2
  failed+=(replay.png)
fi

if [ ${#failed[@]} -gt 0 ]; then
  echo "screenshots: ${#failed[@]} failed: ${failed[*]}" >&2
  exit 1
fi
echo "screenshots: written to ${out#"$root"/}"
