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
from geom import box, lathe, outline, sheet, quad, frame_at
from materials import MATS

RX, RY, RZ = 3.0, 2.5, 3.0
WIN = (0.0, 1.2, 0.9, 2.6)          # window opening in the -y wall: x0, x1, z0, z1
DOOR = (-1.95, -1.05, 2.15)         # door in the -x wall: y0, y1, top
DIAL_X = 2.72                       # dial plate surface
DIAL_C = (0.0, 1.65)                # dial centre (y, z)
LAMP = (1.3, 1.55)
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
    for band, mat, z0, z1, uv in (("paper", "Wallpaper", dado, RZ, 0.45), ("panel", "Wainscot", 0.0, dado, 0.9)):
        wall_faces(f"wall_px_{band}", m(mat), "x", RX, (-RY, RY), z0, z1, -1, uv=uv)
        wall_faces(f"wall_nx_{band}", m(mat), "x", -RX, (-RY, RY), z0, z1, +1, holes=[door_hole], uv=uv)
        wall_faces(f"wall_py_{band}", m(mat), "y", RY, (-RX, RX), z0, z1, -1, uv=uv)
        wall_faces(f"wall_ny_{band}", m(mat), "y", -RY, (-RX, RX), z0, z1, +1, holes=[win_hole], uv=uv)
    # skirting, dado rail and cornice run round the walls, broken at the door and the window
    runs = [("x", RX, (-RY, RY), -1), ("x", -RX, (-RY, DOOR[0] - 0.08), 1), ("x", -RX, (DOOR[1] + 0.08, RY), 1),
            ("y", RY, (-RX, RX), -1), ("y", -RY, (-RX, RX), 1)]
    for i, (axis, c, (s0, s1), inward) in enumerate(runs):
        def strip(name, z0, z1, depth, mat, spans):
            for j, (a, b) in enumerate(spans):
                if axis == "x":
                    lo = (c + min(0, inward * depth), a, z0)
                    hi = (c + max(0, inward * depth), b, z1)
                else:
                    lo = (a, c + min(0, inward * depth), z0)
                    hi = (b, c + max(0, inward * depth), z1)
                box(f"{name}_{i}_{j}", m(mat), lo, hi, bevel=0.004, uv=0.8)
        spans = [(s0, s1)]
        strip("skirting", 0.0, 0.17, 0.02, "Trim", spans)
        dspans = spans
        if axis == "y" and c < 0:
            dspans = [(s0, WIN[0] - 0.08), (WIN[1] + 0.08, s1)]
        strip("dado", dado - 0.03, dado + 0.02, 0.03, "Trim", dspans)
    for i, (axis, c, (s0, s1), inward) in enumerate([("x", RX, (-RY, RY), -1), ("x", -RX, (-RY, RY), 1),
                                                       ("y", RY, (-RX, RX), -1), ("y", -RY, (-RX, RX), 1)]):
        for k, (z0, z1, d) in enumerate([(RZ - 0.14, RZ - 0.06, 0.05), (RZ - 0.07, RZ, 0.11)]):
            if axis == "x":
                lo, hi = (c + min(0, inward * d), s0, z0), (c + max(0, inward * d), s1, z1)
            else:
                lo, hi = (s0, c + min(0, inward * d), z0), (s1, c + max(0, inward * d), z1)
            box(f"cornice_{i}_{k}", m("PaintTrim"), lo, hi, bevel=0.01, uv=0.8)
    lathe("ceiling_rose", m("PaintTrim"), [(0.0, -0.055), (0.08, -0.05), (0.2, -0.035), (0.3, -0.02), (0.32, -0.002)],
          segments=32, centre=(0.3, 0.0, RZ), cap_top=False, uv_v=0.3)
    build_door()
    build_window()
    return floor


def build_door():
    y0, y1, top = DOOR
    box("door_leaf", m("FurnOak"), (-RX - 0.04, y0, 0.0), (-RX + 0.005, y1, top), uv=0.45)
    for k, (lo, hi) in enumerate([((-RX, y0 - 0.08, 0), (-RX + 0.025, y0, top + 0.08)),
                                  ((-RX, y1, 0), (-RX + 0.025, y1 + 0.08, top + 0.08)),
                                  ((-RX, y0, top), (-RX + 0.025, y1, top + 0.08))]):
        box(f"door_arch_{k}", m("Trim"), lo, hi, bevel=0.006, uv=0.8)
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
    fy0, fy1 = -RY - 0.16, -RY - 0.11
    t = 0.05
    frame = [((x0, fy0, z0), (x0 + t, fy1, z1)), ((x1 - t, fy0, z0), (x1, fy1, z1)),
             ((x0, fy0, z0), (x1, fy1, z0 + t)), ((x0, fy0, z1 - t), (x1, fy1, z1))]
    zm = (z0 + z1) / 2
    bars = [((x0, fy0 - 0.01, zm - 0.025), (x1, fy1 + 0.01, zm + 0.025))]
    for k in (1, 2):
        xb = x0 + (x1 - x0) * k / 3
        bars.append(((xb - 0.012, fy0, z0), (xb + 0.012, fy1, z1)))
    for a, b in ((z0, zm), (zm, z1)):
        zb = (a + b) / 2
        bars.append(((x0, fy0, zb - 0.012), (x1, fy1, zb + 0.012)))
    for k, (lo, hi) in enumerate(frame + bars):
        box(f"sash_{k}", m("PaintTrim"), lo, hi, bevel=0.003, uv=0.5)
    gy = (fy0 + fy1) / 2
    g = quad("window_glass", m("WindowGlass"), [(x0, gy, z0), (x1, gy, z0), (x1, gy, z1), (x0, gy, z1)],
             uvs=[(0, 0), (2, 0), (2, 3), (0, 3)])
    g["udf_AlphaUse"] = "texture"
    g["udf_Lit"] = "0"
    g["shadow"] = 0


def build_curtains():
    x0, x1, z0, z1 = WIN
    top = 2.76
    # curtain pole
    lathe("curtain_pole", m("FurnBrass"), [(0.0, -0.02), (0.02, -0.02), (0.014, 0.0), (0.014, 2.2), (0.02, 2.22), (0.0, 2.24)],
          segments=12, matrix=frame_at((x0 - 0.5, -RY + 0.09, top), (0, 1, 0), (1, 0, 0)), uv_v=0.2)
    # heavy velvet drapes tied back on both sides
    for side, (outer, inner) in (("l", (x0 - 0.45, x0 + 0.12)), ("r", (x1 + 0.45, x1 - 0.12))):
        sgn = 1 if inner > outer else -1

        def drape(u, v, outer=outer, inner=inner, sgn=sgn):
            z = top - 0.02 - v * (top - 0.03)
            full = abs(inner - outer)
            tie = 1.05
            pinch = 0.35 + 0.65 * min(1.0, abs(z - tie) / 0.9)
            width = full * pinch
            x = outer + sgn * u * width
            y = -RY + 0.08 + 0.035 * math.sin(u * 2 * math.pi * 3.5) * (0.6 + 0.4 * pinch)
            return (x, y, z)
        ob = sheet(f"drape_{side}", m("Velvet"), drape, 28, 24, uv_scale=(2.0, 3.0))
    # sheer lace across the left half of the window: the program's "Curtain"
    def lace(u, v):
        x = x0 - 0.02 + u * 0.68
        z = top - 0.04 - v * (top - 0.04 - (z0 + 0.02))
        y = -RY + 0.05 + 0.02 * math.sin(u * 2 * math.pi * 5)
        return (x, y, z)
    c = sheet("Curtain", m("Lace"), lace, 30, 6, uv_scale=(2.5, 4.0))
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

def build_clock():
    cm = m("CaseMahogany")
    brass = m("CaseBrass")
    xb = 2.98
    # bracket feet
    for yy in (-0.27, 0.19):
        for xx in (2.665, 2.90):
            box("clock_foot", cm, (xx, yy, 0.0), (xx + 0.08, yy + 0.08, 0.05), bevel=0.006, uv=0.4)
    box("clock_plinth", cm, (2.68, -0.26, 0.05), (xb, 0.26, 0.50), bevel=0.008, uv=0.4)
    box("clock_plinth_panel", cm, (2.665, -0.19, 0.12), (2.68, 0.19, 0.43), bevel=0.008, uv=0.4)
    box("clock_plinth_top", cm, (2.665, -0.275, 0.50), (xb, 0.275, 0.535), bevel=0.01, uv=0.4)
    # trunk: two sides, a back board and the glazed door frame
    box("clock_trunk_l", cm, (2.74, -0.20, 0.535), (xb, -0.18, 1.43), bevel=0.004, uv=0.4)
    box("clock_trunk_r", cm, (2.74, 0.18, 0.535), (xb, 0.20, 1.43), bevel=0.004, uv=0.4)
    box("clock_trunk_back", m("CaseMahogany"), (2.95, -0.18, 0.535), (2.97, 0.18, 1.43), uv=0.4)
    box("clock_trunk_floor", cm, (2.74, -0.18, 0.535), (2.95, 0.18, 0.55), uv=0.4)
    gy0, gy1, gz0, gz1 = -0.13, 0.13, 0.62, 1.36
    fx0, fx1 = 2.715, 2.745
    for k, (lo, hi) in enumerate([((fx0, -0.20, 0.55), (fx1, gy0, 1.43)), ((fx0, gy1, 0.55), (fx1, 0.20, 1.43)),
                                  ((fx0, gy0, 0.55), (fx1, gy1, gz0)), ((fx0, gy0, gz1), (fx1, gy1, 1.43))]):
        box(f"clock_door_{k}", cm, lo, hi, bevel=0.006, uv=0.4)
    lathe("clock_door_key", brass, [(0.0, 0.0), (0.01, 0.0), (0.008, 0.015), (0.0, 0.018)], segments=10,
          matrix=frame_at((fx0, 0.165, 1.0), (0, 1, 0), (-1, 0, 0)))
    glass = quad("Clock glass", m("ClockGlass"),
                 [(fx0 + 0.012, gy1, gz0), (fx0 + 0.012, gy0, gz0), (fx0 + 0.012, gy0, gz1), (fx0 + 0.012, gy1, gz1)],
                 uvs=[(0, 0), (1, 0), (1, 2), (0, 2)])
    glass["udf_AlphaUse"] = "texture"
    glass["udf_Lit"] = "0"
    glass["shadow"] = 0
    NAMED["Clock glass"] = glass
    box("clock_waist_moulding", cm, (2.70, -0.235, 1.43), (xb, 0.235, 1.46), bevel=0.008, uv=0.4)
    # hood
    box("clock_hood_l", cm, (2.70, -0.25, 1.46), (xb, -0.23, 2.02), bevel=0.004, uv=0.4)
    box("clock_hood_r", cm, (2.70, 0.23, 1.46), (xb, 0.25, 2.02), bevel=0.004, uv=0.4)
    box("clock_hood_back", cm, (2.96, -0.23, 1.46), (xb, 0.23, 2.02), uv=0.4)
    hx0, hx1 = 2.695, 2.715
    dz0, dzs, dr = 1.50, 1.80, 0.15
    for k, (lo, hi) in enumerate([((hx0, -0.23, 1.46), (hx1, -0.155, 2.02)), ((hx0, 0.155, 1.46), (hx1, 0.23, 2.02)),
                                  ((hx0, -0.155, 1.46), (hx1, 0.155, dz0)), ((hx0, -0.155, 1.955), (hx1, 0.155, 2.02))]):
        box(f"clock_hood_front_{k}", cm, lo, hi, bevel=0.004, uv=0.4)
    # the two corners above the arch
    for sgn in (-1, 1):
        pts = [(sgn * 0.155, dzs), (sgn * 0.155, 1.955), (0.0, 1.955)]
        for i in range(1, 16):
            a = math.pi / 2 * i / 16
            pts.append((sgn * dr * math.sin(a), dzs + dr * math.cos(a)))
        pts.append((sgn * dr, dzs))
        # outline() takes the shape in its local XY plane: local X = world y, local Y = world z
        outline(f"clock_arch_{sgn}", cm, pts, 0.02, matrix=frame_at((hx0, 0, 0), (0, 1, 0), (1, 0, 0)), uv=0.4)
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
    lathe("clock_arbor", brass, [(0.0, 0.0), (0.008, 0.0), (0.006, 0.012), (0.0, 0.014)], segments=12,
          matrix=frame_at((DIAL_X, DIAL_C[0], DIAL_C[1]), (0, 1, 0), (-1, 0, 0)))
    # turned columns with brass caps
    for yy in (-0.205, 0.205):
        prof = [(0.0, 0.0), (0.022, 0.0), (0.022, 0.02), (0.015, 0.03), (0.014, 0.10), (0.017, 0.14),
                (0.013, 0.20), (0.012, 0.40), (0.015, 0.44), (0.0155, 0.46), (0.0, 0.46)]
        lathe("clock_column", cm, prof, segments=14, centre=(2.675, yy, 1.49), uv_v=0.2)
        lathe("clock_column_cap", brass, [(0.0, 0.0), (0.02, 0.0), (0.024, 0.02), (0.0, 0.02)], segments=14,
              centre=(2.675, yy, 1.95))
        lathe("clock_column_base", brass, [(0.0, 0.0), (0.024, 0.0), (0.02, 0.02), (0.0, 0.02)], segments=14,
              centre=(2.675, yy, 1.47))
    box("clock_hood_cornice", cm, (2.655, -0.275, 2.02), (xb + 0.005, 0.275, 2.06), bevel=0.01, uv=0.4)
    # break-arch pediment
    ped = [(-0.26, 2.06), (0.26, 2.06), (0.26, 2.10), (0.17, 2.10)]
    for i in range(1, 16):
        a = math.pi * i / 16
        ped.append((0.17 * math.cos(a), 2.10 + 0.09 * math.sin(a)))
    ped += [(-0.17, 2.10), (-0.26, 2.10)]
    outline("clock_pediment", cm, ped, 0.29, matrix=frame_at((2.67, 0, 0), (0, 1, 0), (1, 0, 0)), uv=0.4)
    # finials: ball and spire
    for yy, zz in ((-0.22, 2.10), (0.22, 2.10), (0.0, 2.19)):
        lathe("clock_finial", brass,
              [(0.0, 0.0), (0.02, 0.0), (0.012, 0.015), (0.022, 0.035), (0.024, 0.05), (0.018, 0.065),
               (0.006, 0.075), (0.004, 0.13), (0.0, 0.14)], segments=14, centre=(2.82, yy, zz))
    build_movement()
    build_hands()


def build_movement():
    brass = m("CaseBrass")
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
    geom.box_uv(bm, 0.3)
    rod = geom.finish("clock mayatnik", bm, m("Pendulum"))
    bob = lathe("pend_bob", m("Pendulum"),
                [(0.0, -0.014), (0.04, -0.012), (0.07, -0.006), (0.08, 0.0), (0.07, 0.006), (0.04, 0.012), (0.0, 0.014)],
                segments=28, matrix=Matrix.Translation((0, 0, -PEND_LEN)) @ Matrix.Rotation(math.radians(90), 4, "Y"),
                uv_v=0.1)
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
    lathe("table_top", fm, [(0.0, 0.0), (0.31, 0.0), (0.33, 0.012), (0.33, 0.025), (0.31, 0.035), (0.0, 0.035)],
          segments=40, centre=(lx, ly, 0.675), uv_v=0.4)
    lathe("table_stem", fm, [(0.0, 0.0), (0.2, 0.0), (0.2, 0.03), (0.06, 0.06), (0.035, 0.1), (0.05, 0.2),
                             (0.03, 0.3), (0.028, 0.55), (0.05, 0.6), (0.05, 0.63), (0.0, 0.68)],
          segments=24, centre=(lx, ly, 0.0), uv_v=0.4)
    b = m("FurnBrass")
    lathe("lamp_base", b, [(0.0, 0.0), (0.085, 0.0), (0.08, 0.02), (0.03, 0.04), (0.012, 0.06), (0.012, 0.40),
                           (0.02, 0.41), (0.008, 0.43), (0.0, 0.43)], segments=24, centre=(lx, ly, 0.71), uv_v=0.2)
    shade = lathe("Lamp lamp", m("LampShade"),
                  [(0.19, 0.0), (0.185, 0.01), (0.11, 0.24), (0.105, 0.25)],
                  segments=36, centre=(lx, ly, 1.02), cap_top=False, cap_bottom=False, uv_v=0.25)
    shade["udf_Lit"] = "0"
    shade["shadow"] = 0
    NAMED["Lamp lamp"] = shade
    # a few small things on the table
    box("table_book", m("Books"), (lx - 0.05, ly - 0.25, 0.71), (lx + 0.13, ly - 0.12, 0.745), bevel=0.003, uv=0.3)


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
    for xx in (-0.32, 0.26):
        for yy in (-0.38, 0.34):
            box("chair_leg", wood, (xx, yy, 0.0), (xx + 0.05, yy + 0.05, 0.14), bevel=0.006, matrix=T)


def build_bookcase():
    oak = m("FurnOak")
    mah = m("FurnMahogany")
    x0, x1, y0, y1 = -2.45, -1.15, RY - 0.36, RY - 0.01
    z1 = 2.05
    box("bc_side_l", mah, (x0, y0, 0), (x0 + 0.03, y1, z1), bevel=0.004, uv=0.5)
    box("bc_side_r", mah, (x1 - 0.03, y0, 0), (x1, y1, z1), bevel=0.004, uv=0.5)
    box("bc_back", oak, (x0, y1 - 0.015, 0), (x1, y1, z1), uv=0.5)
    box("bc_plinth", mah, (x0, y0 - 0.01, 0), (x1, y1, 0.1), bevel=0.005, uv=0.5)
    box("bc_top", mah, (x0 - 0.03, y0 - 0.04, z1), (x1 + 0.03, y1, z1 + 0.06), bevel=0.01, uv=0.5)
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
    box("chest_top", mah, (x0, y0 - 0.03, 0.86), (x1 + 0.03, y1 + 0.03, 0.895), bevel=0.01, uv=0.5)
    for yy in (y0 + 0.02, y1 - 0.07):
        box("chest_foot", mah, (x1 - 0.07, yy, 0.0), (x1 - 0.01, yy + 0.05, 0.08), bevel=0.006)
        box("chest_foot", mah, (x0, yy, 0.0), (x0 + 0.06, yy + 0.05, 0.08), bevel=0.006)
    for k, (za, zb) in enumerate([(0.12, 0.34), (0.37, 0.59), (0.62, 0.83)]):
        box(f"chest_drawer_{k}", mah, (x1, y0 + 0.04, za), (x1 + 0.012, y1 - 0.04, zb), bevel=0.006, uv=0.5)
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
    g = m("Gilt")
    fw, fd = 0.075, 0.05
    for k, (lo, hi) in enumerate([
            ((cx - w / 2 - fw, RY - fd, cz - h / 2 - fw), (cx - w / 2, RY, cz + h / 2 + fw)),
            ((cx + w / 2, RY - fd, cz - h / 2 - fw), (cx + w / 2 + fw, RY, cz + h / 2 + fw)),
            ((cx - w / 2, RY - fd, cz - h / 2 - fw), (cx + w / 2, RY, cz - h / 2)),
            ((cx - w / 2, RY - fd, cz + h / 2), (cx + w / 2, RY, cz + h / 2 + fw))]):
        box(f"frame_{k}", g, lo, hi, bevel=0.012, uv=0.15)


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
    build_bookcase()
    build_chest()
    build_painting()
    build_rug()
    return rain
