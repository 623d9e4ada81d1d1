#!/usr/bin/env python3
"""The saver's peak resident size over a run with its sound on (written to a WAV file, so that
it loads and plays where no sound card opens): the kernel's high-water mark (VmHWM) and what
the resident set holds at the end, anonymous and file-backed, sampled once a second; and, from
the last sample's mappings, how much of the file-backed part is the GL driver's code (the
software rasteriser and its compiler), the saver's own executable and the other libraries.

    python3 bench/speed/peak_memory.py [--seconds 180] [--size 1280x720] [--runs 1] [--compare OTHER]

With --compare the two binaries run in A B B A order and each line shows both."""

import argparse
import os
import subprocess
import tempfile
import time
from pathlib import Path

import benchlib


def status(pid):
    fields = {}
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        key, _, value = line.partition(":")
        if value.strip().endswith("kB"):
            fields[key] = int(value.split()[0]) / 1024
    return fields


DRIVER_CODE = ("libLLVM", "_dri.so", "libGL", "libglapi", "libgallium")


def file_backed_parts(pid, program):
    """MiB resident per kind of file mapping: the GL driver's code, the program, other files."""
    parts = {"driver": 0.0, "program": 0.0, "other": 0.0}
    name = None
    for line in Path(f"/proc/{pid}/smaps").read_text().splitlines():
        fields = line.split()
        if fields and "-" in fields[0] and len(fields) >= 5 and ":" in fields[3]:
            name = fields[5] if len(fields) > 5 and fields[5].startswith("/") else None
        elif name and line.startswith(("Rss:", "Anonymous:")):
            kind = ("program" if Path(name).name == program else
                    "driver" if any(part in name for part in DRIVER_CODE) else "other")
            # A file mapping's written pages (relocations) count as anonymous memory.
            parts[kind] += (1 if line.startswith("Rss:") else -1) * int(fields[1]) / 1024
    return parts


def one_run(binary, size, seconds, display):
    env = benchlib.environment(display)
    with tempfile.TemporaryDirectory(prefix="bench-memory-") as scratch:
        command = [str(Path(binary).resolve()), "--window", size, "--seconds", str(seconds), "--tour", "c1", "--seed", "1",
                   "--time", "10:10:00", "--audio-out", str(Path(scratch) / "sound.wav")]
        # Started away from the sources: a "media" folder in the working directory would be read
        # from disk instead of the archive built into the program, as an installed saver is.
        process = subprocess.Popen(command, env=env, cwd=scratch, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        last = {}
        parts = {}
        try:
            while process.poll() is None:
                try:
                    now = status(process.pid)
                except (FileNotFoundError, ProcessLookupError):
                    break
                # A process that has ended but not been waited for reports no memory at all.
                if "VmHWM" in now:
                    last = now
                    try:
                        parts = file_backed_parts(process.pid, Path(binary).name)
                    except (FileNotFoundError, ProcessLookupError):
                        pass
                time.sleep(1)
        finally:
            if process.poll() is None:
                process.terminate()
            process.wait(timeout=60)
    return last.get("VmHWM", 0), last.get("RssAnon", 0), last.get("RssFile", 0), parts


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seconds", type=int, default=180)
    parser.add_argument("--size", default="1280x720")
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--compare", help="another saver binary, run in A B B A order with this one")
    args = parser.parse_args()
    binaries = [benchlib.SAVER] + ([Path(args.compare)] if args.compare else [])
    results = {b: [] for b in binaries}
    load = [os.getloadavg()[0]]
    with benchlib.Display() as display:
        for run in range(args.runs):
            order = binaries if run % 2 == 0 else list(reversed(binaries))
            for binary in order:
                results[binary].append(one_run(binary, args.size, args.seconds, display))
                peak, anon, file, parts = results[binary][-1]
                print(f"  run {run + 1}, {binary}: peak {peak:.1f} MiB (at the end {anon:.1f} anonymous, "
                      f"{file:.1f} file-backed: GL driver code {parts.get('driver', 0):.1f}, the program "
                      f"{parts.get('program', 0):.1f}, other files and the window's shared image {parts.get('other', 0):.1f})", flush=True)
            load.append(os.getloadavg()[0])
    print(f"{args.size}, {args.seconds} s with sound, load average {min(load):.1f}..{max(load):.1f}:")
    for binary in binaries:
        print(f"  {binary}: peak resident {benchlib.summary([r[0] for r in results[binary]])} MiB")


if __name__ == "__main__":
    main()
