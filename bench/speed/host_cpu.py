#!/usr/bin/env python3
"""CPU per second and frames per second of the saver as a screensaver host runs it (drawing on
the root window, with the frame cap a host run gets by default), next to one of the host's
classic OpenGL hacks at its default delay on the same screen, after each has settled.

    python3 bench/speed/host_cpu.py [--size 1280x720] [--seconds 30] [--runs 3]
                                    [--hack gears] [--caps default,20,15] [-- saver options]

`--caps` lists the frame caps to try: "default" runs the saver as a host would (no --max-fps),
a number passes --max-fps. Every cap and the hack take turns in A B B A order; each line of the
result is the median over the runs with its range. CPU is read from the kernel's account of
the process (all its threads) between the end of the warm-up and the end of the run; 100 % is
one core. `--hack none` leaves the hack out. Saver options after "--" are passed on."""

import argparse
import os
import statistics
import subprocess
import tempfile
import time
from pathlib import Path

import benchlib

WARM_UP = 5  # seconds: loading, the fade and the first tour's start
HACKS = Path("/usr/libexec/xscreensaver")


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def one_run(display, command, seconds):
    """CPU % of a core and mean frames per second of `command` over `seconds` after the warm-up."""
    with tempfile.TemporaryDirectory(prefix="bench-hud-") as hud:
        env = benchlib.environment(display, hud)
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


def programs(caps, hack, extra):
    """(label, command) for every cap of the saver and the hack."""
    saver = [str(benchlib.SAVER), "-root", "--tour", "c1"] + benchlib.SAVER_FIXED + extra
    out = []
    for cap in caps:
        if cap == "default":
            out.append(("brassmoor -root (the host's default cap)", saver))
        else:
            out.append((f"brassmoor -root --max-fps {cap}", saver + ["--max-fps", cap]))
    if hack != "none":
        executable = HACKS / hack
        if not os.access(executable, os.X_OK):
            raise SystemExit(f"{executable} is missing (Debian's xscreensaver-gl)")
        out.append((f"{hack} -root (its default delay)", [str(executable), "-root"]))
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--size", default="1280x720", help="the root window's size")
    parser.add_argument("--seconds", type=int, default=30)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--hack", default="gears", help="a GL hack of the host, or none")
    parser.add_argument("--caps", default="default", help="comma-separated: default and/or frame caps")
    parser.add_argument("extra", nargs="*", help="saver options, after --")
    args = parser.parse_args()
    width, height = (int(v) for v in args.size.split("x"))
    entries = programs(args.caps.split(","), args.hack, args.extra)
    results = {label: [] for label, _ in entries}
    load = [os.getloadavg()[0]]
    with benchlib.Display(width, height) as display:
        for run in range(args.runs):
            order = entries if run % 2 == 0 else list(reversed(entries))
            for label, command in order:
                results[label].append(one_run(display, command, args.seconds))
                c, f = results[label][-1]
                print(f"  run {run + 1}, {label}: {c:.0f} % CPU, {f:.1f} fps", flush=True)
            load.append(os.getloadavg()[0])
    print(f"{args.size}, {args.seconds} s a run, load average {min(load):.1f}..{max(load):.1f} on "
          f"{os.cpu_count()} cores (100 % is one core):")
    for label, values in results.items():
        cpu = [v[0] for v in values]
        fps = [v[1] for v in values]
        per_frame = [c * 10 / max(f, 0.1) for c, f in values]  # ms of CPU per frame shown
        print(f"  {label}:\n    CPU {benchlib.summary(cpu)} %\n    frames/s {benchlib.summary(fps)}\n"
              f"    CPU per frame {benchlib.summary(per_frame)} ms")


if __name__ == "__main__":
    main()
