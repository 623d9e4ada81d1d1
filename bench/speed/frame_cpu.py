#!/usr/bin/env python3
"""Where the saver's main thread spends its CPU per frame in a real run: in the project's own
code (the saver binary), in the GL driver on the main thread, and in the rasteriser's threads;
sampled by perf once a millisecond of CPU, after the start, and divided by the frames shown.

    python3 bench/speed/frame_cpu.py [--size 1280x720] [--seconds 15] [--view c1] [--runs 3] [--yardstick]

--yardstick measures the yardstick (the room drawn with nothing in the way) the same way after
each run of the saver, so that the driver's share on the main thread can be set beside its own.

Needs perf (linux-perf) and permission to sample one's own processes."""

import argparse
import collections
import subprocess
import tempfile
from pathlib import Path

import benchlib

WARM_UP = 4  # seconds not sampled: loading, the fade, the first frames


def one_run(display, command, seconds):
    with tempfile.TemporaryDirectory(prefix="bench-perf-") as scratch:
        data = Path(scratch) / "perf.data"
        env = benchlib.environment(display, scratch)
        subprocess.run(["perf", "record", "-q", "-o", str(data), "-e", "cpu-clock", "-c", "1000000",
                        "-D", str(WARM_UP * 1000), "--"] + command, env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=4 * (seconds + WARM_UP) + 60)
        rates = benchlib.hud_rates(scratch, WARM_UP)
        script = subprocess.run(["perf", "script", "-i", str(data), "-F", "comm,ip,dso"], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL).stdout.decode(errors="replace")
    frames = sum(rates[:seconds])
    ms = collections.Counter()
    program = Path(command[0]).name
    main_thread = program[:15]
    for line in script.splitlines():
        # "comm ip (dso)"
        parts = line.split()
        if len(parts) < 3 or not parts[-1].startswith("("):
            continue
        comm, dso = parts[0], parts[-1].strip("()")
        if comm != main_thread:
            ms["rasteriser threads"] += 1
        elif Path(dso).name == program:
            ms["own code"] += 1
        elif "dri" in dso or "GL" in dso or "LLVM" in dso or "JIT" in line:
            ms["driver on the main thread"] += 1
        else:
            ms["other on the main thread"] += 1
    return frames, ms


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--size", default="1280x720")
    parser.add_argument("--seconds", type=int, default=15)
    parser.add_argument("--view", default="c1")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--yardstick", action="store_true")
    args = parser.parse_args()
    kinds = ("own code", "driver on the main thread", "other on the main thread", "rasteriser threads")
    programs = {"saver": [str(benchlib.SAVER), "--window", args.size, "--seconds", str(args.seconds + WARM_UP),
                          "--max-fps", "0", "--tour", args.view] + benchlib.SAVER_FIXED}
    if args.yardstick:
        programs["yardstick"] = benchlib.yardstick() + ["--size", args.size, "--seconds", str(args.seconds + WARM_UP)]
    per_frame = {(name, k): [] for name in programs for k in kinds}
    with benchlib.Display() as display:
        for run in range(args.runs):
            for name, command in programs.items():
                frames, ms = one_run(display, command, args.seconds)
                if frames <= 0:
                    raise SystemExit(f"{name}: no frames counted")
                for k in kinds:
                    per_frame[(name, k)].append(ms[k] / frames)
                print(f"  run {run + 1}, {name}: {frames:.0f} frames; " +
                      ", ".join(f"{k} {ms[k] / frames:.2f} ms" for k in kinds), flush=True)
    for name in programs:
        for k in kinds:
            print(f"{name}, {k}, ms of CPU per frame: {benchlib.summary(per_frame[(name, k)])}")


if __name__ == "__main__":
    main()
