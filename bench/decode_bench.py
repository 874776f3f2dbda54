#!/usr/bin/env python3
"""Throughput of `plimsy-cli decode --summary`, whole process, against a bare
simdjson parse of the same lines (bench_bare_parse) in the same run.

Builds two inputs in a temporary folder: 1,000,000 raw board lines, and a
capture of 1,000,000 lines (the header, then one "rx" entry per board line,
with a command and a local action now and then). Each program runs --runs
times per input (best time counts); the figures are wall-clock seconds of
the whole process, reading the file included. Target: decode within 3x of
the bare parse.

    cmake --preset release && cmake --build --preset release --target plimsy-cli bench_bare_parse
    python3 bench/decode_bench.py [--build build/release] [--lines 1000000] [--runs 3]
"""
import argparse
import json
import math
import os
import subprocess
import sys
import tempfile
import time


def board_lines(n):
    """What boards send, with readings that move from line to line."""
    steps = ["xy", "xv", "yv", "z"]
    kinds = 8
    for i in range(n):
        t = i * 0.05
        h = (i * 7) % 360 + 0.25
        gx, gy, gz = 0.3 * math.sin(t), -0.2 * math.cos(t), 9.78 + 0.01 * (i % 5)
        k = i % kinds
        if k == 0:
            yield ('compass_c={"h":%.1f,"x":%.3f,"y":%.3f,"z":%.3f,"x_raw":%d,"y_raw":%d,"z_raw":%d,'
                   '"x_min":%d,"y_min":%d,"z_min":%d,"x_max":%d,"y_max":%d,"z_max":%d,'
                   '"xv_min":-200,"yv_min":-210,"xv_max":205,"yv_max":198,"z_ang":%d,"c":"%s","e":"%x"}'
                   % (h, gx, gy, gz, 100 + i % 300, -300 + i % 200, 50 - i % 100, -400 - i % 10, -380, -300,
                      410 + i % 10, 395, 320, i % 90, steps[(i // 64) % 4], i % 16))
        elif k == 1:
            yield 'compass={"h":%.1f,"x":%.3f,"y":%.3f,"z":%.3f}' % (h, gx, gy, gz)
        elif k == 2:
            yield 'gravity={"x":%.3f,"y":%.3f,"z":%.3f}' % (gx, gy, gz)
        elif k == 3:
            yield 'gyroscope={"x":%.2f,"y":%.2f,"z":%.2f}' % (10 * math.sin(t), -5 * math.cos(t), h - 180)
        elif k == 4:
            yield ('mpu6050={"ax":%.3f,"ay":%.3f,"az":%.3f,"gx":%.2f,"gy":%.2f,"gz":%.2f}'
                   % (gx / 9.8, gy / 9.8, gz / 9.8, 0.3 * math.sin(t), -0.3, 0.1))
        elif k == 5:
            yield 'hmc5883={"x":%d,"y":%d,"z":%d}' % (200 + i % 50, 140 - i % 30, -310 + i % 7)
        elif k == 6:
            yield 'bh1749={"r":%d,"g":%d,"b":%d,"i":%d}' % (1200 + i % 100, 2300, 900 + i % 13, 40)
        else:
            yield 'bme680={"temp":%.2f,"pressure":%.2f,"humidity":%.1f,"gas":%d}' % (
                21.5 + (i % 10) * 0.01, 1013.2, 41.5, 52000 + i % 100)


def write_inputs(folder, n):
    raw = os.path.join(folder, "board.txt")
    cap = os.path.join(folder, "capture.jsonl")
    with open(raw, "w") as r, open(cap, "w") as c:
        c.write(json.dumps({"capture": 1, "start": "2026-12-07T03:48:07.000Z", "link": "bench",
                            "settings": {}}, separators=(",", ":")) + "\n")
        for i, line in enumerate(board_lines(n)):
            r.write(line + "\n")
            if i == n - 1:
                break  # the header took one of the capture's lines
            t = round(i * 0.004, 3)
            if i % 1000 == 999:
                c.write('{"t":%s,"tx":"C\\n"}\n' % t)
            elif i % 5000 == 2500:
                c.write('{"t":%s,"action":"trace.toggle_hold"}\n' % t)
            else:
                c.write(json.dumps({"t": t, "rx": line + "\n"}, separators=(",", ":")) + "\n")
    return raw, cap


def best_run(cmd, runs):
    best, out = None, None
    for _ in range(runs):
        start = time.perf_counter()
        p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, check=True)
        seconds = time.perf_counter() - start
        if best is None or seconds < best:
            best, out = seconds, p.stdout.strip().splitlines()[-1]
    return best, json.loads(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--build", default=os.path.join(here, "..", "build", "release"))
    ap.add_argument("--lines", type=int, default=1_000_000)
    ap.add_argument("--runs", type=int, default=3)
    a = ap.parse_args()
    cli = os.path.join(a.build, "src", "cli", "plimsy-cli")
    bare = os.path.join(a.build, "bench", "bench_bare_parse")
    for p in (cli, bare):
        if not os.access(p, os.X_OK):
            sys.exit(f"{p} is missing: cmake --build --preset release --target plimsy-cli bench_bare_parse")
    with tempfile.TemporaryDirectory() as folder:
        raw, cap = write_inputs(folder, a.lines)
        print(f"{a.lines:,} lines each; best of {a.runs} runs; wall-clock seconds of the whole process; "
              f"load average {os.getloadavg()[0]:.2f}")
        for label, path, bare_args in (("capture", cap, []), ("raw lines", raw, ["--raw"])):
            d_s, d = best_run([cli, "decode", "--summary", path], a.runs)
            b_s, b = best_run([bare] + bare_args + [path], a.runs)
            print(f"{label:10}  decode --summary {a.lines / d_s:>12,.0f} lines/s ({d_s:.3f} s; "
                  f"{d['lines']:,} lines to the pipeline, its own loop {d['lines_per_second']:,} lines/s)")
            print(f"{'':10}  bare simdjson   {a.lines / b_s:>12,.0f} lines/s ({b_s:.3f} s; "
                  f"{b['parsed']:,} parsed)")
            print(f"{'':10}  decode / bare   {d_s / b_s:>12.2f}x  (target: 3x or less)")


if __name__ == "__main__":
    main()
