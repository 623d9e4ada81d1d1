# The loading still from the scene's own room: builds the room with the authoring modules
# (tools/authoring), lights it as they do, and path-traces one view of the clock in the
# lamp light, with the hands at ten past ten. Run by tools/make-media-assets.sh:
#   blender -b --factory-startup -P room_still.py -- <out dir> [samples [percent]]
# writes <out dir>/room.png (1024 x 768). Textures are painted into <out dir>/textures, never
# into media/.
import math
import os
import sys

import bpy
from mathutils import Matrix, Vector

argv = sys.argv[sys.argv.index("--") + 1:]
OUT = argv[0]
SAMPLES = int(argv[1]) if len(argv) > 1 else 64
PERCENT = int(argv[2]) if len(argv) > 2 else 100

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
cd = bpy.data.cameras.new("still")
cd.sensor_fit = "VERTICAL"
cd.angle_y = math.radians(52)
cd.clip_start = 0.01
cam = bpy.data.objects.new("still", cd)
sc.collection.objects.link(cam)
# From the room's middle, a little to the side, the clock a third of the way in from the right
# and the lamp in the foreground on the left.
cam.location = dial + Vector((-3.2, -0.8, -0.5))
target = dial + Vector((0.0, 1.0, -0.45))
cam.rotation_mode = "QUATERNION"
cam.rotation_quaternion = (target - cam.location).to_track_quat("-Z", "Y")
sc.camera = cam

sc.render.engine = "CYCLES"
sc.cycles.device = "CPU"
sc.cycles.samples = SAMPLES
sc.cycles.use_denoising = False
sc.cycles.max_bounces = 6
sc.cycles.sample_clamp_indirect = 1.0
sc.cycles.sample_clamp_direct = 8.0
sc.view_settings.view_transform = "Filmic"
sc.view_settings.look = "Medium High Contrast"
sc.view_settings.exposure = 1.3
sc.render.resolution_x, sc.render.resolution_y = 1024, 768
sc.render.resolution_percentage = PERCENT
sc.render.image_settings.file_format = "PNG"
sc.render.filepath = os.path.join(OUT, "room.png")
bpy.ops.render.render(write_still=True)
