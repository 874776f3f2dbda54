#!/usr/bin/env python3
"""Seeds single faults into the processing code and checks that the tests notice.

Each mutant replaces one exact piece of text in one source file (a flipped
sign, a swapped axis, a changed comparison or constant, a deleted call of a
timing rule, ...). For each: apply it, rebuild the logic test programs in
the debug preset, run them, restore the file. A mutant is caught when a
test fails (or a program crashes or hangs); it survives when all pass.
A mutant that does not compile is counted apart.

    python3 scripts/mutants.py                 # all mutants
    python3 scripts/mutants.py --only mpu6050  # those whose file or name contains the text
    python3 scripts/mutants.py --list          # list them, build nothing

The sources are always put back, also on Ctrl-C or a kill; the build
directory is brought back to the unmutated sources at the end. Run it from
a clean worktree after a debug build; it takes a few minutes (run it in the
background with its output in a file).
"""

import argparse
import os
import signal
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "debug")
TARGETS = ["test_orientation", "test_traces", "test_model"]
TEST_TIMEOUT = 120


@dataclass
class mutant:
    file: str  # under src/
    old: str
    new: str
    name: str
    nth: int | None = None  # which occurrence of `old` (from 0), when it is not unique
    equivalent: str = ""  # why no test can tell it from the original


M = mutant
MUTANTS = [
    # Shared helpers.
    M("common/timing.hpp", "anim_time * 40.0 + dt * 20.0", "anim_time * 20.0 + dt * 40.0", "smoothing: weights swapped"),
    M("common/timing.hpp", "change_time = now + lock;", "change_time = now;", "throttle: no lock interval"),
    M("common/angles.hpp", "v = (r == T(0)) ? T(-180) : T(180) + r;", "v = T(180) + r;", "wrap: lower bound exclusive"),

    # compass_t and the heading dial rules.
    M("orientation/compass.cpp", "const double old_degrees = heading * deg_per_rad;", "const double old_degrees = 0;",
      "compass: jump measured from 0"),
    M("orientation/compass.cpp", "heading_anim_step(old_degrees, new_degrees, now, update_date, anim_time, anim_date, anim_limit);",
      "", "compass: no smoothing or jump test"),
    M("orientation/compass.cpp", "update_date = now;", "", "compass: update date never advances"),
    M("orientation/compass.cpp", "if (change_throttle(change_time, now)) will_change();", "will_change();",
      "compass: no throttle"),
    M("orientation/heading.cpp", "std::fabs(new_degrees - old_degrees) > 90.0", "std::fabs(new_degrees - old_degrees) >= 90.0",
      "jump: 90 degrees jumps"),
    M("orientation/heading.cpp", "std::fabs(new_degrees - old_degrees) > 90.0", "new_degrees - old_degrees > 90.0",
      "jump: only upward steps"),
    M("orientation/heading.cpp", "anim_date = now + heading_jump_hold_seconds;", "anim_date = now;", "jump: no hold"),
    M("orientation/heading.cpp", "} else if (now > anim_date) {", "} else if (now >= anim_date) {",
      "jump: hold ends inclusive"),
    M("orientation/heading.cpp", "smooth_anim_time(anim_time, now - update_date, anim_limit);",
      "smooth_anim_time(anim_time, now - anim_date, anim_limit);", "jump: interval from the hold date"),

    # compass_c_t.
    M("orientation/compass_c.cpp", " ||\n               near_limit(r.xv_max) || near_limit(r.yv_max);", ";",
      "compass_c: vertical maxima not checked"),
    M("orientation/compass_c.cpp", "event_tilt = (e & 0xC0u) != 0;", "event_tilt = (e & 0x80u) != 0;",
      "compass_c: xy tilt ignores bit 6"),
    M("orientation/compass_c.cpp", "event_angle = bit(5);", "event_angle = bit(4);", "compass_c: yv angle bit", nth=1),
    M("orientation/compass_c.cpp", "set_calibration(r.c);\n    set_event(parse_event(r.e));",
      "set_event(parse_event(r.e));\n    set_calibration(r.c);", "compass_c: events read for the old step"),
    M("orientation/compass_c.cpp", "smooth_anim_time(anim_time, now - update_date, anim_limit);", "",
      "compass_c: no smoothing"),
    M("orientation/compass_c.cpp", "    update_date = now;\n", "", "compass_c: update date never advances"),
    M("orientation/compass_c.cpp", "if (change_throttle(change_time, now)) will_change();", "will_change();",
      "compass_c: no throttle"),
    M("orientation/compass_c.cpp", "y_min = r.y_min;", "y_min = r.x_min;", "compass_c: y minimum from x"),
    M("orientation/compass_c.cpp", "make(y_raw, y_a, y_min, y_max)", "make(y_raw, y_a, x_min, x_max)",
      "compass_c: y normalised with x range"),
    M("orientation/direction.cpp", "float direction_t::py() const { return clamp01(uy); }",
      "float direction_t::py() const { return clamp01(ux); }", "direction: +y mark from x"),
    M("orientation/axis_values.cpp", "v.centred = correction - v.offset", "v.centred = -correction - v.offset",
      "axis: correction subtracted"),

    # gravity_t and the tilt rules.
    M("orientation/gravity.cpp", "tilt_latch(x, y, z, positive_rax, positive_ray);", "", "gravity: no latch"),
    M("orientation/gravity.cpp", "rax_r = tilt_rax(x, y, z, positive_rax);", "rax_r = tilt_rax(x, y, z, positive_ray);",
      "gravity: x reflection by the y flag"),
    M("orientation/gravity.cpp", "ray_r = tilt_ray(x, y, z, positive_ray);", "ray_r = tilt_ray(y, x, z, positive_ray);",
      "gravity: y angle from swapped axes"),
    M("orientation/gravity.cpp", "smooth_anim_time(anim_time, now - update_date, anim_limit);", "",
      "gravity: no smoothing"),
    M("orientation/gravity.cpp", "update_date = now;", "", "gravity: update date never advances"),
    M("orientation/gravity.cpp", "if (change_throttle(change_time, now)) will_change();", "will_change();",
      "gravity: no throttle"),
    M("orientation/tilt.cpp", "positive_rax = std::fabs(y) <= std::fabs(x);", "positive_rax = std::fabs(y) < std::fabs(x);",
      "tilt: tie goes to y"),
    M("orientation/tilt.cpp", "} else if (positive_rax && positive_ray) {", "} else {", "tilt: latch decides again"),
    M("orientation/tilt.cpp", "return d > 0 ? d - pi : d + pi;", "return d > 0 ? d + pi : d - pi;",
      "tilt: reflection moved the wrong way"),
    M("orientation/tilt.cpp", "std::atan2(-std::fabs(x), std::sqrt(y * y + z * z))",
      "std::atan2(std::fabs(x), std::sqrt(y * y + z * z))", "tilt: x reflection angle sign"),
    M("orientation/tilt.cpp", "std::atan2(-std::fabs(y), std::sqrt(x * x + z * z))",
      "std::atan2(-std::fabs(x), std::sqrt(x * x + z * z))", "tilt: y reflection angle from x"),

    # gyroscope_t.
    M("orientation/gyroscope.cpp", "smooth_anim_time(anim_time, now - update_date, anim_limit);", "",
      "gyroscope: no smoothing"),
    M("orientation/gyroscope.cpp", "update_date = now;", "", "gyroscope: update date never advances"),
    M("orientation/gyroscope.cpp", "if (change_throttle(change_time, now)) will_change();", "will_change();",
      "gyroscope: no throttle"),

    # hmc5883_t (the calibration's persistence is left alone).
    M("orientation/hmc5883.cpp", "if (near_limit(x) || near_limit(y) || near_limit(z))", "if (near_limit(x) || near_limit(y))",
      "hmc5883: z not guarded"),
    M("orientation/hmc5883.cpp", "moved = track(z, z_min, z_max) || moved;", "moved = track(x, z_min, z_max) || moved;",
      "hmc5883: xy tracks x as z"),
    M("orientation/hmc5883.cpp", "moved = track(x, xv_min, xv_max);", "moved = track(x, x_min, x_max);",
      "hmc5883: xv tracks the horizontal pair"),
    M("orientation/hmc5883.cpp", "moved = track(y, yv_min, yv_max);", "moved = track(x, yv_min, yv_max);",
      "hmc5883: yv tracks x"),
    M("orientation/hmc5883.cpp", "moved = track(z, z_min, z_max);", "moved = track(y, z_min, z_max);",
      "hmc5883: z step tracks y"),
    M("orientation/hmc5883.cpp", "    if (v > max) {", "    if (v >= max) {", "hmc5883: equal maximum counts as moved"),
    M("orientation/hmc5883.cpp", "if (!compensate || calibration != calibration_state_t::complete)",
      "if (calibration != calibration_state_t::complete)", "hmc5883: compensate switch ignored"),
    M("orientation/hmc5883.cpp", "x_a = xv_half() * clamp_pm1(static_cast<float>(mpu.gax));",
      "x_a = xv_half() * clamp_pm1(static_cast<float>(mpu.gay));", "hmc5883: x tilt from gay"),
    M("orientation/hmc5883.cpp", "y_a = yv_half() * clamp_pm1(static_cast<float>(mpu.gay));",
      "y_a = -yv_half() * clamp_pm1(static_cast<float>(mpu.gay));", "hmc5883: y tilt sign"),
    M("orientation/hmc5883.cpp", "static_cast<double>(x_n())) + magnetic_declination",
      "static_cast<double>(x_n())) - magnetic_declination", "hmc5883: declination subtracted"),
    M("orientation/hmc5883.cpp", "heading_anim_step(old_degrees, heading() * deg_per_rad, now, update_date, anim_time, anim_date, anim_limit);",
      "", "hmc5883: no smoothing or jump test"),
    M("orientation/hmc5883.cpp", "    update_date = now;\n", "", "hmc5883: update date never advances"),
    M("orientation/hmc5883.cpp", "const double old_degrees = heading() * deg_per_rad;", "const double old_degrees = 0;",
      "hmc5883: jump measured from 0"),

    # hmc5883n_t.
    M("orientation/hmc5883n.cpp", "heading_anim_step(old_degrees, heading() * deg_per_rad, now, update_date, anim_time, anim_date, anim_limit);",
      "", "hmc5883n: no smoothing or jump test"),
    M("orientation/hmc5883n.cpp", "    update_date = now;\n", "", "hmc5883n: update date never advances"),
    M("orientation/hmc5883n.cpp", "const double old_degrees = heading() * deg_per_rad;", "const double old_degrees = 0;",
      "hmc5883n: jump measured from 0"),
    M("orientation/hmc5883n.cpp", "direction_t::of(x, y).py()", "direction_t::of(x, y).px()", "hmc5883n: +y mark from x"),

    # mpu6050_t.
    M("orientation/mpu6050.cpp", "std::max(1.0 - 3.71 * td, 0.5)", "std::max(1.0 - 5.58 * td, 0.5)", "mpu6050: wmax slope"),
    M("orientation/mpu6050.cpp", "(static_cast<double>(std::fabs(rate)) - gmin)", "(static_cast<double>(rate) - gmin)",
      "mpu6050: negative rates weigh least"),
    M("orientation/mpu6050.cpp", "const double wy = gyro_weight(gy,", "const double wy = gyro_weight(gx,",
      "mpu6050: y weight from x rate"),
    M("orientation/mpu6050.cpp", "sgy += gy;", "sgy -= gy;", "mpu6050: y rate sign"),
    M("orientation/mpu6050.cpp", "sgx = (1.0 - wx) * (rax_r * deg_per_rad) + wx * sgx;",
      "sgx = (1.0 - wx) * (ray_r * deg_per_rad) + wx * sgx;", "mpu6050: x filtered toward the y angle"),
    M("orientation/mpu6050.cpp", "gax = std::sin(sgy * -rad_per_deg);", "gax = std::sin(sgy * rad_per_deg);",
      "mpu6050: gax sign flipped"),
    M("orientation/mpu6050.cpp", "gay = std::sin(sgx * rad_per_deg);", "gay = std::sin(sgy * rad_per_deg);",
      "mpu6050: gay from the y angle"),
    M("orientation/mpu6050.cpp", "gaz = std::cos(sgx * rad_per_deg) * std::cos(sgy * rad_per_deg);",
      "gaz = std::cos(sgx * rad_per_deg);", "mpu6050: gaz ignores y"),
    M("orientation/mpu6050.cpp", "smooth_anim_time(anim_time, now - update_date, anim_limit);", "",
      "mpu6050: no smoothing"),
    M("orientation/mpu6050.cpp", "    update_date = now;\n", "", "mpu6050: update date never advances"),
    M("orientation/mpu6050.cpp", "tilt_latch(ax, ay, az, positive_rax, positive_ray);", "", "mpu6050: no latch"),

    # trace_t and the plot.
    M("traces/trace.cpp", "update_time_ = now + update_lock;\n    if (hold_) return false;",
      "if (hold_) return false;\n    update_time_ = now + update_lock;", "trace: held samples do not move update_time"),
    M("traces/trace.cpp", "if (change_throttle(change_time_, now, /*inclusive=*/true, change_lock)) will_change();",
      "will_change();", "trace: no throttle"),
    M("traces/trace.cpp", "/*inclusive=*/true", "/*inclusive=*/false", "trace: throttle strict"),
    M("traces/trace.cpp", "buffers_->gy[slot()] = gravity_scale * y;", "buffers_->gy[slot()] = gravity_scale * x;",
      "trace: heading-gravity y from x", nth=0),
    M("traces/trace.cpp", "buffers_->gz[slot()] = gravity_scale * z;", "buffers_->gz[slot()] = gravity_scale * y;",
      "trace: gravity z from y", nth=1),
    M("traces/trace.cpp", "buffers_->bearing[slot()] = wrap180(b);", "buffers_->bearing[slot()] = wrap180(h);",
      "trace: bearing from heading"),
    M("traces/trace.cpp", "{\"bearing\", &b.bearing, colour_t::red}", "{\"bearing\", &b.heading, colour_t::red}",
      "trace: bearing series shows heading"),
    M("traces/trace.cpp", "if (enable_[i]) view_.add_series", "view_.add_series", "trace: disabled series drawn"),
    M("traces/plot_geometry.cpp", "(next > 0 ? static_cast<std::size_t>(next) : 0) % count_valid", "0",
      "plot: ring start ignored"),
    M("traces/plot_geometry.cpp", "width / static_cast<double>(length)", "width / static_cast<double>(count_valid)",
      "plot: points stretched across the width"),
]

originals: dict[str, str] = {}


def path_of(m: mutant) -> str:
    return os.path.join(ROOT, "src", m.file)


def restore_all() -> None:
    for path, text in originals.items():
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
    originals.clear()


def apply(m: mutant) -> bool:
    path = path_of(m)
    with open(path, encoding="utf-8") as f:
        text = f.read()
    start = -1
    for _ in range((m.nth or 0) + 1):
        start = text.find(m.old, start + 1)
        if start < 0:
            return False
    if m.nth is None and text.find(m.old, start + 1) >= 0:
        return False  # ambiguous: name the occurrence
    originals[path] = text
    with open(path, "w", encoding="utf-8") as f:
        f.write(text[:start] + m.new + text[start + len(m.old):])
    return True


def targets_for(m: mutant | None) -> list[str]:
    # The trace code reaches the trace and model tests, the orientation code
    # the orientation and model tests; a shared header reaches all three.
    if m is not None and m.file.startswith("traces/"):
        return ["test_traces", "test_model"]
    if m is not None and m.file.startswith("orientation/"):
        return ["test_orientation", "test_model"]
    return TARGETS


def build(m: mutant | None = None) -> bool:
    r = subprocess.run(["cmake", "--build", "--preset", "debug", "--target", *targets_for(m)], cwd=ROOT,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return r.returncode == 0


def tests_pass(m: mutant | None = None) -> tuple[bool, str]:
    for t in targets_for(m):
        exe = os.path.join(BUILD, "tests", t)
        try:
            r = subprocess.run([exe, "--gtest_brief=1"], cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               text=True, timeout=TEST_TIMEOUT)
        except subprocess.TimeoutExpired:
            return False, f"{t}: hung"
        if r.returncode != 0:
            failed = [line.split("]", 1)[1].split()[0] for line in r.stdout.splitlines()
                      if line.startswith("[  FAILED  ]") and "." in line]
            return False, f"{t}: " + (", ".join(sorted(set(failed))[:3]) or f"exit {r.returncode}")
    return True, ""


def relink(other: str, target: str, out_dir: str) -> str | None:
    """Links the test objects of another build against this build's mutated core library."""
    cmds = subprocess.run(["ninja", "-C", other, "-t", "commands", f"tests/{target}"], stdout=subprocess.PIPE,
                          text=True, check=True).stdout.strip().splitlines()
    exe = os.path.join(out_dir, target)
    cmd = cmds[-1].replace(" src/libplimsy_core.a ", f" {BUILD}/src/libplimsy_core.a ")
    cmd = cmd.replace(f" -o tests/{target} ", f" -o {exe} ")
    r = subprocess.run(cmd, shell=True, cwd=other, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return exe if r.returncode == 0 else None


def other_tests_pass(other: str, m: mutant, out_dir: str) -> bool:
    for t in targets_for(m):
        exe = relink(other, t, out_dir)
        if exe is None:
            raise RuntimeError(f"cannot relink {t} of {other}")
        try:
            r = subprocess.run([exe, "--gtest_brief=1"], cwd=ROOT, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=TEST_TIMEOUT)
        except subprocess.TimeoutExpired:
            return False
        if r.returncode != 0:
            return False
    return True


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--only", help="run the mutants whose file or name contains this text")
    ap.add_argument("--list", action="store_true", help="list the mutants and stop")
    ap.add_argument("--compare", metavar="BUILD_DIR",
                    help="the debug build of another checkout (say, before a change to the tests): its test "
                         "objects are linked against each mutant of a .cpp file and run as well")
    args = ap.parse_args()
    chosen = [m for m in MUTANTS if not args.only or args.only in m.file or args.only in m.name]
    # A header rebuilds nearly everything: those go last.
    chosen.sort(key=lambda m: m.file.startswith("common/"))
    if args.list:
        for i, m in enumerate(chosen, 1):
            print(f"{i:3} {m.file}: {m.name}")
        return 0

    # A kill restores the sources just as Ctrl-C does.
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))
    os.environ.setdefault("CMAKE_CXX_COMPILER_LAUNCHER", "ccache")
    if not build() or not tests_pass()[0]:
        print("the unmutated build or its tests fail; fix that first", file=sys.stderr)
        return 2

    caught, survived, equivalent, stillborn, broken = [], [], [], [], []
    other_caught, other_survived = [], []
    out_dir = tempfile.mkdtemp(prefix="mutants-")
    started = time.monotonic()
    try:
        for i, m in enumerate(chosen, 1):
            if not apply(m):
                broken.append(m)
                print(f"[{i}/{len(chosen)}] NOT APPLICABLE {m.file}: {m.name}", flush=True)
                continue
            try:
                if not build(m):
                    stillborn.append(m)
                    verdict = "does not compile"
                else:
                    ok, why = tests_pass(m)
                    if not ok:
                        caught.append(m)
                        verdict = "caught by " + why
                    elif m.equivalent:
                        equivalent.append(m)
                        verdict = "survived (equivalent: " + m.equivalent + ")"
                    else:
                        survived.append(m)
                        verdict = "SURVIVED"
                    if args.compare and not m.file.startswith("common/"):
                        # The other build's objects carry their own copies of the
                        # header helpers, so only .cpp mutants compare fairly.
                        other_ok = other_tests_pass(args.compare, m, out_dir)
                        (other_survived if other_ok else other_caught).append(m)
                        verdict += "; other build: " + ("survived" if other_ok else "caught")
            finally:
                restore_all()
            print(f"[{i}/{len(chosen)}] {m.file}: {m.name}: {verdict}", flush=True)
    finally:
        restore_all()
        build()

    if args.compare:
        n = len(other_caught) + len(other_survived)
        print(f"\nother build: {len(other_caught)} of {n} caught ({100.0 * len(other_caught) / max(n, 1):.1f}%) "
              f"among the .cpp mutants; survivors there:")
        for m in other_survived:
            print(f"  {m.file}: {m.name}")
    counted = len(caught) + len(survived)
    print(f"\n{len(caught)} of {counted} caught ({100.0 * len(caught) / max(counted, 1):.1f}%) "
          f"in {time.monotonic() - started:.0f} s; {len(equivalent)} equivalent, {len(stillborn)} do not compile, "
          f"{len(broken)} not applicable")
    for title, group in (("Survivors", survived), ("Equivalent", equivalent), ("Not applicable", broken)):
        if group:
            print(title + ":")
            for m in group:
                print(f"  {m.file}: {m.name}" + (f" ({m.equivalent})" if m.equivalent else ""))
    return 0 if not survived and not broken else 1


if __name__ == "__main__":
    sys.exit(main())
