#!/usr/bin/env python3
"""Throughput of `plimsy-cli replay --summary --max` on a zstd-compressed
capture of 1,000,000 lines, next to `plimsy-cli decode --summary` of the same
board lines as raw text (and of the same capture, for reference), whole
processes, best of --runs.

The inputs are bench/decode_bench.py's: 1,000,000 raw board lines (eight
kinds of message with moving values), and a capture of the same lines (the
header, one "rx" entry per line, a command every 1,000 and an action every
5,000), compressed with the zstd program at level 3 (what a recording uses).

    cmake --preset release && cmake --build --preset release --target plimsy-cli
    python3 bench/replay_bench.py [--build build/release] [--lines 1000000] [--runs 3]
"""
import argparse
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from decode_bench import best_run, write_inputs  # noqa: E402


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--build", default=os.path.join(here, "..", "build", "release"))
    ap.add_argument("--lines", type=int, default=1_000_000)
    ap.add_argument("--runs", type=int, default=3)
    a = ap.parse_args()
    cli = os.path.join(a.build, "src", "cli", "plimsy-cli")
    if not os.access(cli, os.X_OK):
        sys.exit(f"{cli} is missing: cmake --build --preset release --target plimsy-cli")
    with tempfile.TemporaryDirectory() as folder:
        raw, cap = write_inputs(folder, a.lines)
        zst = cap + ".zst"
        subprocess.run(["zstd", "-q", "-3", "-f", cap, "-o", zst], check=True)
        print(f"{a.lines:,} lines; capture {os.path.getsize(cap) / 1e6:.1f} MB, compressed "
              f"{os.path.getsize(zst) / 1e6:.1f} MB; best of {a.runs} runs; wall-clock seconds of the whole "
              f"process; load average {os.getloadavg()[0]:.2f}")
        runs = (("replay --summary --max, compressed capture", [cli, "replay", "--summary", "--max", zst]),
                ("decode --summary, the same capture compressed", [cli, "decode", "--summary", zst]),
                ("decode --summary, the board lines as raw text", [cli, "decode", "--summary", raw]))
        for label, cmd in runs:
            s, out = best_run(cmd, a.runs)
            print(f"{label:48} {a.lines / s:>12,.0f} lines/s ({s:.3f} s; {out['lines']:,} lines to the pipeline)")


if __name__ == "__main__":
    main()
