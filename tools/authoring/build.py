"""Builds the whole room in Blender, bakes its light maps, keys the animations and the tours,
and exports glTF for the media compiler.

    blender -b --factory-startup -P build.py -- --media DIR --work DIR [--quick] [--preview]

--media  where the textures and light maps go (the repository's media/)
--work   scratch folder: room.gltf + room.bin, preview renders, bake statistics
--quick  small light maps and few samples, for iterating on the look
--preview  render PNG previews (engine look: base x 2 x light map) from the free camera and
           from the middle of every tour
--no-bake  keep the light maps already in --media (only for changes that leave the geometry)
--textures A,B  paint only these base textures and keep the others already in --media
--lit      instead of baking, path-trace the steady light, a flash alone and the lamp alone
           from two places into the work folder (lit-<light>-<place>.png), for tuning the
           lights ($LIT_SAMPLES samples, default 16; $LIT_KINDS picks the lights)
"""
import json
import math
import os
import sys
import time

import bpy
import numpy as np
from mathutils import Matrix, Vector
from mathutils.bvhtree import BVHTree

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import lightmap  # noqa: E402
import materials  # noqa: E402
import room  # noqa: E402
import textures  # noqa: E402
import tours  # noqa: E402

FPS = 10                 # one frame = one tour unit = 100 ms of scene time
LOOP_FRAMES = 20         # every looping track spans 0..2000 ms: one pendulum period
LAMP_WATTS = 150.0       # the bulb; its shade keeps back less than half of what goes sideways
FLASH_SKY_WATTS = 1400.0 # a flash: the lit sky outside the window ...
FLASH_BOLT_IRRADIANCE = 36.0   # ... and the bolt, bright enough to print the window on the floor
BAKE_MARGIN = 8          # texels the bake extends each island by, so bilinear sampling and the
                         # light map's mip levels never reach the unbaked background


def log(*a):
    print("[authoring]", *a, flush=True)


def parse_args():
    argv = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    opts = {"media": None, "work": None, "quick": False, "preview": False, "samples": None, "lit": False, "no-bake": False,
            "textures": None}
    i = 0
    while i < len(argv):
        a = argv[i]
        if a in ("--media", "--work", "--samples", "--textures"):
            opts[a[2:]] = argv[i + 1]
            i += 2
        elif a in ("--quick", "--preview", "--lit", "--no-bake"):
            opts[a[2:]] = True
            i += 1
        else:
            raise SystemExit(f"unknown argument {a}")
    if not opts["media"] or not opts["work"]:
        raise SystemExit("--media and --work are required")
    return opts


def reset():
    bpy.ops.wm.read_factory_settings(use_empty=True)
    sc = bpy.context.scene
    sc.render.fps = FPS
    sc.frame_start = 0
    sc.frame_end = 1800
    sc.unit_settings.system = "METRIC"


# --- joining, UVs --------------------------------------------------------------------------

def mesh_objects():
    return [o for o in bpy.context.scene.objects if o.type == "MESH"]


def join_static():
    """Joins every unnamed, unanimated object by material: one node per material keeps the
    draw count low."""
    named = set(room.NAMED.keys())
    groups = {}
    for o in mesh_objects():
        if o.name in named or "rain_travel" in o or o.name.startswith("rain_"):
            continue
        mat = o.data.materials[0].name
        groups.setdefault(mat, []).append(o)
    for mat, objs in groups.items():
        target = objs[0]
        if len(objs) > 1:
            room.join(target, objs[1:])
        target.name = "room_" + mat
        target.data.name = "room_" + mat
        if "shadow" not in target:
            target["shadow"] = 1


def make_uv1():
    by_group = {}
    for o in mesh_objects():
        me = o.data
        if "UV1" not in me.uv_layers:
            me.uv_layers.new(name="UV1")      # starts as a copy of UV0
        g = me.materials[0].get("lm_group", "")
        if g:
            by_group.setdefault(g, []).append(o)
    for g, objs in by_group.items():
        for o in objs:
            o.data.uv_layers.active = o.data.uv_layers["UV1"]
        bpy.ops.object.select_all(action="DESELECT")
        for o in objs:
            o.select_set(True)
        bpy.context.view_layer.objects.active = objs[0]
        bpy.ops.object.mode_set(mode="EDIT")
        bpy.ops.mesh.select_all(action="SELECT")
        bpy.ops.uv.smart_project(angle_limit=math.radians(60), island_margin=0.006, area_weight=0.0,
                                 correct_aspect=True, scale_to_bounds=False)
        bpy.ops.object.mode_set(mode="OBJECT")
        log(f"UV1 for atlas {g}: {len(objs)} objects")
    for o in mesh_objects():
        o.data.uv_layers.active = o.data.uv_layers["UV0"]
    return by_group


# --- light --------------------------------------------------------------------------------

def add_light(name, kind, loc, energy, colour, rot=None, size=None):
    ld = bpy.data.lights.new(name, kind)
    ld.energy = energy
    ld.color = colour
    if size is not None:
        if kind == "AREA":
            ld.shape = "RECTANGLE"
            ld.size, ld.size_y = size
        elif kind == "SUN":
            ld.angle = size
        else:
            ld.shadow_soft_size = size
    ob = bpy.data.objects.new(name, ld)
    ob.location = loc
    if rot is not None:
        ob.rotation_euler = rot
    bpy.context.scene.collection.objects.link(ob)
    return ob


def setup_lights():
    lx, ly = room.LAMP
    warm = (1.0, 0.62, 0.32)         # about 2700 K
    cold = (0.62, 0.74, 1.0)         # about 7000 K
    # the bulb inside the shade: the shade lets part of its light through (see materials.py),
    # the rest leaves by the open top and bottom as the two cones a shaded lamp throws on the
    # wall, the ceiling and the table; a bulb of some size keeps the shadows it casts soft
    steady = [add_light("lamp_bulb", "POINT", (lx, ly, room.LAMP_LIGHT_Z), LAMP_WATTS, warm, size=0.06)]
    # moonlight and street light through the window: a sun for the crisp patch on the floor and
    # an area light filling the window opening for the soft spill
    steady.append(add_light("moon", "SUN", (0.6, -4.0, 3.0), 10.0, cold,
                            rot=(math.radians(52), 0.0, math.radians(-12)), size=math.radians(1)))
    steady.append(add_light("window_fill", "AREA", (0.6, -2.9, 1.75), 120.0, cold,
                            rot=(math.radians(90), 0.0, 0.0), size=(1.2, 1.7)))
    for ob in steady:
        ob["steady_light"] = 1
    # a flash: the whole sky lit at once, seen through the window as a broad panel of light,
    # and the bolt itself high to one side, throwing the window's bars onto the floor
    white = (0.86, 0.9, 1.0)
    flash = [add_light("flash_sky", "AREA", (0.6, -4.2, 2.9), FLASH_SKY_WATTS, white,
                       rot=(math.radians(65), 0.0, 0.0), size=(3.0, 2.4)),
             add_light("flash_bolt", "SUN", (0.0, -4.0, 4.0), FLASH_BOLT_IRRADIANCE, white,
                       rot=(math.radians(38), 0.0, math.radians(22)), size=math.radians(3))]
    for ob in flash:
        ob["flash_light"] = 1
        ob.hide_render = True
    w = bpy.data.worlds.new("night")
    w.use_nodes = True
    w.node_tree.nodes["Background"].inputs[0].default_value = (0.01, 0.012, 0.02, 1)
    w.node_tree.nodes["Background"].inputs[1].default_value = 1.0
    bpy.context.scene.world = w


def light_for(kind):
    """Switches the scene's lights: "steady" (the room as it always is), "flash" (a lightning
    flash alone) or "lamp" (the lamp alone, its glowing shade included)."""
    for ob in bpy.context.scene.objects:
        if ob.get("flash_light"):
            ob.hide_render = kind != "flash"
        elif ob.name == "lamp_bulb":
            ob.hide_render = kind == "flash"
        elif ob.get("steady_light"):
            ob.hide_render = kind != "steady"
    bpy.context.scene.world.node_tree.nodes["Background"].inputs[1].default_value = 1.0 if kind == "steady" else 0.0
    shade = materials.MATS["LampShade"].node_tree.nodes["Principled BSDF"]
    shade.inputs["Emission Strength"].default_value = 0.0 if kind == "flash" else materials.SHADE_GLOW


# --- baking ------------------------------------------------------------------------------

def bake_visibility():
    """Glass, lace, moving parts and the outdoor view cast no baked shadows; the outdoor view and
    the rain are not part of the room's light at all."""
    for o in bpy.context.scene.objects:
        if o.get("bake_hide"):
            o.hide_render = True
        if o.type == "MESH":
            o.visible_shadow = bool(o.get("shadow", 1)) and bool(o.data.materials[0].get("shadow", 1))


def add_occluders():
    """Thick blocks outside the room's thin walls and ceiling, for the bake only: a texel right at
    the edge of a wall or of the ceiling starts its rays a hair outside the room, where the
    moonlight falls unhindered and lights it up; these blocks keep it out (the window opening
    stays open)."""
    x0, x1, z0, z1 = room.WIN
    RX, RY, RZ = room.RX, room.RY, room.RZ
    t, g, far = 0.3, 0.03, 1.0
    # the roof stops at the window wall's outer face: reaching out over the window it would
    # shade the opening from the sky like an awning
    blocks = [((-RX - far, -RY - 0.3, RZ + g), (RX + far, RY + far, RZ + t)),           # roof
              ((-RX - far, -RY - far, -t), (RX + far, RY + far, -g)),                 # under the floor
              ((RX + g, -RY - far, -t), (RX + t, RY + far, RZ + t)),                  # behind the clock wall
              ((-RX - t, -RY - far, -t), (-RX - 0.06, RY + far, RZ + t)),              # behind the door wall
              ((-RX - far, RY + g, -t), (RX + far, RY + t, RZ + t)),                  # behind the picture wall
              # the window wall, round its opening
              ((-RX - far, -RY - t, -t), (x0, -RY - 0.27, RZ + t)),
              ((x1, -RY - t, -t), (RX + far, -RY - 0.27, RZ + t)),
              ((x0, -RY - t, -t), (x1, -RY - 0.27, z0 - 0.05)),
              ((x0, -RY - t, z1 + 0.01), (x1, -RY - 0.27, RZ + t))]
    made = []
    for k, (lo, hi) in enumerate(blocks):
        ob = room.box(f"bake_occluder_{k}", None, lo, hi)
        ob["bake_occluder"] = 1
        made.append(ob)
    return made


def remove_occluders(made):
    for ob in made:
        me = ob.data
        bpy.data.objects.remove(ob, do_unlink=True)
        bpy.data.meshes.remove(me)


def bake(by_group, samples, work):
    sc = bpy.context.scene
    sc.render.engine = "CYCLES"
    sc.cycles.device = "CPU"
    sc.cycles.use_denoising = False
    sc.cycles.max_bounces = 4
    sc.cycles.diffuse_bounces = 3
    sc.cycles.glossy_bounces = 1
    sc.cycles.transmission_bounces = 2
    sc.cycles.transparent_max_bounces = 4
    # no denoiser here: keep the grain down at its source. Caustics and sharp glossy bounces
    # are what turns into fireflies at a few dozen samples, and they add nothing a light map
    # can show; the indirect clamp cuts the rest (the clean-up in lightmap.py does the grain)
    sc.cycles.caustics_reflective = False
    sc.cycles.caustics_refractive = False
    sc.cycles.blur_glossy = 1.0
    sc.cycles.sample_clamp_indirect = 1.0
    sc.cycles.sample_clamp_direct = 20.0
    sc.render.threads_mode = "FIXED"
    sc.render.threads = 2
    sc.render.bake.margin = BAKE_MARGIN
    sc.render.bake.use_clear = False
    bake_visibility()
    occluders = add_occluders()
    stats = {}
    steady_maps = {}
    os.makedirs(os.path.join(work, "raw"), exist_ok=True)
    # the steady light first: the flash's and the lamp's maps are stored as their share of it
    for kind in ("steady", "flash", "lamp"):
        light_for(kind)
        # the share maps have a quarter of the texels and are smoothed the more: fewer samples do
        sc.cycles.samples = samples if kind == "steady" else max(8, samples // 2)
        for g, objs in by_group.items():
            img = materials.atlas_image(g, kind)
            px, seconds = bake_group(objs, img)
            fname = materials.ATLASES[g][0] if kind == "steady" else materials.share_file(g, kind)
            t0 = time.time()
            if kind == "steady":
                # the maps as baked, before the clean-up, go to the work folder for comparison
                figures, steady_maps[g] = lightmap.encode(px, os.path.join(OPTS["media"], fname),
                                                          raw_path=os.path.join(work, "raw", fname))
            else:
                figures = lightmap.encode_share(px, steady_maps[g], os.path.join(OPTS["media"], fname), kind)
            figures["seconds"] = round(seconds, 1)
            stats[fname] = figures
            log(f"baked {fname} {img.size[0]}x{img.size[1]} in {seconds:.0f} s "
                f"(+{time.time() - t0:.0f} s clean-up): {figures}")
    light_for("steady")
    remove_occluders(occluders)
    for o in bpy.context.scene.objects:
        if o.get("bake_hide"):
            o.hide_render = False
    with open(os.path.join(work, "bake_stats.json"), "w") as f:
        json.dump(stats, f, indent=1)


def bake_group(objs, img):
    """Bakes the diffuse light falling on `objs` into `img` through their second UV map;
    returns the texels (rows bottom-up, unbaked texels negative) and the seconds it took."""
    n = img.size[0] * img.size[1]
    img.pixels.foreach_set(np.full(n * 4, -1.0, np.float32))
    for o in objs:
        o.data.uv_layers.active = o.data.uv_layers["UV1"]
        for mat in o.data.materials:
            node = mat.node_tree.nodes["LightMapBake"]
            node.image = img
            mat.node_tree.nodes.active = node
    bpy.ops.object.select_all(action="DESELECT")
    for o in objs:
        o.select_set(True)
    bpy.context.view_layer.objects.active = objs[0]
    t0 = time.time()
    bpy.ops.object.bake(type="DIFFUSE", pass_filter={"DIRECT", "INDIRECT"}, margin=BAKE_MARGIN,
                        use_clear=False, target="IMAGE_TEXTURES")
    seconds = time.time() - t0
    px = np.empty(n * 4, np.float32)
    img.pixels.foreach_get(px)
    for o in objs:
        o.data.uv_layers.active = o.data.uv_layers["UV0"]
    return px.reshape(img.size[1], img.size[0], 4), seconds


# --- animation -----------------------------------------------------------------------------

def key_pendulum():
    ob = room.NAMED["clock mayatnik"]
    ob.rotation_mode = "QUATERNION"
    amp = math.radians(room.PEND_AMPLITUDE_DEG)
    for f in range(LOOP_FRAMES + 1):
        # a seconds pendulum: one full swing and back in 2 s, starting at one end, where the
        # velocity is zero, so the loop joins without a visible kink
        a = amp * math.cos(2 * math.pi * f / LOOP_FRAMES)
        ob.rotation_quaternion = (math.cos(a / 2), math.sin(a / 2), 0.0, 0.0)
        ob.keyframe_insert("rotation_quaternion", frame=f)
    linear(ob)


def key_rain(sheets):
    for ob in sheets:
        z0 = ob.location.z
        ob.keyframe_insert("location", frame=0)
        ob.location.z = z0 - ob["rain_travel"]
        ob.keyframe_insert("location", frame=LOOP_FRAMES)
        ob.location.z = z0
        linear(ob)


def linear(ob):
    for fc in ob.animation_data.action.fcurves:
        for kp in fc.keyframe_points:
            kp.interpolation = "LINEAR"


def key_tours(work):
    """Tour cameras tour_1 .. tour_10, keyed once per second; checks every path against the
    room's geometry (never closer than 12 cm to a surface, never through one)."""
    objs = [o for o in mesh_objects() if not o.get("bake_hide")]
    verts, polys = [], []
    for o in objs:
        mw = o.matrix_world
        base = len(verts)
        verts += [mw @ v.co for v in o.data.vertices]
        polys += [[base + i for i in p.vertices] for p in o.data.polygons]
    bvh = BVHTree.FromPolygons(verts, polys)
    report = []
    cams = []
    for k, (name, seconds, wps) in enumerate(tours.all_tours(), start=1):
        poses, length = tours.sample(wps, seconds, step=0.1)
        closest = 1e9
        for (t0, p0, _), (t1, p1, _) in zip(poses, poses[1:]):
            hit = bvh.ray_cast(p0, (p1 - p0).normalized(), (p1 - p0).length + 1e-4) if (p1 - p0).length > 1e-6 else (None,)
            if hit[0] is not None:
                raise SystemExit(f"tour {k} ({name}) passes through geometry at t={t0:.1f} s")
            loc, _, _, dist = bvh.find_nearest(p0)
            closest = min(closest, dist if dist is not None else 1e9)
        if closest < 0.12:
            raise SystemExit(f"tour {k} ({name}) comes within {closest:.3f} m of a surface")
        cd = bpy.data.cameras.new(f"tour_{k}")
        cd.sensor_fit = "VERTICAL"
        cd.angle_y = math.radians(70)
        cd.clip_start = 0.01
        cam = bpy.data.objects.new(f"tour_{k}", cd)
        bpy.context.scene.collection.objects.link(cam)
        cam.rotation_mode = "QUATERNION"
        prev = None
        keys, _ = tours.sample(wps, seconds, step=tours.KEY_STEP_S)
        for t, p, tgt in keys:
            q = (tgt - p).to_track_quat("-Z", "Y")
            if prev is not None and prev.dot(q) < 0:
                q.negate()
            prev = q
            cam.location = p
            cam.rotation_quaternion = q
            frame = int(round(t * FPS))
            cam.keyframe_insert("location", frame=frame)
            cam.keyframe_insert("rotation_quaternion", frame=frame)
        linear(cam)
        cam["tour_seconds"] = seconds
        cams.append(cam)
        report.append({"tour": k, "name": name, "seconds": seconds, "length_m": round(length, 2),
                       "mean_speed_cm_s": round(100 * length / seconds, 1),
                       "closest_m": round(closest, 3)})
        log(f"tour {k} {name}: {seconds} s, {length:.1f} m, closest {closest:.2f} m")
    with open(os.path.join(work, "tours.json"), "w") as f:
        json.dump(report, f, indent=1)
    return cams


# --- export --------------------------------------------------------------------------------

def export(work):
    bpy.ops.object.select_all(action="DESELECT")
    for o in bpy.context.scene.objects:
        o.select_set(o.type in ("MESH", "CAMERA"))
    path = os.path.join(work, "room.gltf")
    bpy.ops.export_scene.gltf(filepath=path, export_format="GLTF_SEPARATE", use_selection=True,
                              export_extras=True, export_yup=True, export_apply=True,
                              export_texcoords=True, export_normals=True, export_tangents=False,
                              export_materials="EXPORT", export_image_format="NONE",
                              export_cameras=True, export_lights=False, export_animations=True,
                              export_frame_range=False, export_force_sampling=False,
                              export_current_frame=True,
                              export_nla_strips=False, export_def_bones=False,
                              export_skins=False, export_morph=False, export_colors=False)
    log("exported", path)
    return path


# --- previews ----------------------------------------------------------------------------

def preview_materials():
    """Turns every material into what the engine shows: base x 2 x light map (gamma space),
    single-stage materials as their texture, the outdoor view at half brightness."""
    for mat in bpy.data.materials:
        nt = mat.node_tree
        base = None
        for n in nt.nodes:
            if n.type == "TEX_IMAGE" and n.name != "LightMapBake":
                base = n
        out = nt.nodes["Material Output"]
        base.image.colorspace_settings.name = "Non-Color"
        col = base.outputs["Color"]
        if mat.get("udf_lightmap"):
            lmimg = bpy.data.images.load(os.path.join(OPTS["media"], mat["udf_lightmap"]), check_existing=True)
            lmimg.colorspace_settings.name = "Non-Color"
            lm = nt.nodes["LightMapBake"]
            lm.image = lmimg
            mul = nt.nodes.new("ShaderNodeMixRGB")
            mul.blend_type = "MULTIPLY"
            mul.inputs[0].default_value = 1.0
            nt.links.new(col, mul.inputs[1])
            nt.links.new(lm.outputs["Color"], mul.inputs[2])
            two = nt.nodes.new("ShaderNodeMixRGB")
            two.blend_type = "MULTIPLY"
            two.inputs[0].default_value = 1.0
            two.inputs[2].default_value = (2.0, 2.0, 2.0, 1.0)
            nt.links.new(mul.outputs[0], two.inputs[1])
            col = two.outputs[0]
        elif mat.name == "NightView":
            half = nt.nodes.new("ShaderNodeMixRGB")
            half.blend_type = "MULTIPLY"
            half.inputs[0].default_value = 1.0
            half.inputs[2].default_value = (0.5, 0.5, 0.5, 1.0)
            nt.links.new(col, half.inputs[1])
            col = half.outputs[0]
        gam = nt.nodes.new("ShaderNodeGamma")
        gam.inputs[1].default_value = 2.2
        nt.links.new(col, gam.inputs[0])
        em = nt.nodes.new("ShaderNodeEmission")
        nt.links.new(gam.outputs[0], em.inputs[0])
        shader = em.outputs[0]
        if base.image.name.endswith(".png"):
            tr = nt.nodes.new("ShaderNodeBsdfTransparent")
            if mat.name == "Rain":
                add = nt.nodes.new("ShaderNodeAddShader")
                nt.links.new(tr.outputs[0], add.inputs[0])
                nt.links.new(em.outputs[0], add.inputs[1])
                em.inputs[1].default_value = 1.0
                shader = add.outputs[0]
            else:
                mix = nt.nodes.new("ShaderNodeMixShader")
                nt.links.new(base.outputs["Alpha"], mix.inputs[0])
                nt.links.new(tr.outputs[0], mix.inputs[1])
                nt.links.new(em.outputs[0], mix.inputs[2])
                shader = mix.outputs[0]
        nt.links.new(shader, out.inputs["Surface"])


def render_previews(work, cams):
    sc = bpy.context.scene
    preview_materials()
    for o in sc.objects:
        if o.type == "LIGHT":
            o.hide_render = True
    sc.world.node_tree.nodes["Background"].inputs[1].default_value = 0.0
    sc.cycles.samples = 16
    sc.cycles.max_bounces = 8
    sc.cycles.diffuse_bounces = 0
    sc.cycles.glossy_bounces = 0
    sc.cycles.transparent_max_bounces = 8
    sc.view_settings.view_transform = "Standard"
    sc.view_settings.look = "None"
    sc.render.resolution_x, sc.render.resolution_y = 800, 450
    sc.render.image_settings.file_format = "PNG"
    outdir = os.path.join(work, "preview")
    os.makedirs(outdir, exist_ok=True)
    cd = bpy.data.cameras.new("free")
    cd.sensor_fit = "VERTICAL"
    cd.angle_y = math.radians(70)
    cd.clip_start = 0.01
    free = bpy.data.objects.new("free", cd)
    sc.collection.objects.link(free)
    free.location = (-2.0, 0.0, 1.0)
    free.rotation_mode = "QUATERNION"
    free.rotation_quaternion = Vector((1, 0, 0)).to_track_quat("-Z", "Y")
    # the hands at 10:10:30, as the engine turns them: clockwise seen from the front, which is
    # a negative turn about the hand's local Z (out of the dial) in Blender's right-handed frame
    for name, angle in (("strelka_1Big", (10 + 10.5 / 60) / 12 * 360), ("strelka_1Min", (10 + 30 / 60) / 60 * 360 - 90)):
        ob = room.NAMED[name]
        ob.animation_data_clear()
        ob.matrix_world = ob.matrix_world @ Matrix.Rotation(math.radians(-angle), 4, "Z")
    shots = [("free", free, 0)] + [(c.name, c, int(c["tour_seconds"] * FPS / 2)) for c in cams]
    for name, cam, frame in shots:
        sc.frame_set(frame)
        sc.camera = cam
        sc.render.filepath = os.path.join(outdir, f"{name}.png")
        bpy.ops.render.render(write_still=True)
        log("preview", sc.render.filepath)
    # hands at 10:10:30 for the free view are set by the compiler's own check; the previews show
    # the hands as modelled (hour at XII, minute at III)


def render_lit(work):
    """A path-traced look at the lights themselves (no bake), for tuning them: the steady
    light, a flash alone and the lamp alone, from the free camera and towards the lamp."""
    sc = bpy.context.scene
    sc.render.engine = "CYCLES"
    sc.cycles.samples = int(os.environ.get("LIT_SAMPLES", "16"))
    sc.cycles.use_denoising = False
    sc.view_settings.view_transform = "Standard"
    sc.render.resolution_x, sc.render.resolution_y = 480, 270
    sc.render.threads_mode = "FIXED"
    sc.render.threads = 2
    bake_visibility()
    cams = []
    for name, loc, look in (("free", (-2.0, 0.0, 1.0), (1.0, 0.0, 0.0)),
                            ("lamp", (-0.5, -1.2, 1.3), (1.0, 1.6, -0.1))):
        cd = bpy.data.cameras.new(name)
        cd.sensor_fit = "VERTICAL"
        cd.angle_y = math.radians(70)
        cam = bpy.data.objects.new(name, cd)
        sc.collection.objects.link(cam)
        cam.location = loc
        cam.rotation_mode = "QUATERNION"
        cam.rotation_quaternion = Vector(look).to_track_quat("-Z", "Y")
        cams.append(cam)
    for kind in os.environ.get("LIT_KINDS", "steady,flash,lamp").split(","):
        light_for(kind)
        for cam in cams:
            sc.camera = cam
            sc.render.filepath = os.path.join(work, f"lit-{kind}-{cam.name}.png")
            bpy.ops.render.render(write_still=True)
            log("lit", sc.render.filepath)


def main():
    global OPTS
    OPTS = parse_args()
    t0 = time.time()
    os.makedirs(OPTS["media"], exist_ok=True)
    os.makedirs(OPTS["work"], exist_ok=True)
    reset()
    log("textures")
    textures.make_all(OPTS["media"], OPTS["textures"].split(",") if OPTS["textures"] else None)
    materials.TEXDIR = OPTS["media"]
    if OPTS["quick"]:
        materials.ATLAS_SCALE = float(os.environ.get("ATLAS_SCALE", "0.25"))
    materials.define_all()
    log("room")
    rain = room.build_all()
    join_static()
    by_group = make_uv1()
    tri = sum(len(p.vertices) - 2 for o in mesh_objects() for p in o.data.polygons)
    log(f"{len(mesh_objects())} mesh objects, {tri} triangles")
    setup_lights()
    # 128 samples bake the four atlases in about five minutes on two shared cores; the clean-up
    # in lightmap.py takes care of the grain that is left
    samples = int(OPTS["samples"]) if OPTS["samples"] else (12 if OPTS["quick"] else 128)
    if OPTS["lit"]:
        render_lit(OPTS["work"])
        return
    if OPTS["no-bake"]:
        # keeps the light maps already in the media folder: the light-map UVs come out the same
        # for the same geometry, so only changes that leave the room's shape alone may use this
        bake_visibility()
    else:
        bake(by_group, samples, OPTS["work"])
    key_pendulum()
    key_rain(rain)
    cams = key_tours(OPTS["work"])
    # export a quarter of the way into the loop, where the pendulum hangs straight: the rest
    # pose the scene file keeps is then the clock at rest
    bpy.context.scene.frame_set(LOOP_FRAMES // 4)
    export(OPTS["work"])
    if OPTS["preview"]:
        render_previews(OPTS["work"], cams)
    log(f"done in {time.time() - t0:.0f} s")


OPTS = {}
if __name__ == "__main__":
    try:
        main()
    except SystemExit as e:
        print("[authoring] FAILED:", e, flush=True)
        sys.exit(1)
