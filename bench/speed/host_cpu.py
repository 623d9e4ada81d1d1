#!/usr/bin/env python3
"""CPU per second and frames per second of the saver as a screensaver host runs it (drawing on
the root window, with the frame cap a host run gets by default), after it has settled.

    python3 bench/speed/host_cpu.py [--size 1280x720] [--seconds 30] [--runs 3] [-- saver options]

Saver options after "--" are passed on (for example --max-fps 30 to try another cap). CPU is
read from the kernel's account of the process (all its threads) between the end of the warm-up
and the end of the run; 100 % is one core."""

import argparse
import os
import statistics
import subprocess
import tempfile
import time
from pathlib import Path

import benchlib

WARM_UP = 5  # seconds: loading, the fade and the first tour's start


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def one_run(display, seconds, extra):
    with tempfile.TemporaryDirectory(prefix="bench-hud-") as hud:
        env = benchlib.environment(display, hud)
        command = [str(benchlib.SAVER), "-root", "--tour", "c1"] + benchlib.SAVER_FIXED + extra
        process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            time.sleep(WARM_UP)
            start_cpu, start = cpu_seconds(process.pid), time.monotonic()
            time.sleep(seconds)
            cpu, wall = cpu_seconds(process.pid) - start_cpu, time.monotonic() - start
        finally:
            process.terminate()
            process.wait(timeout=30)
        rates = benchlib.hud_rates(hud, WARM_UP)
    return 100.0 * cpu / wall, statistics.mean(rates[:seconds]) if rates else 0.0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--size", default="1280x720", help="the root window's size")
    parser.add_argument("--seconds", type=int, default=30)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("extra", nargs="*", help="saver options, after --")
    args = parser.parse_args()
    width, height = (int(v) for v in args.size.split("x"))
    cpu, fps = [], []
    with benchlib.Display(width, height) as display:
        for run in range(args.runs):
            c, f = one_run(display, args.seconds, args.extra)
            cpu.append(c)
            fps.append(f)
            print(f"  run {run + 1}: {c:.0f} % CPU, {f:.1f} fps, {c / max(f, 0.1):.2f} % CPU per frame a second",
                  flush=True)
    print(f"CPU per second (% of a core): {benchlib.summary(cpu)}")
    print(f"frames per second: {benchlib.summary(fps)}")


if __name__ == "__main__":
    main()
