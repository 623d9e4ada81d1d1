#!/usr/bin/env python3
"""The saver's frame rate as a share of the yardstick's (the room drawn with nothing in the way),
in A B B A pairs at each window size: prints every pair and the median ratio with its range.

    python3 bench/speed/saver_vs_yardstick.py [--pairs 5] [--seconds 12] [--view c1]
        [--sizes 640x360,1280x720,1920x1080]

--view names a camera tour, or "free" for the free camera. BRASSMOOR names another saver
binary (for before/after figures); YARDSTICK_DIR the yardstick's sources."""

import argparse

import benchlib

SKIP = 3  # seconds of loading and warming up that are not counted


def saver_command(size, seconds, view):
    return [str(benchlib.SAVER), "--window", size, "--seconds", str(seconds + SKIP), "--max-fps", "0",
            "--tour", view] + benchlib.SAVER_FIXED


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--pairs", type=int, default=5)
    parser.add_argument("--seconds", type=int, default=12, help="counted seconds of each run")
    parser.add_argument("--view", default="c1")
    parser.add_argument("--sizes", default="640x360,1280x720,1920x1080")
    args = parser.parse_args()

    yard = benchlib.yardstick()
    sizes = args.sizes.split(",")
    widest = max(int(s.split("x")[0]) for s in sizes)
    tallest = max(int(s.split("x")[1]) for s in sizes)
    print(f"saver {benchlib.SAVER}, view {args.view}, {args.pairs} A B B A pairs of {args.seconds} s")
    with benchlib.Display(max(widest, 640), max(tallest, 480)) as display:
        for size in sizes:
            saver = saver_command(size, args.seconds, args.view)
            ruler = yard + ["--size", size, "--seconds", str(args.seconds + SKIP)]
            timeout = 4 * (args.seconds + SKIP) + 60
            ratios = []
            for pair in range(args.pairs):
                a1, _, _ = benchlib.measure_fps(saver, display, SKIP, timeout)
                b1, _, _ = benchlib.measure_fps(ruler, display, SKIP, timeout)
                b2, _, _ = benchlib.measure_fps(ruler, display, SKIP, timeout)
                a2, _, _ = benchlib.measure_fps(saver, display, SKIP, timeout)
                ratio = (a1 + a2) / (b1 + b2)
                ratios.append(ratio)
                print(f"  {size} pair {pair + 1}: saver {a1:.1f} {a2:.1f} fps, yardstick {b1:.1f} {b2:.1f} fps,"
                      f" ratio {ratio:.3f}", flush=True)
            print(f"{size}: saver / yardstick {benchlib.summary(ratios)}", flush=True)


if __name__ == "__main__":
    main()
