# Stills of the scene's own room: builds the room with the authoring modules
# (tools/authoring), lights it as they do, sets the hands to ten past ten and path-traces
# the loading still, the clock's dial and a small view of the clock. Run by
# tools/make-media-assets.sh:
#   blender -b --factory-startup -P room_still.py -- <out dir> [samples [percent [only]]]
# writes room.png (1024 x 768), dial.png (516 x 370) and preview.png (304 x 224) into
# <out dir>. Textures are painted into <out dir>/textures, never into media/.
import math
import os
import sys

import bpy
from mathutils import Matrix, Vector

argv = sys.argv[sys.argv.index("--") + 1:]
OUT = argv[0]
SAMPLES = int(argv[1]) if len(argv) > 1 else 64
PERCENT = int(argv[2]) if len(argv) > 2 else 100
ONLY = argv[3] if len(argv) > 3 else ""  # "room", "dial" or "preview" renders just that one

AUTHORING = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "authoring")
sys.path.insert(0, os.path.abspath(AUTHORING))
import build  # noqa: E402  (the authoring driver; importing it runs nothing)
import materials  # noqa: E402
import room  # noqa: E402
import textures  # noqa: E402

texdir = os.path.join(OUT, "textures")
os.makedirs(texdir, exist_ok=True)
build.reset()
textures.make_all(texdir)
materials.TEXDIR = texdir
materials.define_all()
room.build_all()
build.setup_lights()
build.bake_visibility()

sc = bpy.context.scene
# Ten past ten, the hands turned as the engine turns them (clockwise seen from the front).
for name, angle in (("strelka_1Big", (10 + 10 / 60) / 12 * 360), ("strelka_1Min", 10 / 60 * 360 - 90)):
    ob = room.NAMED.get(name)
    if ob is not None:
        ob.animation_data_clear()
        ob.matrix_world = ob.matrix_world @ Matrix.Rotation(math.radians(-angle), 4, "Z")

dial = room.NAMED["strelka_1Big"].matrix_world.translation.copy()


def camera(location, target, angle=None, ortho=None):
    data = bpy.data.cameras.new("still")
    data.sensor_fit = "VERTICAL"
    data.clip_start = 0.01
    if ortho:
        data.type = "ORTHO"
        data.ortho_scale = ortho
    else:
        data.angle_y = math.radians(angle)
    cam = bpy.data.objects.new("still", data)
    sc.collection.objects.link(cam)
    cam.location = location
    cam.rotation_mode = "QUATERNION"
    cam.rotation_quaternion = (Vector(target) - Vector(location)).to_track_quat("-Z", "Y")
    sc.camera = cam


def render(name, width, height, samples, percent=100):
    sc.render.resolution_x, sc.render.resolution_y = width, height
    sc.render.resolution_percentage = percent
    sc.cycles.samples = samples
    sc.render.filepath = os.path.join(OUT, name)
    bpy.ops.render.render(write_still=True)


sc.render.engine = "CYCLES"
sc.cycles.device = "CPU"
sc.cycles.use_denoising = False
sc.cycles.max_bounces = 6
sc.cycles.sample_clamp_indirect = 1.0
sc.cycles.sample_clamp_direct = 8.0
sc.view_settings.view_transform = "Filmic"
sc.view_settings.look = "Medium High Contrast"
sc.view_settings.exposure = 1.3
sc.render.image_settings.file_format = "PNG"

# The clock faces -X. From the room's middle, a little to the side: the clock a third of the
# way in from the right, the lamp and the armchair in the foreground on the left.
if ONLY in ("", "room"):
    camera(dial + Vector((-3.2, -0.8, -0.5)), dial + Vector((0.0, 1.0, -0.45)), angle=52)
    render("room.png", 1024, 768, SAMPLES, PERCENT)
# The dial square on, landscape as the settings dialog's frame is.
if ONLY in ("", "dial"):
    camera(dial + Vector((-1.0, 0.0, 0.03)), dial + Vector((0.0, 0.0, 0.03)), ortho=0.5)
    render("dial.png", 516, 370, max(32, SAMPLES // 2))
# The hood and the dial with the wall behind, for the host's small preview pane.
if ONLY in ("", "preview"):
    camera(dial + Vector((-2.4, -0.7, -0.1)), dial + Vector((0.0, 0.0, -0.2)), angle=40)
    render("preview.png", 304, 224, max(32, SAMPLES // 2))
