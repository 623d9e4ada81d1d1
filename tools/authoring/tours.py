"""The ten camera tours: waypoints of position and look-at target, turned into smooth keys.

Each tour is a Catmull-Rom curve through its waypoints, travelled at constant speed between an
eased start and an eased end (so the fade in and out happen on a still, composed view). The
look-at target follows its own curve with the same parameter. Keys are written once per second
(ten tour units); the engine's cubic interpolation between them keeps the motion smooth.
Coordinates are Blender's (metres, Z up; see room.py).
"""
import math

from mathutils import Vector

KEY_STEP_S = 1.0

CLOCK = (2.72, 0.0, 1.4)
DIAL = (2.72, 0.0, 1.66)
BOB = (2.85, 0.0, 0.72)
LAMP = (1.35, 1.9, 1.12)
WINDOW = (0.6, -2.6, 1.75)
OUTSIDE = (0.6, -6.0, 1.9)
PAINTING = (0.55, 2.5, 1.78)
BOOKS = (-1.8, 2.5, 1.1)
CHAIR = (0.55, 1.55, 0.6)

# (name, seconds, [(position, target), ...])
TOURS = [
    ("door to dial", 64, [
        ((-2.55, -1.45, 1.62), (0.5, 0.3, 1.2)),
        ((-1.3, -1.35, 1.55), (1.5, 0.4, 1.25)),
        ((0.0, -0.95, 1.5), CLOCK),
        ((1.0, -0.4, 1.58), (2.72, 0.0, 1.5)),
        ((1.6, -0.08, 1.64), DIAL),
        ((1.95, 0.0, 1.66), DIAL)]),
    ("over the dial", 72, [
        ((2.05, -0.45, 1.5), DIAL),
        ((2.25, -0.22, 1.62), DIAL),
        ((2.3, 0.12, 1.74), (2.72, 0.0, 1.7)),
        ((2.2, 0.38, 1.92), (2.72, 0.0, 1.84)),
        ((2.12, 0.12, 2.02), (2.72, 0.0, 1.85)),
        ((2.05, -0.15, 1.8), DIAL)]),
    ("down the trunk", 76, [
        ((1.95, -0.6, 1.8), DIAL),
        ((2.08, -0.48, 1.45), (2.8, 0.0, 1.2)),
        ((2.2, -0.3, 1.1), (2.85, 0.0, 0.9)),
        ((2.25, -0.05, 0.85), BOB),
        ((2.25, 0.2, 0.8), BOB),
        ((2.1, 0.45, 0.95), (2.85, 0.0, 0.8))]),
    ("from the armchair", 80, [
        ((-0.6, 2.1, 1.55), LAMP),
        ((-0.3, 1.75, 1.45), (1.4, 1.3, 1.1)),
        ((-0.1, 1.2, 1.38), (2.2, 0.6, 1.2)),
        ((0.1, 0.8, 1.36), CLOCK),
        ((0.35, 0.55, 1.42), (2.72, 0.0, 1.5))]),
    ("to the window", 72, [
        ((-0.8, 1.1, 1.55), (0.6, -2.6, 1.5)),
        ((-0.3, 0.0, 1.6), WINDOW),
        ((0.25, -1.0, 1.65), WINDOW),
        ((0.55, -1.72, 1.7), (0.6, -4.0, 1.8)),
        ((0.62, -1.95, 1.72), OUTSIDE)]),
    ("books and painting", 84, [
        ((-2.1, 1.2, 1.25), BOOKS),
        ((-1.55, 1.3, 1.3), (-1.5, 2.5, 1.2)),
        ((-0.85, 1.35, 1.45), (-0.6, 2.5, 1.5)),
        ((-0.25, 1.2, 1.65), PAINTING),
        ((-0.1, 0.8, 1.65), (1.6, 2.0, 1.5)),
        ((0.1, 0.3, 1.6), CLOCK)]),
    ("high orbit", 96, None),   # made by orbit() below
    ("along the floor", 64, [
        ((-2.2, -0.7, 0.3), (2.7, 0.0, 0.3)),
        ((-1.0, -0.55, 0.28), (2.7, 0.0, 0.35)),
        ((0.4, -0.4, 0.3), (2.7, 0.0, 0.45)),
        ((1.5, -0.2, 0.45), (2.7, 0.0, 0.7)),
        ((1.9, -0.05, 1.1), (2.7, 0.0, 1.3)),
        ((1.9, 0.0, 1.75), (2.7, 0.0, 1.85))]),
    ("window to the room", 80, [
        ((0.55, -1.8, 1.45), (0.6, -6.0, 1.6)),
        ((0.5, -1.6, 1.45), (0.0, -2.6, 1.5)),
        ((0.1, -1.5, 1.5), (-2.0, -0.5, 1.3)),
        ((-0.6, -1.2, 1.55), LAMP),
        ((-1.2, -0.7, 1.55), CLOCK),
        ((-1.5, -0.3, 1.55), CLOCK)]),
    ("push in", 64, [
        ((-2.6, 0.25, 1.45), (2.72, 0.0, 1.25)),
        ((-1.4, 0.18, 1.48), (2.72, 0.0, 1.3)),
        ((-0.2, 0.1, 1.52), (2.72, 0.0, 1.4)),
        ((0.9, 0.04, 1.56), (2.72, 0.0, 1.5)),
        ((1.45, 0.0, 1.58), (2.72, 0.0, 1.55))]),
]


def orbit():
    pts = []
    n = 10
    for k in range(n + 1):
        a = math.radians(200 - 290 * k / n)
        pos = (0.3 + 1.75 * math.cos(a), 1.75 * math.sin(a) * 0.95, 2.45 - 0.25 * math.sin(k / n * math.pi))
        tgt = (0.6 + 0.4 * math.cos(a + 0.5), 0.2 * math.sin(a), 0.9)
        pts.append((pos, tgt))
    pts[0] = (pts[0][0], CLOCK)
    return pts


def catmull(points, u):
    """Centripetal-free uniform Catmull-Rom through `points` at parameter u in 0..n-1."""
    n = len(points)
    i = min(int(u), n - 2)
    t = u - i
    p0 = Vector(points[max(i - 1, 0)])
    p1 = Vector(points[i])
    p2 = Vector(points[i + 1])
    p3 = Vector(points[min(i + 2, n - 1)])
    if i == 0:
        p0 = p1 - (p2 - p1)
    if i + 2 > n - 1:
        p3 = p2 + (p2 - p1)
    t2, t3 = t * t, t * t * t
    return 0.5 * ((2 * p1) + (-p0 + p2) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t2 + (-p0 + 3 * p1 - 3 * p2 + p3) * t3)


def ease(x, edge=0.12):
    """Distance fraction for time fraction x: smooth start and stop, constant speed between."""
    x = min(max(x, 0.0), 1.0)
    # piecewise: quadratic ramps of length `edge` at both ends, linear middle, C1 continuous
    v = 1.0 / (1.0 - edge)
    if x < edge:
        return 0.5 * v * x * x / edge
    if x > 1 - edge:
        y = 1 - x
        return 1 - 0.5 * v * y * y / edge
    return 0.5 * v * edge + v * (x - edge)


def sample(waypoints, seconds, step=KEY_STEP_S):
    """Poses (time_s, position, target) every `step` seconds."""
    pos = [p for p, _ in waypoints]
    tgt = [t for _, t in waypoints]
    n = len(pos)
    # arc length table over the spline parameter
    table = [(0.0, 0.0)]
    steps = 400 * (n - 1)
    last = catmull(pos, 0.0)
    acc = 0.0
    for k in range(1, steps + 1):
        u = (n - 1) * k / steps
        p = catmull(pos, u)
        acc += (p - last).length
        table.append((u, acc))
        last = p
    total = acc

    def u_at(dist):
        lo, hi = 0, len(table) - 1
        while hi - lo > 1:
            mid = (lo + hi) // 2
            if table[mid][1] < dist:
                lo = mid
            else:
                hi = mid
        (u0, d0), (u1, d1) = table[lo], table[hi]
        f = 0.0 if d1 <= d0 else (dist - d0) / (d1 - d0)
        return u0 + (u1 - u0) * f

    out = []
    count = int(round(seconds / step))
    for k in range(count + 1):
        t = k * step
        u = u_at(total * ease(t / seconds))
        out.append((t, catmull(pos, u), catmull(tgt, u)))
    return out, total


def all_tours():
    result = []
    for name, seconds, wps in TOURS:
        if wps is None:
            wps = orbit()
        result.append((name, seconds, wps))
    return result
