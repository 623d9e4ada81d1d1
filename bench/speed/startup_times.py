#!/usr/bin/env python3
"""How soon the saver shows something: the loading picture's first present, the start of its
fade, and the room's first frame, in seconds from the start of the process, with the main
thread's CPU time up to the room's first frame; medians over several starts.

    python3 bench/speed/startup_times.py [--runs 7] [--size 1280x720] [--compare OTHER_BINARY]

With --compare the two binaries start in A B B A order and each line shows both. Every present
is timed from outside by a small library loaded ahead of the saver (swap_clock.c)."""

import argparse
import os
import statistics
import subprocess
import tempfile
import time
from pathlib import Path

import benchlib

FADE_SECONDS = 0.2  # the loading picture's fade-out, drawn before the room


def swap_clock_library():
    out = Path(tempfile.gettempdir()) / f"brassmoor-swap-clock-{os.getuid()}.so"
    source = Path(__file__).with_name("swap_clock.c")
    if not out.exists() or out.stat().st_mtime < source.stat().st_mtime:
        subprocess.run(["cc", "-O2", "-shared", "-fPIC", "-o", str(out), str(source), "-ldl"], check=True)
    return out


def one_start(binary, size, display, library):
    env = benchlib.environment(display)
    env["LD_PRELOAD"] = str(library)
    # Sound and music stay on, written to a file so that they load even where no sound device
    # opens: their loading is part of the start.
    audio = Path(env["XDG_CONFIG_HOME"]) / "sound.wav"
    command = [str(binary), "--window", size, "--frames", "20", "--max-fps", "0", "--tour", "c1", "--seed", "1",
               "--time", "10:10:00", "--audio-out", str(audio)]
    start = time.monotonic()
    done = subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=120)
    swaps = []
    for line in done.stderr.decode(errors="replace").splitlines():
        if line.startswith("swap-clock "):
            wall, cpu = (float(v) for v in line.split()[1:3])
            swaps.append((wall - start, cpu))
    if len(swaps) < 3:
        raise SystemExit(f"{binary}: too few frames to time the start")
    loading = swaps[0][0]
    # The scene loads between the loading picture and its fade: the longest pause.
    gaps = [swaps[i + 1][0] - swaps[i][0] for i in range(len(swaps) - 1)]
    fade_index = 1 + gaps.index(max(gaps))
    fade = swaps[fade_index][0]
    room = next((s for s in swaps[fade_index:] if s[0] >= fade + FADE_SECONDS), swaps[-1])
    return loading, fade, room[0], room[1], swaps[fade_index][1]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--size", default="1280x720")
    parser.add_argument("--compare", help="another saver binary, started in A B B A order with this one")
    args = parser.parse_args()
    library = swap_clock_library()
    binaries = [benchlib.SAVER] + ([Path(args.compare)] if args.compare else [])
    results = {b: [] for b in binaries}
    with benchlib.Display() as display:
        one_start(binaries[0], args.size, display, library)  # a first start warms the file cache
        for run in range(args.runs):
            order = binaries if run % 2 == 0 else list(reversed(binaries))
            for binary in order:
                results[binary].append(one_start(binary, args.size, display, library))
            print(f"  start {run + 1}: " + "; ".join(
                f"{b.parent.parent.parent.name}/{b.name}: loading {results[b][-1][0]:.3f} s, room {results[b][-1][2]:.3f} s"
                for b in binaries), flush=True)
    print(f"{args.size}, load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores at the end")
    # The fade draws as many frames as its fixed time allows, so the CPU up to the room's first
    # frame grows with the speed of the drawing; the CPU up to the fade is the start's alone.
    names = ("loading picture", "fade begins", "room's first frame", "main-thread CPU to it", "main-thread CPU to the fade")
    for binary in binaries:
        print(f"{binary}:")
        for i, name in enumerate(names):
            print(f"  {name}: {benchlib.summary([r[i] for r in results[binary]])} s")


if __name__ == "__main__":
    main()
