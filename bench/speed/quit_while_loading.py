#!/usr/bin/env python3
"""How long a quit takes while the room is still loading: SIGTERM is sent a little after the
load has begun (the trace says so), and the time to the process's end is reported, median over
several starts.

    python3 bench/speed/quit_while_loading.py [--runs 5] [--after 0.1] [--compare OTHER_BINARY]

With --compare the two binaries start in A B B A order."""

import argparse
import os
import signal
import subprocess
import tempfile
import time
from pathlib import Path

import benchlib


def one_quit(binary, display, after):
    env = benchlib.environment(display)
    audio = Path(env["XDG_CONFIG_HOME"]) / "sound.wav"
    with tempfile.NamedTemporaryFile(prefix="quit-trace-") as trace:
        process = subprocess.Popen([str(binary), "--window", "640x360", "--verbose", "--audio-out", str(audio)],
                                   env=env, stdout=subprocess.DEVNULL, stderr=trace)
        deadline = time.monotonic() + 60
        while b"oadCustom started" not in Path(trace.name).read_bytes():  # the scene's load begins
            if process.poll() is not None or time.monotonic() > deadline:
                process.kill()
                raise SystemExit(f"{binary}: the load never began")
            time.sleep(0.005)
        time.sleep(after)
        sent = time.monotonic()
        process.send_signal(signal.SIGTERM)
        code = process.wait(timeout=60)
        took = time.monotonic() - sent
    if code != 1:
        raise SystemExit(f"{binary}: a quit while loading ended with exit code {code}, not 1")
    return took


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--after", type=float, default=0.1, help="seconds into the load at which to quit")
    parser.add_argument("--compare", help="another saver binary, started in A B B A order with this one")
    args = parser.parse_args()
    binaries = [benchlib.SAVER] + ([Path(args.compare)] if args.compare else [])
    results = {b: [] for b in binaries}
    with benchlib.Display() as display:
        for run in range(args.runs):
            for binary in binaries if run % 2 == 0 else list(reversed(binaries)):
                results[binary].append(one_quit(binary, display, args.after))
    print(f"load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores at the end")
    for binary in binaries:
        print(f"{binary}: quit to exit {benchlib.summary(results[binary])} s")


if __name__ == "__main__":
    main()
