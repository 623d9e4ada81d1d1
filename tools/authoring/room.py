"""The room and everything in it, in Blender's frame: metres, Z up, X towards the clock wall.

Blender X is the engine's X, Blender Y the engine's Z and Blender Z the engine's Y, so the free
camera at engine (-200, 100, 0) looking along +X sits at (-2, 0, 1) here. The room spans
x -3..3, y -2.5..2.5, z 0..3. The clock stands against the +x wall facing -x; the window is in
the -y wall (on the right of the free camera's view), the lamp, armchair, painting and bookcase
on the +y side, the chest and the door on the -x wall.
"""
import math

import bmesh
import bpy
from mathutils import Matrix, Vector

import geom
from geom import box, lathe, outline, sheet, quad, frame_at, sweep
from materials import MATS

RX, RY, RZ = 3.0, 2.5, 3.0
WIN = (0.0, 1.2, 0.9, 2.6)          # window opening in the -y wall: x0, x1, z0, z1
DOOR = (-1.95, -1.05, 2.15)         # door in the -x wall: y0, y1, top
DIAL_X = 2.72                       # dial plate surface
DIAL_C = (0.0, 1.65)                # dial centre (y, z)
LAMP = (1.35, 1.9)                  # the lamp table, near the wall it lights
LAMP_LIGHT_Z = 1.13
PEND_PIVOT = (2.85, 0.0, 1.60)
PEND_LEN = 0.93
PEND_AMPLITUDE_DEG = 3.0

# objects the scene file must keep under their own names
NAMED = {}


def m(name):
    return MATS[name]


def wall_faces(name, mat, axis, coord, span, z0, z1, inward, holes=(), uv=0.6):
    """A wall band between z0 and z1 on the plane axis=coord, span along the other horizontal
    axis, with rectangular holes (s0, s1, h0, h1) cut out; faces point `inward` (+1/-1)."""
    rects = [(span[0], span[1], z0, z1)]
    for hs0, hs1, hz0, hz1 in holes:
        out = []
        for s0, s1, a0, a1 in rects:
            if hs1 <= s0 or hs0 >= s1 or hz1 <= a0 or hz0 >= a1:
                out.append((s0, s1, a0, a1))
                continue
            if hs0 > s0:
                out.append((s0, hs0, a0, a1))
            if hs1 < s1:
                out.append((hs1, s1, a0, a1))
            c0, c1 = max(s0, hs0), min(s1, hs1)
            if hz0 > a0:
                out.append((c0, c1, a0, hz0))
            if hz1 < a1:
                out.append((c0, c1, hz1, a1))
        rects = out
    bm = bmesh.new()
    for s0, s1, a0, a1 in rects:
        if axis == "x":
            pts = [(coord, s0, a0), (coord, s1, a0), (coord, s1, a1), (coord, s0, a1)]
            normal = Vector((inward, 0, 0))
        else:
            pts = [(s0, coord, a0), (s1, coord, a0), (s1, coord, a1), (s0, coord, a1)]
            normal = Vector((0, inward, 0))
        vs = [bm.verts.new(p) for p in pts]
        f = bm.faces.new(vs)
        f.normal_update()
        if f.normal.dot(normal) < 0:
            f.normal_flip()
    bm.normal_update()
    geom.box_uv(bm, uv)
    return geom.finish(name, bm, mat)


def build_shell():
    floor = quad("floor", m("Parquet"), [(-RX, -RY, 0), (RX, -RY, 0), (RX, RY, 0), (-RX, RY, 0)],
                 uvs=[(-RX / 1.2, -RY / 1.2), (RX / 1.2, -RY / 1.2), (RX / 1.2, RY / 1.2),
                      (-RX / 1.2, RY / 1.2)])
    quad("ceiling", m("Plaster"), [(-RX, RY, RZ), (RX, RY, RZ), (RX, -RY, RZ), (-RX, -RY, RZ)],
         uvs=[(0, 0), (3, 0), (3, 3), (0, 3)])
    dado = 0.9
    win_hole = (WIN[0], WIN[1], WIN[2], WIN[3])
    door_hole = (DOOR[0], DOOR[1], 0.0, DOOR[2])
    # the wallpaper's tile holds two repeats each way: a repeat of about 27 cm, as a roll of
    # the period carries two across its width
    for band, mat, z0, z1, uv in (("paper", "Wallpaper", dado, RZ, 0.54), ("panel", "Wainscot", 0.0, dado, 0.9)):
        wall_faces(f"wall_px_{band}", m(mat), "x", RX, (-RY, RY), z0, z1, -1, uv=uv)
        wall_faces(f"wall_nx_{band}", m(mat), "x", -RX, (-RY, RY), z0, z1, +1, holes=[door_hole], uv=uv)
        wall_faces(f"wall_py_{band}", m(mat), "y", RY, (-RX, RX), z0, z1, -1, uv=uv)
        wall_faces(f"wall_ny_{band}", m(mat), "y", -RY, (-RX, RX), z0, z1, +1, holes=[win_hole], uv=uv)
    build_mouldings(dado)
    build_panels(dado)
    # a moulded panel on the ceiling, its corners broken inwards round a quadrant; the path
    # runs counter-clockwise seen from above, each corner's arc centred on the corner itself
    inset, r = 0.55, 0.25
    x0_, x1_, y0_, y1_ = -RX + inset, RX - inset, -RY + inset, RY - inset
    path = []
    for cx_, cy_, a0 in ((x1_, y0_, 180), (x1_, y1_, 270), (x0_, y1_, 360), (x0_, y0_, 90)):
        for i in range(5):
            a = math.radians(a0 - 90 * i / 4)
            path.append((cx_ + r * math.cos(a), cy_ + r * math.sin(a), RZ))
    # a bead hanging from the ceiling with a small fillet each side
    bead = [(-0.03, 0.0), (-0.026, 0.008)] + arc(-0.012, 0.008, 0.012, 180, 0, 6)[1:] + [(0.006, 0.006), (0.012, 0.0)]
    sweep("ceiling_panel", m("PaintTrim"), bead[::-1], path, normal=(0, 0, -1), closed=True, uv=0.5)
    # the rose: a stepped disc with a ring of leaves (a wavy rim) and a boss for the lamp hook
    rose = [(0.0, -0.075), (0.025, -0.074), (0.04, -0.066), (0.05, -0.055), (0.07, -0.05), (0.1, -0.048)]
    for i in range(9):
        t = i / 8
        rose.append((0.11 + 0.14 * t, -0.046 + 0.012 * t - 0.008 * math.sin(t * math.pi)))
    rose += [(0.26, -0.03), (0.28, -0.026), (0.30, -0.018), (0.32, -0.008), (0.33, -0.002)]
    lathe("ceiling_rose", m("PaintTrim"), rose, segments=48, centre=(0.3, 0.0, RZ), cap_top=False, uv_v=0.3)
    build_door()
    build_window()
    return floor


def build_door():
    y0, y1, top = DOOR
    box("door_leaf", m("FurnOak"), (-RX - 0.04, y0, 0.0), (-RX + 0.005, y1, top), uv=0.45)
    # six raised panels: two tall above, two square in the middle, two at the bottom
    xf = -RX + 0.005
    cols = [(y0 + 0.1, (y0 + y1) / 2 - 0.05), ((y0 + y1) / 2 + 0.05, y1 - 0.1)]
    rows = [(0.15, 0.6), (0.72, 1.12), (1.24, top - 0.12)]
    k = 0
    for a, b in cols:
        for za, zb in rows:
            corners = [(xf, a, za), (xf, b, za), (xf, b, zb), (xf, a, zb)]
            raised_field(f"door_panel_{k}", m("FurnOak"), corners, (1, 0, 0), 0.04, 0.012, uv=0.45)
            sweep(f"door_panel_frame_{k}", m("FurnOak"),
                  [(0.012, 0.0), (0.009, 0.006), (0.004, 0.01), (0.0, 0.011), (-0.003, 0.007), (-0.003, 0.0)],
                  facing(corners, (1, 0, 0)), normal=(1, 0, 0), closed=True, uv=0.3)
            k += 1
    lathe("door_knob", m("FurnBrass"), [(0.0, 0.0), (0.022, 0.005), (0.03, 0.03), (0.02, 0.055), (0.0, 0.06)],
          segments=16, matrix=frame_at((-RX + 0.005, y1 - 0.07, 1.0), (0, 1, 0), (1, 0, 0)))


def build_window():
    x0, x1, z0, z1 = WIN
    depth_in, depth_out = -RY, -RY - 0.25
    # reveals
    quad("reveal_l", m("PaintTrim"), [(x0, depth_out, z0), (x0, depth_in, z0), (x0, depth_in, z1), (x0, depth_out, z1)])
    quad("reveal_r", m("PaintTrim"), [(x1, depth_in, z0), (x1, depth_out, z0), (x1, depth_out, z1), (x1, depth_in, z1)])
    quad("reveal_t", m("PaintTrim"), [(x0, depth_out, z1), (x0, depth_in, z1), (x1, depth_in, z1), (x1, depth_out, z1)])
    # sill, deep, projecting into the room
    box("sill", m("Sill"), (x0 - 0.08, depth_out, z0 - 0.04), (x1 + 0.08, depth_in + 0.1, z0), bevel=0.006, uv=0.5)
    # the apron under the sill's nose: a flat board and a small cove
    sweep("sill_apron", m("Sill"), [(0.062, 0.0), (0.056, 0.008), (0.05, 0.012), (0.0, 0.012), (0.0, 0.0)],
          [(x0 - 0.06, -RY, z0 - 0.04), (x1 + 0.06, -RY, z0 - 0.04)], normal=(0, 1, 0), uv=0.5)
    sweep("sill_cove", m("Sill"), arc(0.025, 0.025, 0.025, -90, -180, 4),
          [(x0 - 0.07, -RY + 0.012, z0 - 0.04), (x1 + 0.07, -RY + 0.012, z0 - 0.04)], normal=(0, 1, 0), uv=0.5)
    # a sash window, six over six: the upper sash in the outer track, the lower one in the inner
    # track, their meeting rails overlapping at mid-height; every part stays inside the opening
    zm = (z0 + z1) / 2
    tracks = (("upper", -RY - 0.20, zm - 0.02, z1), ("lower", -RY - 0.15, z0, zm + 0.02))
    k = 0
    for name, yb, za, zb in tracks:
        yf = yb + 0.045
        stile = 0.05
        if name == "upper":
            top, bottom = 0.05, 0.035           # the meeting rail is the upper sash's bottom
        else:
            top, bottom = 0.035, 0.07           # and the lower sash's top
        parts = [((x0, yb, za), (x0 + stile, yf, zb)), ((x1 - stile, yb, za), (x1, yf, zb)),
                 ((x0 + stile, yb, za), (x1 - stile, yf, za + bottom)),
                 ((x0 + stile, yb, zb - top), (x1 - stile, yf, zb))]
        # glazing bars, slimmer than the sash and centred in its depth: two upright, one across
        gx0, gx1, gz0, gz1 = x0 + stile, x1 - stile, za + bottom, zb - top
        yc = (yb + yf) / 2
        for j in (1, 2):
            xb = gx0 + (gx1 - gx0) * j / 3
            parts.append(((xb - 0.011, yc - 0.014, gz0), (xb + 0.011, yc + 0.014, gz1)))
        zc = (gz0 + gz1) / 2
        parts.append(((gx0, yc - 0.014, zc - 0.011), (gx1, yc + 0.014, zc + 0.011)))
        for lo, hi in parts:
            box(f"sash_{k}", m("PaintTrim"), lo, hi, bevel=0.003, uv=0.5)
            k += 1
        # the sash's glass, with the half of the rain picture that falls on it
        va, vb = (0.5, 1.0) if name == "upper" else (0.0, 0.5)
        g = quad(f"window_glass_{name}", m("WindowGlass"),
                 [(gx0, yc, gz0), (gx1, yc, gz0), (gx1, yc, gz1), (gx0, yc, gz1)],
                 uvs=[(0, va), (1, va), (1, vb), (0, vb)])
        g["udf_AlphaUse"] = "texture"
        g["udf_Lit"] = "0"
        g["shadow"] = 0


def build_curtains():
    x0, x1, z0, z1 = WIN
    top = 2.76
    # curtain pole with ball finials and rings
    lathe("curtain_pole", m("FurnBrass"), [(0.0, -0.02), (0.02, -0.02), (0.014, 0.0), (0.014, 2.2), (0.02, 2.22), (0.0, 2.24)],
          segments=16, matrix=frame_at((x0 - 0.5, -RY + 0.09, top), (0, 1, 0), (1, 0, 0)), uv_v=0.2)
    for k, xe in enumerate((x0 - 0.52, x1 + 0.52)):
        sgn = -1 if k == 0 else 1
        lathe("curtain_pole_finial", m("FurnBrass"),
              [(0.0, 0.0), (0.012, 0.0), (0.008, 0.012), (0.022, 0.03), (0.028, 0.05), (0.022, 0.07), (0.01, 0.085), (0.0, 0.09)],
              segments=16, matrix=frame_at((xe + sgn * -0.01, -RY + 0.09, top), (0, 1, 0), (sgn, 0, 0)))
        # the bracket holding the pole off the wall
        box("curtain_bracket", m("FurnBrass"), (xe + sgn * -0.08 - 0.006, -RY, top - 0.006), (xe + sgn * -0.08 + 0.006, -RY + 0.09, top + 0.006), bevel=0.002)
    ring = [(0.024 + 0.005 * math.cos(2 * math.pi * i / 8), 0.005 * math.sin(2 * math.pi * i / 8)) for i in range(9)]
    for side, (outer, inner) in (("l", (x0 - 0.45, x0 + 0.12)), ("r", (x1 + 0.45, x1 - 0.12))):
        for i in range(9):
            xr = outer + (inner - outer) * (0.03 + 0.94 * i / 8)
            lathe("curtain_ring", m("FurnBrass"), ring, segments=12, cap_top=False, cap_bottom=False,
                  matrix=frame_at((xr, -RY + 0.09, top), (0, 1, 0), (1, 0, 0)))
    # heavy velvet drapes gathered under the pole and tied back on both sides; the folds deepen
    # where the cloth is gathered and swell a little into the room below the tie
    tie = 1.05
    for side, (outer, inner) in (("l", (x0 - 0.45, x0 + 0.12)), ("r", (x1 + 0.45, x1 - 0.12))):
        sgn = 1 if inner > outer else -1

        def drape(u, v, outer=outer, inner=inner, sgn=sgn, side=side):
            z = top - 0.025 - v * (top - 0.035)
            full = abs(inner - outer)
            pinch = 0.3 + 0.7 * min(1.0, abs(z - tie) / 0.95) ** 1.3
            if z < tie:
                pinch = min(1.0, 0.3 + 0.7 * min(1.0, (tie - z) / 0.7) ** 1.1) * 0.8
            width = full * pinch
            x = outer + sgn * u * width
            phase = 0.12 * math.sin(3.1 * v + (1.7 if side == "r" else 0.0)) + 0.05 * math.sin(11 * u)
            amp = 0.022 + 0.035 * (1.0 - pinch)
            y = -RY + 0.095 + amp * math.sin(2 * math.pi * (6.0 * u + phase))
            y += 0.05 * math.exp(-((z - tie) / 0.35) ** 2) * math.sin(math.pi * min(1.0, u * 1.2))
            if z < 0.25:
                y += 0.12 * (0.25 - z) * u        # the hem spreads on the floor
            return (x, y, max(z, 0.004))
        sheet(f"drape_{side}", m("Velvet"), drape, 56, 40, uv_scale=(3.0, 3.0))
        # the tie-back: a cord round the gathered cloth
        wx = outer + sgn * abs(inner - outer) * 0.3 * 0.5
        lathe("curtain_tieback", m("Velvet"), [(0.1 + 0.012 * math.cos(2 * math.pi * i / 6), 0.012 * math.sin(2 * math.pi * i / 6))
                                              for i in range(7)], segments=20, cap_top=False, cap_bottom=False,
              matrix=frame_at((wx, -RY + 0.1, tie), (1, 0, 0), (0, 0, 1)))
        lathe("curtain_holdback", m("FurnBrass"), [(0.0, 0.0), (0.01, 0.0), (0.01, 0.05), (0.03, 0.055), (0.035, 0.065), (0.025, 0.075), (0.0, 0.078)],
              segments=16, matrix=frame_at((outer - sgn * 0.04, -RY, tie), (1, 0, 0), (0, 1, 0)))
    # sheer lace across the left half of the window: the program's "Curtain"
    def lace(u, v):
        x = x0 - 0.02 + u * 0.68
        z = top - 0.04 - v * (top - 0.04 - (z0 + 0.02))
        y = -RY + 0.05 + 0.02 * math.sin(u * 2 * math.pi * 5)
        return (x, y, z)
    c = sheet("Curtain", m("Lace"), lace, 30, 6)
    c["udf_AlphaUse"] = "texture"
    c["udf_Lit"] = "0"
    c["shadow"] = 0
    NAMED["Curtain"] = c


def build_outdoor():
    # the view out of the window, 2 m behind the glass: near enough to stay inside the far
    # clipping distance from anywhere in the room, wide enough to fill the opening seen from
    # close to the sill
    x0, x1, z0, z1 = -4.0, 5.0, -3.0, 6.0
    y = -4.5
    f = quad("FonPlane01", m("NightView"), [(x1, y, z0), (x0, y, z0), (x0, y, z1), (x1, y, z1)],
             uvs=[(0, 0), (1, 0), (1, 1), (0, 1)])
    f["udf_Lit"] = "1"
    f["bake_hide"] = 1
    NAMED["FonPlane01"] = f
    # rain: three sheets of streaks falling at different speeds; each moves down a whole number
    # of texture repeats per loop, so the wrap back to the start is invisible, and is tall
    # enough to fill the window's view at both ends of its travel
    sheets = []
    for k, (yy, travel) in enumerate([(-2.95, 12), (-3.4, 10), (-4.0, 8)]):
        xa, xb, za, zb = -2.0, 3.2, -3.0, 6.0 + travel
        ob = quad(f"rain_{k + 1}", m("Rain"), [(xa, 0, za), (xb, 0, za), (xb, 0, zb), (xa, 0, zb)],
                  uvs=[(xa / 0.5, za), (xb / 0.5, za), (xb / 0.5, zb), (xa / 0.5, zb)])
        ob.location = (0.0, yy, 0.0)
        ob["udf_AlphaUse"] = "texture"
        ob["udf_Blend"] = "additive"
        ob["udf_Lit"] = "0"
        ob["bake_hide"] = 1
        ob["rain_travel"] = travel
        sheets.append(ob)
    return sheets


# --- the clock ---------------------------------------------------------------------------

def hood_path(x_front, half, x_back):
    """Back-left, front-left, front-right, back-right: a moulding path round the clock's front
    and sides (counter-clockwise from above, so the profile's side runs outwards)."""
    return [(x_back, -half), (x_front, -half), (x_front, half), (x_back, half)]


def clock_moulding(name, mat, profile, x_front, half, z, x_back=2.975, uv=0.3):
    sweep(name, mat, profile, [(x, y, z) for x, y in hood_path(x_front, half, x_back)], uv=uv)


def bracket_foot(name, mat, x0, y_out, y_in, depth):
    """An ogee bracket foot seen from the front: full height at the outer edge, curving down to
    a point towards the middle; extruded `depth` back from x0."""
    h, w = 0.075, abs(y_in - y_out)
    sgn = 1 if y_in > y_out else -1
    pts = [(0.0, 0.0), (0.0, h)]
    pts.append((w, h))
    for i in range(1, 9):
        t = i / 8
        # from the top inner corner down along an S curve to the tip near the outer edge
        pts.append((w - 0.055 * t, h - 0.012 - (h - 0.03) * (0.5 - 0.5 * math.cos(math.pi * t))))
    pts += [(w - 0.06, 0.012), (w - 0.075, 0.0)]
    pts = [(sgn * px, pz) for px, pz in pts]
    if sgn < 0:
        pts.reverse()
    return outline(name, mat, pts, depth, matrix=frame_at((x0, y_out, 0.0), (0, 1, 0), (1, 0, 0)), uv=0.3)


def build_clock():
    cm = m("CaseMahogany")
    brass = m("CaseBrass")
    xb = 2.98
    # feet: shaped brackets at the front corners, plain blocks at the back
    for sgn in (-1, 1):
        bracket_foot("clock_foot", cm, 2.655, sgn * 0.285, sgn * 0.15, 0.09)
        box("clock_foot_side", cm, (2.655, sgn * 0.285 - (0.02 if sgn > 0 else 0), 0.0),
            (2.95, sgn * 0.285 + (0.02 if sgn < 0 else 0), 0.06), bevel=0.004, uv=0.4)
    # plinth with a moulded base, a raised panel and a moulded top
    box("clock_plinth", cm, (2.68, -0.26, 0.06), (xb, 0.26, 0.50), bevel=0.006, uv=0.4)
    clock_moulding("clock_base_moulding", cm,
                   [(0.0, 0.0), (0.025, 0.0), (0.025, 0.02), (0.02, 0.026)] + arc(0.02, 0.04, 0.014, -90, 90, 6)
                   + [(0.012, 0.056), (0.006, 0.06), (0.0, 0.062)], 2.68, 0.26, 0.06)
    raised_field("clock_plinth_panel", cm, [(2.68, -0.19, 0.14), (2.68, 0.19, 0.14), (2.68, 0.19, 0.43),
                                            (2.68, -0.19, 0.43)], (-1, 0, 0), 0.035, 0.012, uv=0.4)
    sweep("clock_plinth_panel_frame", cm, [(0.01, 0.0), (0.008, 0.005), (0.004, 0.009), (0.0, 0.01), (-0.003, 0.006), (-0.003, 0.0)],
          facing([(2.68, -0.19, 0.14), (2.68, 0.19, 0.14), (2.68, 0.19, 0.43), (2.68, -0.19, 0.43)], (-1, 0, 0)),
          normal=(-1, 0, 0), closed=True, uv=0.3)
    # plinth top: a cyma and a cove stepping in to the trunk
    clock_moulding("clock_plinth_top", cm,
                   [(0.0, 0.0), (0.012, 0.0), (0.016, 0.004), (0.016, 0.012)] + arc(0.016, 0.024, 0.012, -90, 0, 4)[1:]
                   + [(0.028, 0.03), (0.03, 0.034), (0.03, 0.04), (-0.04, 0.04)], 2.68, 0.26, 0.50)
    box("clock_plinth_cap", cm, (2.70, -0.25, 0.50), (xb, 0.25, 0.535), uv=0.4)
    # trunk: two sides, a back board and the glazed door frame with a moulded inner edge
    box("clock_trunk_l", cm, (2.74, -0.20, 0.535), (xb, -0.18, 1.43), bevel=0.004, uv=0.4)
    box("clock_trunk_r", cm, (2.74, 0.18, 0.535), (xb, 0.20, 1.43), bevel=0.004, uv=0.4)
    box("clock_trunk_back", m("CaseMahogany"), (2.95, -0.18, 0.535), (2.97, 0.18, 1.43), uv=0.4)
    box("clock_trunk_floor", cm, (2.74, -0.18, 0.535), (2.95, 0.18, 0.55), uv=0.4)
    gy0, gy1, gz0, gz1 = -0.13, 0.13, 0.62, 1.36
    fx0, fx1 = 2.715, 2.745
    # the frame reaches down into the plinth's top moulding, so no slit shows under it
    for k, (lo, hi) in enumerate([((fx0, -0.20, 0.532), (fx1, gy0, 1.43)), ((fx0, gy1, 0.532), (fx1, 0.20, 1.43)),
                                  ((fx0, gy0, 0.532), (fx1, gy1, gz0)), ((fx0, gy0, gz1), (fx1, gy1, 1.43))]):
        box(f"clock_door_{k}", cm, lo, hi, bevel=0.006, uv=0.4)
    # an ovolo round the glass, and a cock-bead round the door's outer edge
    door_opening = facing([(fx0, gy0, gz0), (fx0, gy1, gz0), (fx0, gy1, gz1), (fx0, gy0, gz1)], (-1, 0, 0))
    sweep("clock_door_ovolo", cm, [(0.016, 0.0)] + arc(0.004, 0.0, 0.012, 0, 90, 5)[1:] + [(0.0, 0.012), (0.0, 0.0)],
          door_opening, normal=(-1, 0, 0), closed=True, uv=0.3)
    sweep("clock_door_bead", cm, arc(0.0, 0.0, 0.006, 0, 180, 6),
          [(fx0, -0.198, 0.552), (fx0, 0.198, 0.552), (fx0, 0.198, 1.428), (fx0, -0.198, 1.428)],
          normal=(-1, 0, 0), closed=True, uv=0.3)
    lathe("clock_door_key", brass, [(0.0, 0.0), (0.01, 0.0), (0.008, 0.015), (0.0, 0.018)], segments=12,
          matrix=frame_at((fx0, 0.165, 1.0), (0, 1, 0), (-1, 0, 0)))
    lathe("clock_door_escutcheon", brass, [(0.0, 0.0), (0.014, 0.0), (0.012, 0.002), (0.0, 0.0025)], segments=16,
          matrix=frame_at((fx0, 0.165, 1.0), (0, 1, 0), (-1, 0, 0)))
    glass = quad("Clock glass", m("ClockGlass"),
                 [(fx0 + 0.012, gy1, gz0), (fx0 + 0.012, gy0, gz0), (fx0 + 0.012, gy0, gz1), (fx0 + 0.012, gy1, gz1)],
                 uvs=[(0, 0), (1, 0), (1, 2), (0, 2)])
    glass["udf_AlphaUse"] = "texture"
    glass["udf_Lit"] = "0"
    glass["shadow"] = 0
    NAMED["Clock glass"] = glass
    # waist: a cove and a fillet carrying the hood out over the trunk
    clock_moulding("clock_waist_moulding", cm,
                   [(0.0, 0.0), (0.008, 0.0), (0.01, 0.004)] + arc(0.045, 0.004, 0.035, 180, 90, 6)[1:]
                   + [(0.05, 0.039), (0.05, 0.048), (0.0, 0.048)], 2.715, 0.20, 1.412, x_back=2.975)
    # hood
    # hood sides, each with a small glazed window onto the movement
    wx0, wx1, wz0, wz1 = 2.77, 2.92, 1.58, 1.88
    for sgn, (ya, yb) in ((-1, (-0.25, -0.23)), (1, (0.23, 0.25))):
        for k, (lo, hi) in enumerate([((2.70, ya, 1.46), (wx0, yb, 2.02)), ((wx1, ya, 1.46), (xb, yb, 2.02)),
                                      ((wx0, ya, 1.46), (wx1, yb, wz0)), ((wx0, ya, wz1), (wx1, yb, 2.02))]):
            box(f"clock_hood_side_{k}", cm, lo, hi, bevel=0.003, uv=0.4)
        yo = yb if sgn > 0 else ya
        win = [(wx0, yo, wz0), (wx1, yo, wz0), (wx1, yo, wz1), (wx0, yo, wz1)]
        sweep("clock_hood_window_bead", cm, arc(0.0, 0.0, 0.005, 0, 180, 5), facing(win, (0, sgn, 0)),
              normal=(0, sgn, 0), closed=True, uv=0.3)
        yg = (ya + yb) / 2
        side_glass = quad("clock_hood_glass", m("ClockGlass"),
                          [(wx0, yg, wz0), (wx1, yg, wz0), (wx1, yg, wz1), (wx0, yg, wz1)],
                          uvs=[(0, 0), (0.6, 0), (0.6, 1.2), (0, 1.2)])
        side_glass["udf_AlphaUse"] = "texture"
        side_glass["udf_Lit"] = "0"
        side_glass["shadow"] = 0
    box("clock_hood_back", cm, (2.96, -0.23, 1.46), (xb, 0.23, 2.02), uv=0.4)
    clock_moulding("clock_hood_base", cm, [(0.0, 0.0), (0.012, 0.0), (0.012, 0.008)] + arc(0.006, 0.016, 0.008, -45, 90, 4)
                   + [(0.0, 0.024)], 2.70, 0.25, 1.46)
    hx0, hx1 = 2.695, 2.715
    dz0, dzs, dr = 1.50, 1.80, 0.15
    # the hood door: a board with the arched dial opening, in two halves that meet above the arch
    for sgn in (-1, 1):
        pts = [(sgn * 0.23, 1.46), (sgn * 0.23, 2.02), (0.0, 2.02), (0.0, dzs + dr)]
        for i in range(1, 12):
            a = math.pi / 2 * i / 12
            pts.append((sgn * dr * math.sin(a), dzs + dr * math.cos(a)))
        pts += [(sgn * dr, dzs), (sgn * dr, dz0), (0.0, dz0), (0.0, 1.46)]
        if sgn < 0:
            pts.reverse()
        outline(f"clock_hood_door_{sgn}", cm, pts, hx1 - hx0, matrix=frame_at((hx0, 0, 0), (0, 1, 0), (1, 0, 0)), uv=0.4)
    # the brass slip round the dial opening, moulded
    aperture = [(hx0, -dr, dz0), (hx0, dr, dz0), (hx0, dr, dzs)]
    for i in range(1, 24):
        a = math.pi * i / 24
        aperture.append((hx0, dr * math.cos(a), dzs + dr * math.sin(a)))
    aperture.append((hx0, -dr, dzs))
    sweep("clock_dial_slip", brass, [(0.022, 0.0), (0.02, 0.003), (0.014, 0.006)] + arc(0.007, 0.004, 0.006, 30, 150, 4)
          + [(0.0, 0.004), (-0.002, 0.0)], aperture,
          normal=(-1, 0, 0), closed=True, uv=0.2)
    # dial plate (arched), mapped to the whole dial texture
    dial_pts = [(-dr, dz0), (dr, dz0), (dr, dzs)]
    for i in range(1, 24):
        a = math.pi * i / 24
        dial_pts.append((dr * math.cos(a), dzs + dr * math.sin(a)))
    dial_pts.append((-dr, dzs))
    bm = bmesh.new()
    uvl = bm.loops.layers.uv.verify()
    vs = [bm.verts.new((DIAL_X, -py, pz)) for py, pz in dial_pts]  # screen right is -y
    f = bm.faces.new(vs)
    f.normal_update()
    if f.normal.x > 0:
        f.normal_flip()
    for l in f.loops:
        co = l.vert.co
        l[uvl].uv = ((-co.y + dr) / (2 * dr), (co.z - dz0) / 0.45)
    bmesh.ops.triangulate(bm, faces=bm.faces[:])
    geom.finish("clock_dial", bm, m("Dial"))
    box("clock_dial_back", cm, (DIAL_X + 0.008, -0.17, 1.48), (2.74, 0.17, 1.97))
    lathe("clock_arbor", brass, [(0.0, 0.0), (0.008, 0.0), (0.006, 0.012), (0.0, 0.014)], segments=16,
          matrix=frame_at((DIAL_X, DIAL_C[0], DIAL_C[1]), (0, 1, 0), (-1, 0, 0)))
    # turned columns: a moulded base, a swelling shaft with rings, a capital; brass at both ends
    shaft = [(0.0, 0.0), (0.021, 0.0), (0.021, 0.012), (0.017, 0.016), (0.019, 0.022), (0.015, 0.03), (0.014, 0.04)]
    for i in range(1, 10):
        t = i / 10
        shaft.append((0.0135 + 0.0025 * math.sin(math.pi * t), 0.04 + 0.34 * t))
    shaft += [(0.0135, 0.38), (0.016, 0.39), (0.0135, 0.40), (0.015, 0.41), (0.019, 0.425), (0.0195, 0.44),
              (0.017, 0.445), (0.017, 0.46), (0.0, 0.46)]
    for yy in (-0.205, 0.205):
        lathe("clock_column", cm, shaft, segments=20, centre=(2.675, yy, 1.49), uv_v=0.6, grain_along=True)
        lathe("clock_column_cap", brass, [(0.0, 0.0), (0.019, 0.0), (0.023, 0.006), (0.024, 0.014), (0.021, 0.02), (0.0, 0.02)],
              segments=20, centre=(2.675, yy, 1.95))
        lathe("clock_column_base", brass, [(0.0, 0.0), (0.025, 0.0), (0.025, 0.006), (0.021, 0.012), (0.022, 0.016), (0.0, 0.02)],
              segments=20, centre=(2.675, yy, 1.47))
    # hood cornice: fillet, cove, ovolo and a flat top, the classic stack
    clock_moulding("clock_hood_cornice", cm,
                   [(0.0, 0.0), (0.006, 0.0), (0.006, 0.006)] + arc(0.03, 0.006, 0.024, 180, 90, 6)[1:]
                   + [(0.034, 0.03), (0.034, 0.034)] + arc(0.034, 0.044, 0.01, -90, 90, 5)[1:]
                   + [(0.042, 0.054), (0.042, 0.06), (0.0, 0.06)], 2.70, 0.25, 2.02, x_back=2.985)
    # break-arch pediment: a board with an arched top, its edge moulded, on a dentil course
    ped = [(-0.26, 2.08), (0.26, 2.08), (0.26, 2.12), (0.17, 2.12)]
    for i in range(1, 20):
        a = math.pi * i / 20
        ped.append((0.17 * math.cos(a), 2.12 + 0.09 * math.sin(a)))
    ped += [(-0.17, 2.12), (-0.26, 2.12)]
    outline("clock_pediment", cm, ped, 0.27, matrix=frame_at((2.69, 0, 0), (0, 1, 0), (1, 0, 0)), uv=0.4)
    edge = [(2.688, -0.262, 2.12), (2.688, -0.17, 2.12)]
    for i in range(1, 20):
        a = math.pi - math.pi * i / 20
        edge.append((2.688, 0.17 * math.cos(a), 2.12 + 0.09 * math.sin(a)))
    edge += [(2.688, 0.17, 2.12), (2.688, 0.262, 2.12)]
    sweep("clock_pediment_edge", cm, arc(0.0, 0.0, 0.009, 0, 180, 6), edge, normal=(-1, 0, 0), uv=0.3)
    # finials: ball and spire on small plinths
    fin = [(0.0, 0.0), (0.018, 0.0), (0.018, 0.004), (0.012, 0.01), (0.009, 0.016), (0.014, 0.022),
           (0.021, 0.03), (0.024, 0.042), (0.022, 0.054), (0.015, 0.063), (0.008, 0.068), (0.006, 0.072),
           (0.009, 0.076), (0.005, 0.082), (0.0035, 0.1), (0.0025, 0.12), (0.0015, 0.135), (0.0, 0.145)]
    for yy, zz in ((-0.225, 2.12), (0.225, 2.12), (0.0, 2.21)):
        box("clock_finial_plinth", cm, (2.80, yy - 0.03, zz), (2.86, yy + 0.03, zz + 0.03), bevel=0.004, uv=0.3)
        lathe("clock_finial", brass, fin, segments=20, centre=(2.83, yy, zz + 0.03))
    build_movement()
    build_hands()


def build_movement():
    brass = m("CaseBrass")
    # the movement behind the dial, seen through the hood's side windows: two plates on four
    # pillars with a few wheels between them
    for xp in (2.765, 2.858):
        box("clock_plate", brass, (xp, -0.085, 1.54), (xp + 0.006, 0.085, 1.79), bevel=0.002, uv=0.2)
    for yy in (-0.07, 0.07):
        for zz in (1.56, 1.77):
            lathe("clock_pillar", brass, [(0.0, 0.0), (0.006, 0.0), (0.006, 0.01), (0.008, 0.02), (0.006, 0.03),
                                          (0.006, 0.087), (0.0, 0.087)], segments=10,
                  matrix=frame_at((2.771, yy, zz), (0, 1, 0), (1, 0, 0)))
    for xw, yy, zz, rw in ((2.79, -0.03, 1.72, 0.045), (2.815, 0.035, 1.63, 0.038), (2.835, -0.02, 1.6, 0.03),
                           (2.8, 0.03, 1.75, 0.025)):
        lathe("clock_wheel", brass, [(0.0, 0.0), (rw, 0.0), (rw, 0.003), (0.0, 0.003)], segments=28,
              matrix=frame_at((xw, yy, zz), (0, 1, 0), (1, 0, 0)))
        lathe("clock_arbor_pin", brass, [(0.0, -0.02), (0.002, -0.02), (0.002, 0.06), (0.0, 0.06)], segments=6,
              matrix=frame_at((xw, yy, zz), (0, 1, 0), (1, 0, 0)))
    # weights on their cables, behind the pendulum
    for yy, z0 in ((-0.10, 1.00), (0.10, 1.08)):
        lathe("clock_weight", brass, [(0.0, 0.0), (0.03, 0.0), (0.03, 0.22), (0.008, 0.235), (0.0, 0.24)],
              segments=16, centre=(2.91, yy, z0))
        box("clock_cable", m("CaseIron"), (2.908, yy - 0.002, z0 + 0.24), (2.912, yy + 0.002, 1.46))
    box("clock_seatboard", m("CaseIron"), (2.80, -0.17, 1.455), (2.95, 0.17, 1.47))
    # the pendulum: rod and lens-shaped brass bob, hung from its pivot
    px, py, pz = PEND_PIVOT
    bm = bmesh.new()
    bmesh.ops.create_cube(bm, size=1.0)
    bmesh.ops.scale(bm, vec=(0.004, 0.008, PEND_LEN + 0.04), verts=bm.verts)
    bmesh.ops.translate(bm, vec=(0, 0, -(PEND_LEN + 0.04) / 2 + 0.02), verts=bm.verts)
    # the bob's texture is a picture of the polished face; the rod takes a plain patch of it
    uvl = bm.loops.layers.uv.verify()
    for f in bm.faces:
        for l in f.loops:
            l[uvl].uv = (0.6 + 0.02 * (l.vert.co.y + 0.004) / 0.008, 0.5 + 0.02 * (l.vert.co.z / (PEND_LEN + 0.04)))
    rod = geom.finish("clock mayatnik", bm, m("Pendulum"))
    bob = lathe("pend_bob", m("Pendulum"),
                [(0.0, -0.014), (0.04, -0.012), (0.07, -0.006), (0.08, 0.0), (0.07, 0.006), (0.04, 0.012), (0.0, 0.014)],
                segments=40, matrix=Matrix.Translation((0, 0, -PEND_LEN)) @ Matrix.Rotation(math.radians(90), 4, "Y"),
                uv_v=0.1)
    uv0 = bob.data.uv_layers["UV0"].data
    for poly in bob.data.polygons:
        for li in poly.loop_indices:
            co = bob.data.vertices[bob.data.loops[li].vertex_index].co
            # flat across the face: screen right is -y, up is z
            uv0[li].uv = (0.5 - co.y / 0.17, 0.5 + (co.z + PEND_LEN) / 0.17)
    join(rod, [bob])
    rod.location = (px, py, pz)
    rod["udf_track"] = "cubic"
    rod["shadow"] = 0
    NAMED["clock mayatnik"] = rod
    return rod


def build_hands():
    """The hands turn about their own local Y axis, which points out of the dial. Their local
    X points to III and local Z... in the engine's frame; here (Blender) the hand's local X is
    screen-right (III), local Y is up (XII) and local Z comes out of the dial."""
    steel = m("Hands")
    hour = [(0.0, -0.03), (0.006, -0.028), (0.004, 0.0), (0.003, 0.05), (0.012, 0.062), (0.016, 0.075),
            (0.010, 0.088), (0.0, 0.108), (-0.010, 0.088), (-0.016, 0.075), (-0.012, 0.062), (-0.003, 0.05),
            (-0.004, 0.0), (-0.006, -0.028)]
    minute = []
    # serpentine minute hand along +x: a wavy blade with a small boss
    half = []
    for i in range(0, 25):
        s = i / 24.0
        x = -0.035 + s * 0.165
        w = 0.0045 * (1 - s) + 0.0012 + (0.004 * math.exp(-((x - 0.0) / 0.012) ** 2))
        wave = 0.0025 * math.sin(s * math.pi * 5) * (1 - s)
        half.append((x, wave, w))
    minute = [(x, wave - w) for x, wave, w in half] + [(0.132, 0.0)] + [(x, wave + w) for x, wave, w in reversed(half)]
    pivot = Vector((0.0, DIAL_C[0], DIAL_C[1]))
    basis = Matrix(((0, 0, -1), (-1, 0, 0), (0, 1, 0)))   # columns: local X, Y, Z in world
    for name, pts, x, th in (("strelka_1Big", hour, DIAL_X - 0.010, 0.0016),
                             ("strelka_1Min", minute, DIAL_X - 0.016, 0.0014)):
        ob = outline(name, steel, pts, th, uv=0.05)
        ob.matrix_world = Matrix.Translation((x, pivot.y, pivot.z)) @ basis.to_4x4()
        ob["udf_Lit"] = "0"
        ob["shadow"] = 0
        NAMED[name] = ob


def join(target, others):
    with bpy.context.temp_override(active_object=target, selected_editable_objects=[target] + others,
                                   object=target):
        bpy.ops.object.join()
    return target


# --- furniture --------------------------------------------------------------------------

def build_lamp():
    lx, ly = LAMP
    fm = m("FurnMahogany")
    # a tilt-top tripod table: moulded top, turned column with a vase and rings, three cabriole legs
    lathe("table_top", fm, [(0.0, 0.0), (0.30, 0.0), (0.318, 0.004), (0.33, 0.012), (0.333, 0.02), (0.33, 0.027),
                            (0.322, 0.032), (0.31, 0.035), (0.0, 0.035)],
          segments=56, centre=(lx, ly, 0.675), uv_v=0.4)
    col = [(0.0, 0.0), (0.055, 0.0), (0.055, 0.03), (0.045, 0.04), (0.05, 0.05), (0.035, 0.07)]
    for i in range(1, 9):
        t = i / 8
        col.append((0.03 + 0.028 * math.sin(math.pi * t) ** 1.5, 0.07 + 0.2 * t))   # the vase
    col += [(0.028, 0.29), (0.036, 0.3), (0.026, 0.31), (0.022, 0.45), (0.02, 0.55), (0.032, 0.57),
            (0.024, 0.585), (0.04, 0.6), (0.05, 0.63), (0.05, 0.66), (0.0, 0.675)]
    lathe("table_stem", fm, col, segments=24, centre=(lx, ly, 0.0), uv_v=0.8, grain_along=True)
    for k in range(3):
        a = math.radians(90 + 120 * k)
        d = Vector((math.cos(a), math.sin(a), 0.0))
        side = Vector((-d.y, d.x, 0.0))
        # the leg seen from the side: a knee at the column, a long S down to a pad on the floor
        lower = [(0.04 + 0.23 * t, 0.08 * (1 - t) ** 1.5) for t in (i / 10 for i in range(11))]
        upper = [(0.04 + 0.24 * t, 0.03 + 0.17 * (1 - t) ** 1.3 + 0.02 * math.sin(math.pi * t))
                 for t in (i / 10 for i in range(11))]
        pts = lower + [(0.30, 0.0), (0.30, 0.03)] + upper[::-1]
        outline(f"table_leg_{k}", fm, pts, 0.03, matrix=frame_at(Vector((lx, ly, 0.0)) + side * 0.015, d, -side), uv=0.3)
    b = m("FurnBrass")
    lathe("lamp_base", b, [(0.0, 0.0), (0.09, 0.0), (0.09, 0.008), (0.082, 0.018), (0.06, 0.026), (0.035, 0.034),
                           (0.03, 0.045), (0.04, 0.06), (0.046, 0.08), (0.04, 0.1), (0.02, 0.12), (0.014, 0.14),
                           (0.018, 0.15), (0.012, 0.16), (0.011, 0.36), (0.017, 0.37), (0.02, 0.385), (0.012, 0.4),
                           (0.008, 0.43), (0.0, 0.43)], segments=32, centre=(lx, ly, 0.71), uv_v=0.2)
    # a pleated shade: the radius ripples round the circumference
    bottom, top_r, h = 0.19, 0.105, 0.25

    def shade_at(u, v):
        a = 2 * math.pi * u
        r = bottom + (top_r - bottom) * v
        r *= 1.0 + 0.025 * abs(math.sin(24 * math.pi * u))
        return (lx + r * math.cos(a), ly + r * math.sin(a), 1.02 + h * v)
    shade = sheet("Lamp lamp", m("LampShade"), shade_at, 96, 8, uv_scale=(8.0, 1.0))
    bmerge = bmesh.new()
    bmerge.from_mesh(shade.data)
    bmesh.ops.remove_doubles(bmerge, verts=bmerge.verts, dist=1e-6)
    bmerge.to_mesh(shade.data)
    bmerge.free()
    shade["udf_Lit"] = "0"
    shade["shadow"] = 1      # its fabric lets part of the light through (materials.py)
    NAMED["Lamp lamp"] = shade
    lathe("lamp_finial", b, [(0.0, 0.0), (0.006, 0.0), (0.004, 0.01), (0.012, 0.02), (0.013, 0.03), (0.008, 0.04),
                             (0.0, 0.046)], segments=16, centre=(lx, ly, 1.27))
    # a few small things on the table
    box("table_book", m("Books"), (lx - 0.05, ly - 0.25, 0.71), (lx + 0.13, ly - 0.12, 0.745), bevel=0.003, uv=0.3)
    box("table_book2", m("Books"), (lx - 0.03, ly - 0.24, 0.745), (lx + 0.11, ly - 0.14, 0.768), bevel=0.003, uv=0.3)


def build_armchair():
    lea = m("Leather")
    wood = m("FurnMahogany")
    cx, cy, ang = 0.55, 1.55, math.radians(-115)
    T = Matrix.Translation((cx, cy, 0)) @ Matrix.Rotation(ang, 4, "Z")
    # local frame: the sitter looks along +x
    parts = [
        ((-0.30, -0.36, 0.14), (0.32, 0.36, 0.38), 0.03),   # base
        ((-0.22, -0.28, 0.38), (0.34, 0.28, 0.49), 0.04),   # seat cushion
        ((-0.38, -0.36, 0.14), (-0.22, 0.36, 1.12), 0.04),  # back
        ((-0.34, -0.42, 0.14), (0.30, -0.28, 0.66), 0.04),  # arm
        ((-0.34, 0.28, 0.14), (0.30, 0.42, 0.66), 0.04),
        ((-0.36, -0.44, 0.60), (-0.08, -0.30, 1.08), 0.04),  # wings
        ((-0.36, 0.30, 0.60), (-0.08, 0.44, 1.08), 0.04),
    ]
    for k, (lo, hi, bev) in enumerate(parts):
        box(f"chair_{k}", lea, lo, hi, bevel=bev, uv=0.4, matrix=T, smooth=True, segments=3)
    # rolled arms: a scroll along the top of each arm, swelling outwards at the front
    for yy, sgn in ((-0.35, -1), (0.35, 1)):
        roll = [(0.0, -0.34), (0.06, -0.34), (0.075, -0.3), (0.075, 0.24), (0.085, 0.27), (0.09, 0.3), (0.08, 0.325),
                (0.0, 0.33)]
        lathe("chair_arm_roll", lea, roll, segments=16, uv_v=0.3,
              matrix=T @ frame_at((0.0, yy + sgn * 0.005, 0.62), (0, 1, 0), (1, 0, 0)))
    for xx in (-0.32, 0.26):
        for yy in (-0.38, 0.34):
            box("chair_leg", wood, (xx, yy, 0.0), (xx + 0.05, yy + 0.05, 0.14), bevel=0.006, matrix=T)


def build_footstool():
    """A leather footstool on turned legs in front of the armchair."""
    T = Matrix.Translation((0.2, 0.86, 0)) @ Matrix.Rotation(math.radians(-115), 4, "Z")
    box("stool_top", m("Leather"), (-0.2, -0.25, 0.27), (0.2, 0.25, 0.4), bevel=0.035, uv=0.4, matrix=T, smooth=True,
        segments=3)
    box("stool_rail", m("FurnMahogany"), (-0.185, -0.235, 0.22), (0.185, 0.235, 0.275), bevel=0.006, uv=0.4, matrix=T)
    leg = [(0.0, 0.0), (0.014, 0.0), (0.016, 0.01), (0.012, 0.03), (0.018, 0.08), (0.02, 0.12), (0.016, 0.16),
           (0.022, 0.18), (0.022, 0.225), (0.0, 0.225)]
    for xx in (-0.16, 0.16):
        for yy in (-0.21, 0.21):
            lathe("stool_leg", m("FurnMahogany"), leg, segments=12, matrix=T @ Matrix.Translation((xx, yy, 0.0)),
                  uv_v=0.4, grain_along=True)


def build_bookcase():
    oak = m("FurnOak")
    mah = m("FurnMahogany")
    x0, x1, y0, y1 = -2.45, -1.15, RY - 0.36, RY - 0.01
    z1 = 2.05
    box("bc_side_l", mah, (x0, y0, 0), (x0 + 0.03, y1, z1), bevel=0.004, uv=0.5)
    box("bc_side_r", mah, (x1 - 0.03, y0, 0), (x1, y1, z1), bevel=0.004, uv=0.5)
    box("bc_back", oak, (x0, y1 - 0.015, 0), (x1, y1, z1), uv=0.5)
    box("bc_plinth", mah, (x0, y0 - 0.01, 0), (x1, y1, 0.1), bevel=0.005, uv=0.5)
    box("bc_top", mah, (x0, y0, z1), (x1, y1, z1 + 0.07), uv=0.5)
    # a cove-and-ovolo cornice round the front and sides
    sweep("bc_cornice", mah, [(0.0, 0.0), (0.008, 0.0), (0.01, 0.006)] + arc(0.04, 0.006, 0.03, 180, 90, 6)[1:]
          + [(0.044, 0.038)] + arc(0.044, 0.048, 0.01, -90, 90, 5)[1:] + [(0.05, 0.062), (0.05, 0.07), (0.0, 0.07)],
          [(x1, y1, z1), (x1, y0, z1), (x0, y0, z1), (x0, y1, z1)], uv=0.4)
    sweep("bc_base", mah, [(0.0, 0.0), (0.02, 0.0), (0.02, 0.06), (0.014, 0.07)] + arc(0.004, 0.07, 0.01, 0, 90, 3)[1:]
          + [(0.0, 0.085)], [(x1, y1, 0.0), (x1, y0, 0.0), (x0, y0, 0.0), (x0, y1, 0.0)], uv=0.4)
    shelves = [0.1, 0.48, 0.86, 1.24, 1.62, 2.0]
    for k, z in enumerate(shelves[1:-1]):
        box(f"bc_shelf_{k}", mah, (x0 + 0.03, y0, z - 0.02), (x1 - 0.03, y1 - 0.015, z), bevel=0.003, uv=0.5)
    import random
    rnd = random.Random(7)
    bm = bmesh.new()
    uvl = bm.loops.layers.uv.verify()
    for k in range(len(shelves) - 1):
        z = shelves[k] + (0.0 if k == 0 else 0.0)
        top = shelves[k + 1] - 0.02
        x = x0 + 0.035
        while x < x1 - 0.09:
            w = rnd.uniform(0.025, 0.055)
            h = min(top - z - 0.02, rnd.uniform(0.22, 0.33))
            d = rnd.uniform(0.18, 0.24)
            col = rnd.randrange(16)
            if rnd.random() < 0.06:     # a gap now and then
                x += rnd.uniform(0.04, 0.1)
                continue
            lean = 0.0
            res = bmesh.ops.create_cube(bm, size=1.0)
            verts = res["verts"]
            bmesh.ops.scale(bm, vec=(w, d, h), verts=verts)
            bmesh.ops.translate(bm, vec=(x + w / 2, y0 + 0.01 + d / 2, z + h / 2), verts=verts)
            faces = {f for v in verts for f in v.link_faces}
            for f in faces:
                for l in f.loops:
                    co = l.vert.co
                    u = (col + 0.1 + 0.8 * (co.x - x) / w) / 16.0
                    vv = (co.z - z) / 0.34
                    l[uvl].uv = (u, vv)
            x += w + 0.002
    bm.normal_update()
    geom.finish("books", bm, m("Books"))


def build_chest():
    mah = m("FurnMahogany")
    x0, x1, y0, y1 = -RX + 0.01, -RX + 0.52, 0.45, 1.55
    box("chest_body", mah, (x0, y0, 0.08), (x1, y1, 0.86), bevel=0.006, uv=0.5)
    # the top: a slab with a moulded thumbnail edge round the front and sides
    box("chest_top", mah, (x0, y0, 0.86), (x1, y1, 0.895), uv=0.5)
    sweep("chest_top_edge", mah, [(0.0, 0.0), (0.012, 0.0), (0.018, 0.006)] + arc(0.018, 0.02, 0.014, -90, 90, 6)[1:]
          + [(0.0, 0.035), (-0.02, 0.035)], [(x0, y1, 0.86), (x1, y1, 0.86), (x1, y0, 0.86), (x0, y0, 0.86)], uv=0.4)
    # and a moulded base round the body's foot
    sweep("chest_base", mah, [(0.0, 0.0), (0.018, 0.0), (0.018, 0.025)] + arc(0.008, 0.025, 0.01, 0, 90, 3)[1:]
          + [(0.0, 0.04)], [(x0, y1, 0.08), (x1, y1, 0.08), (x1, y0, 0.08), (x0, y0, 0.08)], uv=0.4)
    for yy in (y0 + 0.02, y1 - 0.07):
        box("chest_foot", mah, (x1 - 0.07, yy, 0.0), (x1 - 0.01, yy + 0.05, 0.08), bevel=0.006)
        box("chest_foot", mah, (x0, yy, 0.0), (x0 + 0.06, yy + 0.05, 0.08), bevel=0.006)
    for k, (za, zb) in enumerate([(0.12, 0.34), (0.37, 0.59), (0.62, 0.83)]):
        box(f"chest_drawer_{k}", mah, (x1, y0 + 0.04, za), (x1 + 0.012, y1 - 0.04, zb), bevel=0.006, uv=0.5)
        front = [(x1 + 0.012, y0 + 0.04, za), (x1 + 0.012, y1 - 0.04, za), (x1 + 0.012, y1 - 0.04, zb),
                 (x1 + 0.012, y0 + 0.04, zb)]
        sweep(f"chest_drawer_bead_{k}", mah, arc(0.0, 0.0, 0.005, 0, 180, 5), front, normal=(1, 0, 0), closed=True,
              uv=0.3)
        for yy in (y0 + 0.25, y1 - 0.25):
            lathe("chest_knob", m("FurnBrass"), [(0.0, 0.0), (0.012, 0.0), (0.006, 0.012), (0.015, 0.025), (0.0, 0.03)],
                  segments=10, matrix=frame_at((x1 + 0.012, yy, (za + zb) / 2), (0, 1, 0), (1, 0, 0)))
    # a candlestick and a small box on the chest
    lathe("candlestick", m("FurnBrass"), [(0.0, 0.0), (0.06, 0.0), (0.05, 0.015), (0.012, 0.03), (0.01, 0.2),
                                          (0.03, 0.21), (0.015, 0.23), (0.0, 0.23)], segments=16,
          centre=(x0 + 0.25, y1 - 0.2, 0.895), uv_v=0.2)
    box("chest_box", mah, (x0 + 0.15, y0 + 0.15, 0.895), (x0 + 0.35, y0 + 0.42, 0.97), bevel=0.006, uv=0.3)


def build_painting():
    cx, cz, w, h = 0.55, 1.78, 0.80, 0.60
    y = RY - 0.025
    # canvas faces -y; u runs with x (left to right seen from the room), v up
    pic = quad("Picture", m("Canvas"), [(cx - w / 2, y, cz - h / 2), (cx + w / 2, y, cz - h / 2),
                                        (cx + w / 2, y, cz + h / 2), (cx - w / 2, y, cz + h / 2)],
               uvs=[(0, 0), (1, 0), (1, 1), (0, 1)])
    NAMED["Picture"] = pic
    # a deep gilt frame: a rounded outer edge, a high ridge, a hollow and a bead, and a slope
    # down to the sight edge just in front of the canvas
    profile = ([(0.085, 0.0), (0.085, 0.022)] + arc(0.07, 0.022, 0.015, 0, 90, 4)[1:]
               + [(0.062, 0.04)] + arc(0.05, 0.04, 0.012, 0, 180, 6)[1:]
               + arc(0.026, 0.038, 0.012, 0, -180, 6)[1:] + arc(0.009, 0.038, 0.005, 0, 180, 4)[1:]
               + [(0.0, 0.034), (-0.004, 0.028), (-0.004, 0.0)])
    corners = [(cx - w / 2, RY, cz - h / 2), (cx + w / 2, RY, cz - h / 2), (cx + w / 2, RY, cz + h / 2),
               (cx - w / 2, RY, cz + h / 2)]
    sweep("frame", m("Gilt"), profile, facing(corners, (0, -1, 0)), normal=(0, -1, 0), closed=True, uv=0.15)
    # a pair of brass candle sconces flanking the picture
    brass = m("FurnBrass")
    tube = [(0.007 * math.cos(2 * math.pi * i / 8), 0.007 * math.sin(2 * math.pi * i / 8)) for i in range(9)]
    for xs in (cx - 0.68, cx + 0.68):
        z0 = cz - 0.06
        lathe("sconce_plate", brass, [(0.0, 0.0), (0.045, 0.0), (0.045, 0.005), (0.038, 0.01), (0.02, 0.014), (0.0, 0.015)],
              segments=24, matrix=frame_at((xs, RY, z0), (1, 0, 0), (0, -1, 0)) @ Matrix.Scale(1.7, 4, (0, 1, 0)))
        arm = [(xs, RY - 0.01 - 0.12 * math.sin(math.pi / 2 * t), z0 + 0.12 * (1 - math.cos(math.pi / 2 * t)))
               for t in (i / 8 for i in range(9))]
        sweep("sconce_arm", brass, tube, arm, normal=(1, 0, 0), cap=False, uv=0.2)
        top = (xs, RY - 0.13, z0 + 0.12)
        lathe("sconce_cup", brass, [(0.0, -0.01), (0.008, -0.01), (0.012, 0.0), (0.045, 0.01), (0.046, 0.014), (0.016, 0.016),
                                    (0.018, 0.045), (0.014, 0.05), (0.0, 0.05)], segments=20, centre=top)
        lathe("sconce_candle", m("PaintTrim"), [(0.0, 0.0), (0.011, 0.0), (0.011, 0.14), (0.008, 0.146), (0.0, 0.147)],
              segments=16, centre=(top[0], top[1], top[2] + 0.05))


def build_rug():
    x0, x1, y0, y1 = -1.4, 1.5, -1.1, 1.0
    quad("rug", m("Rug"), [(x0, y0, 0.008), (x1, y0, 0.008), (x1, y1, 0.008), (x0, y1, 0.008)],
         uvs=[(0, 0), (1, 0), (1, 1), (0, 1)])
    for k, (lo, hi) in enumerate([((x0, y0, 0), (x1, y0 + 0.004, 0.008)), ((x0, y1 - 0.004, 0), (x1, y1, 0.008)),
                                  ((x0, y0, 0), (x0 + 0.004, y1, 0.008)), ((x1 - 0.004, y0, 0), (x1, y1, 0.008))]):
        # only the sides: the top would lie in the rug's own plane
        box(f"rug_edge_{k}", m("Rug"), lo, hi, uv=0.05, drop=("-z", "+z"))


def build_all():
    build_shell()
    build_curtains()
    rain = build_outdoor()
    build_clock()
    build_lamp()
    build_armchair()
    build_footstool()
    build_bookcase()
    build_chest()
    build_painting()
    build_rug()
    return rain


# --- mouldings and panelling ------------------------------------------------------------

def arc(cx, cy, r, a0, a1, steps):
    """Points of a circular arc in the (side, up) plane, angles in degrees."""
    return [(cx + r * math.cos(math.radians(a0 + (a1 - a0) * i / steps)),
             cy + r * math.sin(math.radians(a0 + (a1 - a0) * i / steps))) for i in range(steps + 1)]


def lift(profile, dz):
    return [(s, u + dz) for s, u in profile]


# profiles in (out from the wall, up), counter-clockwise from the wall back to the wall
# (no facet much under two centimetres: thinner ones get too few light-map texels to bake cleanly)
CORNICE = ([(0.0, 0.0), (0.022, 0.0), (0.026, 0.022)]
           + arc(0.135, 0.03, 0.105, 180, 90, 6)[1:]
           + [(0.16, 0.148), (0.18, 0.152), (0.18, 0.18)])
SKIRTING = ([(0.0, 0.0), (0.024, 0.0), (0.024, 0.135), (0.018, 0.14), (0.018, 0.148)]
            + arc(0.008, 0.148, 0.01, 0, 90, 4) + [(0.0, 0.165)])
DADO = ([(0.0, 0.0), (0.012, 0.0), (0.014, 0.008)] + arc(0.016, 0.028, 0.02, -90, 90, 8)
        + [(0.012, 0.052), (0.008, 0.058), (0.0, 0.06)])
ARCHITRAVE = list(reversed([(0.0, 0.0), (0.008, 0.0), (0.008, 0.008), (0.014, 0.012)]
                            + arc(0.04, 0.012, 0.026, 180, 90, 5)
                            + [(0.05, 0.038), (0.07, 0.03), (0.085, 0.022), (0.09, 0.012), (0.095, 0.0)]))


def runs(skip_window=False):
    """The wall runs counter-clockwise seen from above (so moulding profiles face into the room),
    from one side of the door round to the other, split at the window when asked."""
    d0, d1 = DOOR[0] - 0.1, DOOR[1] + 0.1
    if not skip_window:
        return [[(-RX, d0), (-RX, -RY), (RX, -RY), (RX, RY), (-RX, RY), (-RX, d1)]]
    return [[(-RX, d0), (-RX, -RY), (WIN[0] - 0.1, -RY)],
            [(WIN[1] + 0.1, -RY), (RX, -RY), (RX, RY), (-RX, RY), (-RX, d1)]]


def build_mouldings(dado):
    corners = [(-RX, -RY), (RX, -RY), (RX, RY), (-RX, RY)]
    sweep("cornice", m("PaintTrim"), lift(CORNICE, 0.0), [(x, y, RZ - 0.18) for x, y in corners],
          closed=True, uv=0.6)
    for k, path in enumerate(runs()):
        sweep(f"skirting_{k}", m("Trim"), SKIRTING, [(x, y, 0.0) for x, y in path], uv=0.8)
    for k, path in enumerate(runs(skip_window=True)):
        sweep(f"dado_{k}", m("Trim"), DADO, [(x, y, dado - 0.035) for x, y in path], uv=0.8)
    # architraves round the door and the window, on the wall's face
    y0, y1, top = DOOR
    sweep("door_architrave", m("Trim"), ARCHITRAVE,
          [(-RX, y0 - 0.005, 0.0), (-RX, y0 - 0.005, top + 0.005), (-RX, y1 + 0.005, top + 0.005), (-RX, y1 + 0.005, 0.0)],
          normal=(1, 0, 0), uv=0.8)
    x0, x1, z0, z1 = WIN
    sweep("window_architrave", m("PaintTrim"), ARCHITRAVE,
          [(x1 + 0.005, -RY, z0 - 0.045), (x1 + 0.005, -RY, z1 + 0.005), (x0 - 0.005, -RY, z1 + 0.005),
           (x0 - 0.005, -RY, z0 - 0.045)], normal=(0, 1, 0), uv=0.8)


def facing(corners, normal):
    """The corners in the order that runs clockwise seen from the side `normal` points to."""
    p = [Vector(c) for c in corners]
    ccw = (p[1] - p[0]).cross(p[2] - p[1]).dot(Vector(normal)) > 0
    return list(reversed(corners)) if ccw else list(corners)


def raised_field(name, mat, corners, normal, inset, height, uv=0.9):
    """A raised panel: the rectangle `corners` rising by `height` along `normal` to a flat field
    inset by `inset`, with sloped sides (the back is left open against the wall)."""
    N = Vector(normal).normalized()
    p = [Vector(c) for c in facing(corners, normal)][::-1]       # counter-clockwise from the front
    centre = sum(p, Vector()) / 4
    top = []
    for i in range(4):
        prev, nxt = p[i - 1], p[(i + 1) % 4]
        d = ((prev - p[i]).normalized() + (nxt - p[i]).normalized()) * inset
        top.append(p[i] + d + N * height)
    bm = bmesh.new()
    vb = [bm.verts.new(v) for v in p]
    vt = [bm.verts.new(v) for v in top]
    bm.faces.new(vt)
    for i in range(4):
        j = (i + 1) % 4
        bm.faces.new((vb[i], vb[j], vt[j], vt[i]))
    bm.normal_update()
    for f in bm.faces:
        if f.normal.dot(N) < -1e-3 or (f.calc_center_median() - centre).dot(f.normal) < -1e-4:
            f.normal_flip()
    geom.box_uv(bm, uv)
    return geom.finish(name, bm, mat)


def build_panels(dado):
    """Raised oak panels in the wainscot, each field sloping up from a small moulded frame, so
    the lamp and the window light catch their edges."""
    zb, zt = 0.26, dado - 0.11
    # from 4 mm over the field's edge, over the top and down onto the rail 16 mm out
    bolection = [(0.016, 0.0), (0.014, 0.006), (0.01, 0.013), (0.005, 0.018), (0.0, 0.02),
                 (-0.003, 0.017), (-0.004, 0.01), (-0.004, 0.0)]
    walls = [  # (axis, coordinate, inward, spans along the wall)
        ("x", RX, -1, [(-RY + 0.12, RY - 0.12)]),
        ("x", -RX, 1, [(-RY + 0.12, DOOR[0] - 0.2), (DOOR[1] + 0.2, RY - 0.12)]),
        ("y", RY, -1, [(-RX + 0.12, RX - 0.12)]),
        ("y", -RY, 1, [(-RX + 0.12, WIN[0] - 0.22), (WIN[1] + 0.22, RX - 0.12)]),
    ]
    k = 0
    for axis, c, inward, spans in walls:
        normal = (inward, 0, 0) if axis == "x" else (0, inward, 0)
        for s0, s1 in spans:
            length = s1 - s0
            count = max(1, int(round(length / 0.62)))
            gap = 0.12
            w = (length - gap * (count - 1)) / count
            for i in range(count):
                a = s0 + i * (w + gap)
                b = a + w
                if axis == "x":
                    corners = [(c, a, zb), (c, b, zb), (c, b, zt), (c, a, zt)]
                else:
                    corners = [(a, c, zb), (b, c, zb), (b, c, zt), (a, c, zt)]
                raised_field(f"panel_{k}", m("Wainscot"), corners, normal, 0.045, 0.012)
                # clockwise seen from the room, so the profile's side runs out from the field
                sweep(f"panel_frame_{k}", m("Trim"), bolection, facing(corners, normal), normal=normal,
                      closed=True, uv=0.5)
                k += 1
