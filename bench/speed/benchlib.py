"""What the saver's speed benchmarks share: a private X server, the yardstick renderer of the same
room, runs measured by Mesa's frame counter and by the CPU time the kernel charged them.

Absolute figures on a shared machine drift by a third from minute to minute, so the scripts
compare programs side by side in A B B A order and report ratios with their spread."""

import os
import resource
import shutil
import statistics
import subprocess
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SAVER = Path(os.environ.get("BRASSMOOR", ROOT / "build" / "app" / "brassmoor"))
# Beside the project's folder (or beside the folder that holds several checkouts of it).
YARDSTICK_SOURCE = Path(os.environ.get("YARDSTICK_DIR") or next(
    (p for p in (ROOT.parent / "shared" / "yardstick", ROOT.parent.parent / "shared" / "yardstick") if p.exists()),
    ROOT.parent / "shared" / "yardstick"))
# The room, the clock time and the chance draws are fixed, so that runs differ only in speed.
SAVER_FIXED = ["--no-sound", "--no-music", "--seed", "1", "--time", "10:10:00"]


class Display:
    """A private Xvfb large enough for the biggest window asked for, stopped on exit."""

    def __init__(self, width=1920, height=1080):
        self.size = (width, height)
        self.process = None
        self.name = os.environ.get("BENCH_DISPLAY")

    def __enter__(self):
        if self.name:
            return self
        for n in range(150, 200):
            if not Path(f"/tmp/.X{n}-lock").exists() and not Path(f"/tmp/.X11-unix/X{n}").exists():
                break
        else:
            raise SystemExit("no free X display number in 150..199")
        self.name = f":{n}"
        self.process = subprocess.Popen(
            ["Xvfb", self.name, "-screen", "0", f"{self.size[0]}x{self.size[1]}x24", "-nolisten", "tcp",
             "+extension", "GLX", "+render", "-noreset"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if subprocess.run(["xdpyinfo", "-display", self.name], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0:
                return self
            time.sleep(0.1)
        raise SystemExit(f"Xvfb on {self.name} did not start")

    def __exit__(self, *exc):
        if self.process:
            self.process.terminate()
            self.process.wait()


def environment(display, hud_dir=None):
    env = dict(os.environ, DISPLAY=display.name, LIBGL_ALWAYS_SOFTWARE="1")
    # A run must not read or change the user's own settings.
    env["XDG_CONFIG_HOME"] = tempfile.mkdtemp(prefix="bench-config-")
    if hud_dir:
        env.update(GALLIUM_HUD="fps", GALLIUM_HUD_VISIBLE="false", GALLIUM_HUD_DUMP_DIR=str(hud_dir),
                   GALLIUM_HUD_PERIOD="1")
    return env


def yardstick():
    """Builds the yardstick and converts the room once, in a scratch folder; returns the
    command that draws the room (without its size and duration)."""
    work = Path(tempfile.gettempdir()) / f"brassmoor-yardstick-{os.getuid()}"
    work.mkdir(exist_ok=True)
    for name in ("trisbench.c", "Makefile", "udf2trb.py", "udfread.py"):
        source = YARDSTICK_SOURCE / name
        if not source.exists():
            raise SystemExit(f"the yardstick is not at {YARDSTICK_SOURCE} (set YARDSTICK_DIR)")
        if not (work / name).exists() or (work / name).read_bytes() != source.read_bytes():
            shutil.copy(source, work / name)
    subprocess.run(["make", "-s", "-C", str(work)], check=True)
    room = work / "room.trb"
    scene = ROOT / "media" / "clock.udf"
    if not room.exists() or room.stat().st_mtime < scene.stat().st_mtime:
        subprocess.run(["python3", str(work / "udf2trb.py"), str(scene), str(room)], check=True,
                       stdout=subprocess.DEVNULL)
    return [str(work / "trisbench"), "--mesh", str(room)]


def run(command, env, timeout):
    """Runs a program to its end; returns (exit code, CPU seconds it and its children used,
    wall seconds, stdout+stderr)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    done = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return done.returncode, cpu, wall, done.stdout.decode(errors="replace")


def hud_rates(hud_dir, skip):
    """The frame rates Mesa counted, one a second, without the first `skip` seconds."""
    path = Path(hud_dir) / "fps"
    if not path.exists():
        return []
    values = [float(v) for v in path.read_text().split()]
    return values[skip:]


def measure_fps(command, display, skip, timeout):
    """Mean frame rate of a run after its first `skip` seconds, and its CPU seconds and wall
    seconds."""
    with tempfile.TemporaryDirectory(prefix="bench-hud-") as hud:
        code, cpu, wall, output = run(command, environment(display, hud), timeout)
        rates = hud_rates(hud, skip)
    # The saver ends its runs with 1, as its frame loop has always answered; only a run that
    # showed no frames has failed.
    if not rates:
        raise SystemExit(f"{' '.join(command)} failed ({code}):\n{output[-2000:]}")
    return statistics.mean(rates), cpu, wall


def summary(values):
    values = sorted(values)
    return f"median {statistics.median(values):.3f} (range {values[0]:.3f}..{values[-1]:.3f}, n={len(values)})"
