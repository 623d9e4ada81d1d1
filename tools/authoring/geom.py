"""Mesh builders for the room: boxes, turned (lathe) parts, extruded outlines and sheets.

All builders work in Blender's frame (metres, Z up); the media compiler turns that into the
engine's left-handed centimetres. Every builder fills UV map "UV0" for the base texture; the
light-map UVs ("UV1") are laid out later, per light-map atlas.
"""
import math

import bmesh
import bpy
from mathutils import Matrix, Vector

COLLECTION = None


def collection():
    global COLLECTION
    if COLLECTION is None:
        COLLECTION = bpy.data.collections.new("Room")
        bpy.context.scene.collection.children.link(COLLECTION)
    return COLLECTION


def finish(name, bm, mat, smooth=False, matrix=None):
    me = bpy.data.meshes.new(name)
    if matrix is not None:
        bm.transform(matrix)
    bm.normal_update()
    bm.to_mesh(me)
    bm.free()
    me.uv_layers[0].name = "UV0" if len(me.uv_layers) else me.uv_layers.new(name="UV0").name
    for p in me.polygons:
        p.use_smooth = smooth
    if smooth:
        me.use_auto_smooth = True
        me.auto_smooth_angle = math.radians(50)
    ob = bpy.data.objects.new(name, me)
    collection().objects.link(ob)
    if mat is not None:
        me.materials.append(mat)
    return ob


def box_uv(bm, scale, origin=(0.0, 0.0, 0.0)):
    """Planar UVs by the dominant axis of each face, `scale` metres per texture repeat."""
    uv = bm.loops.layers.uv.verify()
    for f in bm.faces:
        n = f.normal
        ax = max(range(3), key=lambda i: abs(n[i]))
        for l in f.loops:
            c = l.vert.co - Vector(origin)
            if ax == 0:
                u, v = (c.y if n.x < 0 else -c.y), c.z
            elif ax == 1:
                u, v = (-c.x if n.y < 0 else c.x), c.z
            else:
                u, v = c.x, c.y
            l[uv].uv = (u / scale, v / scale)


def box(name, mat, lo, hi, bevel=0.0, uv=0.5, smooth=False, matrix=None, drop=(), segments=1):
    """Axis-aligned box from lo to hi (in the local frame given by `matrix`).
    `drop` lists faces to leave out by direction: '-x', '+z', ..."""
    bm = bmesh.new()
    bmesh.ops.create_cube(bm, size=1.0)
    size = Vector(hi) - Vector(lo)
    centre = (Vector(hi) + Vector(lo)) / 2
    bmesh.ops.scale(bm, vec=size, verts=bm.verts)
    bmesh.ops.translate(bm, vec=centre, verts=bm.verts)
    bm.normal_update()
    if drop:
        kill = []
        for f in bm.faces:
            n = f.normal
            for d in drop:
                axis = "xyz".index(d[1])
                if (n[axis] > 0.5 and d[0] == "+") or (n[axis] < -0.5 and d[0] == "-"):
                    kill.append(f)
        bmesh.ops.delete(bm, geom=list(set(kill)), context="FACES")
    if bevel > 0:
        bmesh.ops.bevel(bm, geom=bm.edges[:], offset=bevel, segments=segments, affect="EDGES",
                        profile=0.5, clamp_overlap=True)
    bm.normal_update()
    box_uv(bm, uv)
    return finish(name, bm, mat, smooth=smooth, matrix=matrix)


def lathe(name, mat, profile, segments=24, centre=(0, 0, 0), uv_v=0.3, smooth=True,
          matrix=None, cap_top=True, cap_bottom=True, arc=None, grain_along=False):
    """Surface of revolution about the local Z axis through `centre`; profile is a list of
    (radius, z) from bottom to top. Textures run their u round the part; `grain_along` turns
    them so that u runs along it, as the grain of a turned wooden part does."""
    bm = bmesh.new()
    uvl = bm.loops.layers.uv.verify()
    a0, a1 = (0.0, 2 * math.pi) if arc is None else arc
    closed = arc is None
    nseg = segments
    rings = []
    for r, z in profile:
        ring = []
        count = nseg if closed else nseg + 1
        for i in range(count):
            a = a0 + (a1 - a0) * i / nseg
            ring.append(bm.verts.new((centre[0] + r * math.cos(a), centre[1] + r * math.sin(a),
                                      centre[2] + z)))
        rings.append(ring)
    length = [0.0]
    for k in range(1, len(profile)):
        dr = profile[k][0] - profile[k - 1][0]
        dz = profile[k][1] - profile[k - 1][1]
        length.append(length[-1] + math.hypot(dr, dz))
    for k in range(len(rings) - 1):
        lo, hi = rings[k], rings[k + 1]
        n = len(lo)
        steps = n if closed else n - 1
        for i in range(steps):
            j = (i + 1) % n
            if lo[i] is lo[j]:
                continue
            try:
                f = bm.faces.new((lo[i], lo[j], hi[j], hi[i]))
            except ValueError:
                continue
            for l, (uu, vv) in zip(f.loops, [(i, k), (i + 1, k), (i + 1, k + 1), (i, k + 1)]):
                if grain_along:
                    l[uvl].uv = (length[vv] / uv_v, uu / nseg * 0.5)
                else:
                    l[uvl].uv = (uu / nseg * 2.0, length[vv] / uv_v)
    if closed:
        for ring, top in ((rings[0], False), (rings[-1], True)):
            if (top and not cap_top) or (not top and not cap_bottom):
                continue
            r = profile[-1][0] if top else profile[0][0]
            if r < 1e-5:
                continue
            verts = ring if top else list(reversed(ring))
            f = bm.faces.new(verts)
            for l in f.loops:
                co = l.vert.co
                l[uvl].uv = ((co.x - centre[0]) / uv_v, (co.y - centre[1]) / uv_v)
    # rings of radius 0 collapse into a point; faces keep the outward winding they were built with
    bmesh.ops.remove_doubles(bm, verts=bm.verts, dist=1e-6)
    bm.normal_update()
    return finish(name, bm, mat, smooth=smooth, matrix=matrix)


def outline(name, mat, pts, thickness, matrix=None, uv=0.1, bevel=0.0):
    """A flat shape from a 2-D outline (counter-clockwise, in the local XY plane), extruded
    `thickness` along local +Z."""
    bm = bmesh.new()
    verts = [bm.verts.new((x, y, 0.0)) for x, y in pts]
    face = bm.faces.new(verts)
    res = bmesh.ops.extrude_face_region(bm, geom=[face])
    top = [e for e in res["geom"] if isinstance(e, bmesh.types.BMVert)]
    bmesh.ops.translate(bm, vec=(0, 0, thickness), verts=top)
    bmesh.ops.recalc_face_normals(bm, faces=bm.faces[:])
    if bevel > 0:
        bmesh.ops.bevel(bm, geom=bm.edges[:], offset=bevel, segments=1, affect="EDGES",
                        clamp_overlap=True)
    bmesh.ops.triangulate(bm, faces=[f for f in bm.faces if len(f.verts) > 4])
    bm.normal_update()
    box_uv(bm, uv)
    return finish(name, bm, mat, matrix=matrix)


def sheet(name, mat, fn, nu, nv, uv_scale=(1.0, 1.0), smooth=True, matrix=None):
    """A grid surface: fn(u, v) -> (x, y, z) for u, v in 0..1. UV0 is (u, v) scaled, with v = 0
    at the top so that pictures stand upright."""
    bm = bmesh.new()
    uvl = bm.loops.layers.uv.verify()
    vs = [[bm.verts.new(fn(i / nu, j / nv)) for i in range(nu + 1)] for j in range(nv + 1)]
    for j in range(nv):
        for i in range(nu):
            f = bm.faces.new((vs[j][i], vs[j][i + 1], vs[j + 1][i + 1], vs[j + 1][i]))
            for l, (a, b) in zip(f.loops, [(i, j), (i + 1, j), (i + 1, j + 1), (i, j + 1)]):
                l[uvl].uv = (a / nu * uv_scale[0], 1.0 - b / nv * uv_scale[1])
    bm.normal_update()
    return finish(name, bm, mat, smooth=smooth, matrix=matrix)


def quad(name, mat, corners, uvs=((0, 0), (1, 0), (1, 1), (0, 1)), matrix=None):
    """One quad: corners counter-clockwise seen from the front."""
    bm = bmesh.new()
    uvl = bm.loops.layers.uv.verify()
    vs = [bm.verts.new(c) for c in corners]
    f = bm.faces.new(vs)
    for l, t in zip(f.loops, uvs):
        l[uvl].uv = t
    bm.normal_update()
    return finish(name, bm, mat, matrix=matrix)


def frame_at(origin, x_axis, z_axis):
    """Matrix whose local X and Z map to the given world directions (Y completes the frame)."""
    x = Vector(x_axis).normalized()
    z = Vector(z_axis).normalized()
    y = z.cross(x)
    m = Matrix((x, y, z)).transposed().to_4x4()
    m.translation = Vector(origin)
    return m


def sweep(name, mat, profile, path, normal=(0, 0, 1), closed=False, uv=0.3, smooth=True,
          cap=True, matrix=None):
    """A moulding: the 2-D `profile` [(side, up), ...] swept along the polyline `path`.

    `up` runs along `normal` (for a run round the room, Z; for a frame on a wall, out of the
    wall); `side` runs across the path within the plane, to the left of the direction of
    travel seen from `normal` (so a path counter-clockwise round a room puts side into the
    room). Give the profile counter-clockwise in the (side, up) plane, from the back surface
    round to the back surface again: the faces then look outwards. Corners are mitred, so a
    profile keeps its width round them. Open paths get flat end caps unless `cap` is off.
    UVs: u along the path, v along the profile, `uv` metres per repeat."""
    N = Vector(normal).normalized()
    P = [Vector(p) for p in path]
    n = len(P)
    seg = n if closed else n - 1
    sides = []
    for i in range(seg):
        t = (P[(i + 1) % n] - P[i]).normalized()
        sides.append(N.cross(t).normalized())
    mitre = []
    for i in range(n):
        if closed:
            a, b = sides[i - 1], sides[i % seg]
        else:
            a = sides[max(i - 1, 0)]
            b = sides[min(i, seg - 1)]
        m = (a + b)
        m = m / max(1.0 + a.dot(b), 1e-3)
        mitre.append(m)
    bm = bmesh.new()
    uvl = bm.loops.layers.uv.verify()
    rings = [[bm.verts.new(P[i] + mitre[i] * s + N * u) for s, u in profile] for i in range(n)]
    plen = [0.0]
    for k in range(1, len(profile)):
        plen.append(plen[-1] + math.hypot(profile[k][0] - profile[k - 1][0], profile[k][1] - profile[k - 1][1]))
    along = [0.0]
    for i in range(1, n + (1 if closed else 0)):
        along.append(along[-1] + (P[i % n] - P[i - 1]).length)
    for i in range(seg):
        j = (i + 1) % n
        for k in range(len(profile) - 1):
            try:
                f = bm.faces.new((rings[i][k], rings[i][k + 1], rings[j][k + 1], rings[j][k]))
            except ValueError:
                continue
            for l, (a, b) in zip(f.loops, [(i, k), (i, k + 1), (i + 1, k + 1), (i + 1, k)]):
                l[uvl].uv = (along[a] / uv, plen[b] / uv)
    if cap and not closed:
        for ring, rev in ((rings[0], True), (rings[-1], False)):
            vs = list(reversed(ring)) if rev else list(ring)
            try:
                f = bm.faces.new(vs)
            except ValueError:
                continue
            for l in f.loops:
                l[uvl].uv = (l.vert.co.dot(N) / uv, 0.0)
        bmesh.ops.triangulate(bm, faces=[f for f in bm.faces if len(f.verts) > 4])
    bm.normal_update()
    return finish(name, bm, mat, smooth=smooth, matrix=matrix)


def ogee(width, height, steps=6, flip=False):
    """An S-shaped (cyma) moulding profile from (0, 0) to (width, height), as (side, up)."""
    pts = []
    for i in range(steps + 1):
        t = i / steps
        s = 0.5 - 0.5 * math.cos(math.pi * t)
        pts.append((width * (1 - t if flip else t), height * s if not flip else height * s))
    return pts


def cove(width, height, steps=5):
    """A concave quarter-round from (width, 0) up to (0, height)."""
    return [(width * (1 - math.sin(math.pi / 2 * i / steps)), height * (1 - math.cos(math.pi / 2 * i / steps)))
            for i in range(steps + 1)]
