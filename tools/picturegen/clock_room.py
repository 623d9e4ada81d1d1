# Builds a longcase clock in a dim study at night and renders the stills the program shows
# while it loads and in its settings: run headless by tools/make-media-assets.sh as
#   blender -b --factory-startup -P clock_room.py -- <out dir> [samples [percent [only]]]
# It writes room.png (1024 x 768, the loading still), dial.png (the clock's dial, for the
# settings dialog) and preview.png (the clock, small, for the host's preview pane). Everything is modelled here from primitives; nothing is loaded but the
# URW serif font for the numerals.
import math
import sys

import bpy
from mathutils import Vector

argv = sys.argv[sys.argv.index("--") + 1:]
OUT = argv[0]
SAMPLES = int(argv[1]) if len(argv) > 1 else 96
PERCENT = int(argv[2]) if len(argv) > 2 else 100  # smaller trial renders
ONLY = argv[3] if len(argv) > 3 else ""  # "room", "dial" or "preview" renders just that one
NUMERAL_FONT = "/usr/share/fonts/opentype/urw-base35/P052-Roman.otf"

bpy.ops.wm.read_factory_settings(use_empty=True)
scene = bpy.context.scene


# ---------------------------------------------------------------- materials
def material(name, colour, rough=0.5, metal=0.0, emit=None, strength=1.0, coat=0.0):
    m = bpy.data.materials.new(name)
    m.use_nodes = True
    p = m.node_tree.nodes["Principled BSDF"]
    p.inputs["Base Color"].default_value = (*colour, 1)
    p.inputs["Roughness"].default_value = rough
    p.inputs["Metallic"].default_value = metal
    p.inputs["Clearcoat"].default_value = coat
    if emit:
        p.inputs["Emission"].default_value = (*emit, 1)
        p.inputs["Emission Strength"].default_value = strength
    return m


def textured(name, dark, light, kind="wave", scale=6.0, rough=0.45, coat=0.0, bump=0.0, squash=None):
    """A base colour mixed between two tones by a procedural pattern (wood grain, damask)."""
    m = material(name, dark, rough=rough, coat=coat)
    nt = m.node_tree
    p = nt.nodes["Principled BSDF"]
    coord = nt.nodes.new("ShaderNodeTexCoord")
    mapping = nt.nodes.new("ShaderNodeMapping")
    if squash:
        mapping.inputs["Scale"].default_value = squash
    nt.links.new(coord.outputs["Object"], mapping.inputs["Vector"])
    if kind == "wave":
        tex = nt.nodes.new("ShaderNodeTexWave")
        tex.inputs["Scale"].default_value = scale
        tex.inputs["Distortion"].default_value = 7.0
        tex.inputs["Detail"].default_value = 3.0
    elif kind == "brick":
        tex = nt.nodes.new("ShaderNodeTexBrick")
        tex.inputs["Scale"].default_value = scale
        tex.inputs["Mortar Size"].default_value = 0.004
        tex.inputs["Color1"].default_value = (*dark, 1)
        tex.inputs["Color2"].default_value = (*light, 1)
        tex.inputs["Mortar"].default_value = (0.01, 0.006, 0.004, 1)
        tex.inputs["Brick Width"].default_value = 0.9
        tex.inputs["Row Height"].default_value = 0.11
    else:
        tex = nt.nodes.new("ShaderNodeTexVoronoi")
        tex.inputs["Scale"].default_value = scale
    nt.links.new(mapping.outputs["Vector"], tex.inputs["Vector"])
    ramp = nt.nodes.new("ShaderNodeValToRGB")
    ramp.color_ramp.elements[0].color = (*dark, 1)
    ramp.color_ramp.elements[1].color = (*light, 1)
    factor = tex.outputs["Fac"] if "Fac" in tex.outputs else tex.outputs["Distance"]
    nt.links.new(factor, ramp.inputs["Fac"])
    if kind == "brick":
        nt.links.new(tex.outputs["Color"], p.inputs["Base Color"])
    else:
        nt.links.new(ramp.outputs["Color"], p.inputs["Base Color"])
    if bump:
        b = nt.nodes.new("ShaderNodeBump")
        b.inputs["Strength"].default_value = bump
        nt.links.new(factor, b.inputs["Height"])
        nt.links.new(b.outputs["Normal"], p.inputs["Normal"])
    return m


MAHOGANY = textured("mahogany", (0.055, 0.013, 0.006), (0.12, 0.032, 0.014), "wave", 9.0, rough=0.3, coat=0.5,
                    bump=0.03, squash=(1.0, 1.0, 0.12))
CROSSBAND = textured("crossband", (0.08, 0.022, 0.009), (0.16, 0.05, 0.02), "wave", 14.0, rough=0.3, coat=0.5)
BRASS = material("brass", (0.78, 0.56, 0.25), rough=0.22, metal=1.0)
SILVER = material("silvered dial", (0.80, 0.78, 0.72), rough=0.45, metal=0.35)
CHAPTER = material("chapter ring", (0.88, 0.86, 0.80), rough=0.5, metal=0.2)
INK = material("engraving", (0.015, 0.012, 0.01), rough=0.6)
BLUED = material("blued steel", (0.03, 0.05, 0.16), rough=0.18, metal=1.0)
NIGHT = material("moon sky", (0.02, 0.04, 0.12), rough=0.5)
WALL = textured("damask", (0.010, 0.026, 0.018), (0.022, 0.05, 0.032), "voronoi", 14.0, rough=0.8, bump=0.1)
PANEL = textured("wainscot", (0.03, 0.011, 0.005), (0.06, 0.024, 0.01), "wave", 5.0, rough=0.45, coat=0.2,
                 squash=(1.0, 1.0, 0.2))
FLOOR = textured("parquet", (0.035, 0.016, 0.007), (0.075, 0.035, 0.015), "brick", 2.0, rough=0.35, coat=0.3)
CEILING = material("ceiling", (0.08, 0.07, 0.06), rough=0.9)
OUTSIDE = material("night outside", (0, 0, 0), emit=(0.30, 0.42, 0.75), strength=0.9)
SHADE = material("lamp shade", (0.9, 0.6, 0.3), rough=0.8, emit=(1.0, 0.5, 0.18), strength=2.5)
FABRIC = textured("velvet", (0.10, 0.01, 0.015), (0.22, 0.03, 0.03), "wave", 20.0, rough=0.9,
                  squash=(1.0, 1.0, 0.05))
def seascape():
    """The painting: a stormy sea under a pale band of evening light, loosely brushed."""
    m = material("painting", (0.05, 0.06, 0.07), rough=0.75)
    nt = m.node_tree
    p = nt.nodes["Principled BSDF"]
    coord = nt.nodes.new("ShaderNodeTexCoord")
    height = nt.nodes.new("ShaderNodeSeparateXYZ")
    nt.links.new(coord.outputs["Generated"], height.inputs["Vector"])
    brush = nt.nodes.new("ShaderNodeTexNoise")
    brush.inputs["Scale"].default_value = 9.0
    brush.inputs["Detail"].default_value = 6.0
    nt.links.new(coord.outputs["Generated"], brush.inputs["Vector"])
    mix = nt.nodes.new("ShaderNodeMath")
    mix.operation = "MULTIPLY_ADD"
    mix.inputs[1].default_value = 0.12
    nt.links.new(brush.outputs["Fac"], mix.inputs[0])
    nt.links.new(height.outputs["Z"], mix.inputs[2])
    ramp = nt.nodes.new("ShaderNodeValToRGB")
    stops = [(0.0, (0.01, 0.02, 0.025)), (0.42, (0.03, 0.06, 0.07)), (0.5, (0.35, 0.28, 0.16)),
             (0.56, (0.12, 0.12, 0.13)), (1.0, (0.02, 0.025, 0.04))]
    ramp.color_ramp.elements[0].position, ramp.color_ramp.elements[0].color = stops[0][0], (*stops[0][1], 1)
    ramp.color_ramp.elements[1].position, ramp.color_ramp.elements[1].color = stops[-1][0], (*stops[-1][1], 1)
    for pos, colour in stops[1:-1]:
        e = ramp.color_ramp.elements.new(pos)
        e.color = (*colour, 1)
    nt.links.new(mix.outputs["Value"], ramp.inputs["Fac"])
    nt.links.new(ramp.outputs["Color"], p.inputs["Base Color"])
    return m


CANVAS = seascape()
GILT = material("gilt", (0.85, 0.62, 0.25), rough=0.3, metal=1.0)


# ---------------------------------------------------------------- shapes
def box(name, size, location, mat, bevel=0.006):
    bpy.ops.mesh.primitive_cube_add(size=1, location=location)
    o = bpy.context.object
    o.name = name
    o.scale = size
    bpy.ops.object.transform_apply(location=False, rotation=False, scale=True)
    o.location = tuple(location)
    if bevel:
        mod = o.modifiers.new("bevel", "BEVEL")
        mod.width = bevel
        mod.segments = 2
    o.data.materials.append(mat)
    return o


def cylinder(name, radius, depth, location, mat, rotation=(0, 0, 0), vertices=48):
    bpy.ops.mesh.primitive_cylinder_add(radius=radius, depth=depth, location=location, rotation=rotation,
                                        vertices=vertices)
    o = bpy.context.object
    o.name = name
    o.data.materials.append(mat)
    bpy.ops.object.shade_smooth()
    return o


def sphere(name, radius, location, mat):
    bpy.ops.mesh.primitive_uv_sphere_add(radius=radius, location=location, segments=24, ring_count=12)
    o = bpy.context.object
    o.name = name
    o.data.materials.append(mat)
    bpy.ops.object.shade_smooth()
    return o


def text(body, size, location, rotation, mat, font):
    curve = bpy.data.curves.new(body, "FONT")
    curve.body = body
    curve.size = size
    curve.align_x = "CENTER"
    curve.align_y = "CENTER"
    curve.extrude = 0.0004
    if font:
        curve.font = font
    o = bpy.data.objects.new(body, curve)
    scene.collection.objects.link(o)
    o.location = location
    o.rotation_euler = rotation
    o.data.materials.append(mat)
    return o


# ---------------------------------------------------------------- the room (metres, Z up)
# The clock stands against the back wall (y = 2); the camera looks in from the front.
box("floor", (7, 6, 0.02), (0, -1, -0.01), FLOOR, bevel=0)
box("ceiling", (7, 6, 0.02), (0, -1, 3.0), CEILING, bevel=0)
box("back wall", (7, 0.05, 3), (0, 2.02, 1.5), WALL, bevel=0)
box("left wall", (0.05, 6, 3), (-2.6, -1, 1.5), WALL, bevel=0)
box("right wall", (0.05, 6, 3), (3.0, -1, 1.5), WALL, bevel=0)
for name, size, loc in (("back dado", (7, 0.04, 0.9), (0, 1.99, 0.45)),
                        ("left dado", (0.04, 6, 0.9), (-2.57, -1, 0.45))):
    box(name, size, loc, PANEL, bevel=0.004)
box("dado rail", (7, 0.06, 0.05), (0, 1.97, 0.92), CROSSBAND)
box("left rail", (0.06, 6, 0.05), (-2.55, -1, 0.92), CROSSBAND)
box("skirting", (7, 0.05, 0.14), (0, 1.96, 0.07), CROSSBAND)

# Window in the left wall: night sky behind six-over-six panes, curtains either side.
box("night", (0.02, 1.3, 2.0), (-2.66, 0.2, 1.55), OUTSIDE, bevel=0)
box("sill", (0.3, 1.5, 0.06), (-2.5, 0.2, 0.52), CROSSBAND)
for z in (0.55, 1.22, 1.88, 2.55):
    box("glazing bar", (0.06, 1.34, 0.035), (-2.6, 0.2, z), CROSSBAND)
for y in (-0.45, 0.2, 0.85):
    box("glazing bar", (0.06, 0.035, 2.02), (-2.6, y, 1.55), CROSSBAND)
for y in (-0.62, 1.02):
    box("curtain", (0.12, 0.42, 2.5), (-2.5, y, 1.45), FABRIC, bevel=0.03)

# A gilt-framed painting on the back wall, left of the clock.
box("frame", (0.9, 0.04, 0.65), (-1.1, 1.98, 1.75), GILT, bevel=0.01)
box("canvas", (0.78, 0.02, 0.53), (-1.1, 1.955, 1.75), CANVAS, bevel=0)

# Side table with the lamp, and the armchair's dark bulk.
cylinder("table top", 0.3, 0.03, (-1.35, 0.9, 0.68), CROSSBAND)
cylinder("table stem", 0.04, 0.66, (-1.35, 0.9, 0.34), CROSSBAND)
cylinder("lamp stem", 0.018, 0.38, (-1.35, 0.9, 0.88), BRASS)
bpy.ops.mesh.primitive_cone_add(radius1=0.22, radius2=0.13, depth=0.24, location=(-1.35, 0.9, 1.13), vertices=48)
shade = bpy.context.object
shade.data.materials.append(SHADE)
box("armchair", (0.8, 0.8, 0.5), (-1.9, 0.05, 0.25), FABRIC, bevel=0.08)
box("armchair back", (0.15, 0.8, 0.75), (-2.25, 0.05, 0.85), FABRIC, bevel=0.06)

RUG = textured("rug", (0.09, 0.015, 0.012), (0.22, 0.09, 0.035), "voronoi", 6.0, rough=0.95)
box("rug", (2.2, 1.5, 0.012), (0.1, 0.55, 0.006), RUG, bevel=0.004)

# ---------------------------------------------------------------- the clock
CX, CY = 0.75, 1.82  # centre of the clock's footprint
FRONT = CY - 0.15
box("plinth", (0.52, 0.30, 0.48), (CX, CY, 0.30), MAHOGANY, bevel=0.01)
box("plinth panel", (0.36, 0.01, 0.28), (CX, CY - 0.152, 0.30), CROSSBAND, bevel=0.004)
for dx in (-0.22, 0.22):
    box("foot", (0.08, 0.30, 0.06), (CX + dx, CY, 0.03), MAHOGANY, bevel=0.01)
box("base moulding", (0.50, 0.28, 0.04), (CX, CY, 0.56), CROSSBAND, bevel=0.01)
box("trunk", (0.40, 0.24, 1.04), (CX, CY, 1.10), MAHOGANY, bevel=0.008)
box("door", (0.28, 0.01, 0.86), (CX, CY - 0.122, 1.10), CROSSBAND, bevel=0.005)
box("door glass", (0.2, 0.006, 0.74), (CX, CY - 0.126, 1.10), material("glass", (0.02, 0.02, 0.02), rough=0.05), bevel=0)
cylinder("pendulum bob", 0.075, 0.012, (CX, CY - 0.118, 0.86), BRASS, rotation=(math.pi / 2, 0, 0))
box("hood moulding", (0.50, 0.28, 0.04), (CX, CY, 1.64), CROSSBAND, bevel=0.01)
box("hood", (0.48, 0.27, 0.52), (CX, CY, 1.92), MAHOGANY, bevel=0.01)
for dx in (-0.205, 0.205):
    cylinder("column", 0.016, 0.46, (CX + dx, FRONT - 0.01, 1.92), BRASS)
# Break-arch top with a cornice and three finials.
cylinder("arch", 0.24, 0.27, (CX, CY, 2.18), MAHOGANY, rotation=(math.pi / 2, 0, 0))
box("cornice", (0.54, 0.30, 0.04), (CX, CY, 2.17), CROSSBAND, bevel=0.01)
for dx, dz in ((-0.24, 2.22), (0.24, 2.22), (0.0, 2.44)):
    cylinder("finial base", 0.022, 0.05, (CX + dx, CY, dz), BRASS)
    sphere("finial ball", 0.03, (CX + dx, CY, dz + 0.05), BRASS)
    bpy.ops.mesh.primitive_cone_add(radius1=0.012, radius2=0.0, depth=0.09, location=(CX + dx, CY, dz + 0.12))
    bpy.context.object.data.materials.append(BRASS)

# The dial: an arched silvered plate, its centre at DIAL.
DIAL = Vector((CX, FRONT - 0.012, 1.90))
box("dial plate", (0.32, 0.006, 0.32), DIAL + Vector((0, 0.004, 0)), SILVER, bevel=0.002)
cylinder("dial arch", 0.16, 0.006, DIAL + Vector((0, 0.004, 0.16)), SILVER, rotation=(math.pi / 2, 0, 0))
cylinder("moon sky", 0.1, 0.004, DIAL + Vector((0, 0.0, 0.19)), NIGHT, rotation=(math.pi / 2, 0, 0))
sphere("moon", 0.03, DIAL + Vector((0.03, -0.002, 0.215)), material("moon face", (0.9, 0.85, 0.6), rough=0.4))
for i in range(9):
    a = i * 2.4
    sphere("star", 0.004, DIAL + Vector((math.cos(a) * 0.07, -0.003, 0.19 + 0.5 * abs(math.sin(a)) * 0.07)), GILT)
cylinder("chapter ring", 0.142, 0.003, DIAL + Vector((0, -0.001, 0)), CHAPTER, rotation=(math.pi / 2, 0, 0), vertices=96)
cylinder("inner dial", 0.102, 0.004, DIAL + Vector((0, -0.0015, 0)), SILVER, rotation=(math.pi / 2, 0, 0), vertices=96)
for dx, dz in ((-1, 1), (1, 1), (-1, -1), (1, -1)):
    # Gilt spandrels: a cluster of small bosses in each corner of the square dial.
    for k in range(3):
        sphere("spandrel", 0.012 - 0.003 * k, DIAL + Vector((dx * (0.135 - 0.012 * k), -0.004, dz * (0.135 - 0.022 * k))), GILT)
font = bpy.data.fonts.load(NUMERAL_FONT)
NUMERALS = ["XII", "I", "II", "III", "IIII", "V", "VI", "VII", "VIII", "IX", "X", "XI"]
for hour, numeral in enumerate(NUMERALS):
    a = hour / 12 * 2 * math.pi
    pos = DIAL + Vector((math.sin(a) * 0.122, -0.004, math.cos(a) * 0.122))
    # Numerals stand with their feet towards the centre, as on old dials.
    text(numeral, 0.028, pos, (math.pi / 2, -a, 0), INK, font)
for minute in range(60):
    a = minute / 60 * 2 * math.pi
    length = 0.012 if minute % 5 == 0 else 0.006
    r = 0.1395 - length / 2 + 0.0005
    tick = box("minute", (0.0012 if minute % 5 else 0.002, 0.001, length), DIAL + Vector((math.sin(a) * r, -0.004, math.cos(a) * r)), INK, bevel=0)
    tick.rotation_euler = (0, a, 0)
# Blued hands at ten past ten; the hour hand a spade, the minute hand long and slender.
for name, length, width, angle in (("hour hand", 0.082, 0.012, (10 + 10 / 60) / 12 * 2 * math.pi),
                                   ("minute hand", 0.125, 0.006, 10 / 60 * 2 * math.pi)):
    hand = box(name, (width, 0.002, length), DIAL + Vector((0, -0.008, 0)), BLUED, bevel=0)
    hand.data.transform(__import__("mathutils").Matrix.Translation((0, 0, length / 2 - 0.015)))
    hand.rotation_euler = (0, angle, 0)
    along = Vector((math.sin(angle), 0, math.cos(angle)))
    if name == "hour hand":
        spade = box("spade", (0.02, 0.002, 0.02), DIAL + Vector((0, -0.008, 0)) + along * (length - 0.03), BLUED, bevel=0)
        spade.rotation_euler = (0, angle + math.pi / 4, 0)
    else:
        cylinder("counterweight", 0.009, 0.002, DIAL + Vector((0, -0.008, 0)) - along * 0.022, BLUED,
                 rotation=(math.pi / 2, 0, 0))
cylinder("arbor", 0.007, 0.012, DIAL + Vector((0, -0.01, 0)), BRASS, rotation=(math.pi / 2, 0, 0))

# ---------------------------------------------------------------- light
world = bpy.data.worlds.new("night")
world.use_nodes = True
world.node_tree.nodes["Background"].inputs["Color"].default_value = (0.004, 0.005, 0.009, 1)
scene.world = world


def light(name, kind, location, energy, colour, size=0.1, target=None):
    data = bpy.data.lights.new(name, kind)
    data.energy = energy
    data.color = colour
    if kind == "AREA":
        data.size = size
    elif kind in ("POINT", "SPOT"):
        data.shadow_soft_size = size
    o = bpy.data.objects.new(name, data)
    scene.collection.objects.link(o)
    o.location = location
    if target is not None:
        direction = Vector(target) - Vector(location)
        o.rotation_euler = direction.to_track_quat("-Z", "Y").to_euler()
    return o


light("lamp", "POINT", (-1.35, 0.9, 1.1), 45, (1.0, 0.58, 0.28), size=0.12)
light("moonlight", "AREA", (-2.4, 0.2, 1.9), 140, (0.5, 0.64, 1.0), size=1.2, target=(0.5, 0.2, 0.0))
light("dial glow", "SPOT", (-0.2, 0.6, 2.2), 12, (1.0, 0.7, 0.42), size=0.3, target=tuple(DIAL)).data.spot_size = 0.5
light("clock fill", "AREA", (0.2, -0.6, 1.4), 10, (1.0, 0.75, 0.5), size=1.0, target=(CX, CY, 1.2))

# ---------------------------------------------------------------- render
scene.render.engine = "CYCLES"
scene.cycles.device = "CPU"
scene.cycles.use_denoising = False
scene.cycles.max_bounces = 4
scene.cycles.sample_clamp_indirect = 3.0
scene.view_settings.view_transform = "Filmic"
scene.view_settings.look = "Medium High Contrast"
scene.view_settings.exposure = -0.2
scene.render.image_settings.file_format = "PNG"


def camera(location, target, lens=35.0, ortho=None):
    data = bpy.data.cameras.new("camera")
    data.lens = lens
    if ortho:
        data.type = "ORTHO"
        data.ortho_scale = ortho
    o = bpy.data.objects.new("camera", data)
    scene.collection.objects.link(o)
    o.location = location
    o.rotation_euler = (Vector(target) - Vector(location)).to_track_quat("-Z", "Y").to_euler()
    scene.camera = o
    return o


# The loading still: the clock lit by the lamp, the window's cold light on the left.
camera((1.35, -1.15, 1.25), (-0.25, 1.5, 1.3), lens=28)
scene.render.resolution_x, scene.render.resolution_y = 1024, 768
scene.render.resolution_percentage = PERCENT
scene.cycles.samples = SAMPLES
scene.render.filepath = OUT + "/room.png"
if ONLY in ("", "room"):
    bpy.ops.render.render(write_still=True)

# The dial, square on, for the settings dialog (landscape, as its frame is).
camera(tuple(DIAL + Vector((0, -1.0, 0.02))), tuple(DIAL + Vector((0, 0, 0.02))), ortho=0.52)
scene.render.resolution_x, scene.render.resolution_y = 516, 370
scene.cycles.samples = max(32, SAMPLES // 2)
scene.render.filepath = OUT + "/dial.png"
if ONLY in ("", "dial"):
    bpy.ops.render.render(write_still=True)

# The preview pane's picture: the clock's hood and dial with the lamp-lit wall behind,
# rendered at twice the pane's 152 x 112 and reduced afterwards.
camera((CX - 0.7, CY - 2.6, 1.65), (CX - 0.1, CY, 1.72), lens=35)
scene.render.resolution_x, scene.render.resolution_y = 304, 224
scene.render.resolution_percentage = 100
scene.cycles.samples = max(32, SAMPLES // 2)
scene.render.filepath = OUT + "/preview.png"
if ONLY in ("", "preview"):
    bpy.ops.render.render(write_still=True)
