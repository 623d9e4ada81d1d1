"""Materials of the room and what the media compiler needs to know about them.

A material is either two-stage (base texture + baked light map) or single-stage (base texture
only: the hands, the glass, the rain, the outdoor view, the lamp shade, the sheer curtain).
The compiler reads custom properties, exported as glTF extras:
  udf_base       base texture file name (in media/)
  udf_lightmap   light-map file name, empty for single-stage materials
  udf_flashmap   the light a full lightning flash adds through the window, for the same
                 surfaces at half the light map's size (empty for single-stage materials)
  udf_lampmap    the lamp's share of the light map, at half its size, which the lamp flicker
                 takes away (empty for single-stage materials)
  udf_two_sided  1 when back faces must show (thin sheets)
The Blender node tree only serves the bake (Principled BSDF with the base texture, so bounce
light takes the colour of the walls) and the previews.
"""
import bpy

TEXDIR = None          # set by build.py: where the base textures were written
_images = {}
MATS = {}

# light-map atlases: name -> (file name, size in texels)
ATLASES = {
    "room": ("lm_room.jpg", 1024),
    "ceiling": ("lm_ceiling.jpg", 256),
    "clock": ("lm_clock.jpg", 512),
    "furn": ("lm_furniture.jpg", 1024),
}
ATLAS_SCALE = 1.0      # quick builds shrink the atlases
SHADE_GLOW = 2.0       # emission strength of the lamp's shade in the bake
SHARE_SCALE = 0.5      # the flash and the lamp's share are broad, soft light: half the texels


def share_file(group, kind):
    """The file of one light's share of an atlas: kind "flash" or "lamp"."""
    return ATLASES[group][0].replace(".jpg", f"_{kind}.jpg")


def image(name):
    if name not in _images:
        import os
        img = bpy.data.images.load(os.path.join(TEXDIR, name), check_existing=True)
        _images[name] = img
    return _images[name]


def atlas_image(group, kind="steady"):
    fname, size = ATLASES[group]
    key = kind + ":" + group
    if key not in _images:
        s = max(64, int(size * ATLAS_SCALE * (1.0 if kind == "steady" else SHARE_SCALE)))
        img = bpy.data.images.new(fname if kind == "steady" else share_file(group, kind), s, s, alpha=False,
                                  float_buffer=True)
        img.colorspace_settings.name = "Non-Color"
        _images[key] = img
    return _images[key]


def make(name, base, group=None, roughness=0.6, metallic=0.0, two_sided=False,
         transparent=False, emission=0.0, shadow=True):
    """A material with `base` texture; `group` names its light-map atlas (None: single-stage)."""
    m = bpy.data.materials.new(name)
    m.use_nodes = True
    nt = m.node_tree
    bsdf = nt.nodes["Principled BSDF"]
    tex = nt.nodes.new("ShaderNodeTexImage")
    tex.image = image(base)
    uvn = nt.nodes.new("ShaderNodeUVMap")
    uvn.uv_map = "UV0"
    nt.links.new(uvn.outputs["UV"], tex.inputs["Vector"])
    nt.links.new(tex.outputs["Color"], bsdf.inputs["Base Color"])
    bsdf.inputs["Roughness"].default_value = roughness
    bsdf.inputs["Metallic"].default_value = metallic
    bsdf.inputs["Specular"].default_value = 0.25
    if emission > 0:
        nt.links.new(tex.outputs["Color"], bsdf.inputs["Emission"])
        bsdf.inputs["Emission Strength"].default_value = emission
    if transparent:
        m.blend_method = "BLEND"
    m["udf_base"] = base
    m["udf_lightmap"] = ATLASES[group][0] if group else ""
    m["udf_flashmap"] = share_file(group, "flash") if group else ""
    m["udf_lampmap"] = share_file(group, "lamp") if group else ""
    m["udf_two_sided"] = 1 if two_sided else 0
    m["lm_group"] = group or ""
    m["shadow"] = 1 if shadow else 0
    if group:
        lm = nt.nodes.new("ShaderNodeTexImage")
        lm.name = "LightMapBake"
        lm.image = atlas_image(group)
        uv1 = nt.nodes.new("ShaderNodeUVMap")
        uv1.uv_map = "UV1"
        nt.links.new(uv1.outputs["UV"], lm.inputs["Vector"])
        nt.nodes.active = lm
    MATS[name] = m
    return m


def let_light_through(mat, share, tint):
    """A thin fabric in the bake: `share` of the light passes, taking the fabric's colour, so
    the lamp's shade softens and warms the bulb's light instead of stopping it."""
    nt = mat.node_tree
    out = nt.nodes["Material Output"]
    bsdf = nt.nodes["Principled BSDF"]
    clear = nt.nodes.new("ShaderNodeBsdfTransparent")
    clear.inputs["Color"].default_value = (*tint, 1.0)
    mix = nt.nodes.new("ShaderNodeMixShader")
    mix.inputs[0].default_value = share
    nt.links.new(bsdf.outputs[0], mix.inputs[1])
    nt.links.new(clear.outputs[0], mix.inputs[2])
    nt.links.new(mix.outputs[0], out.inputs["Surface"])
    return mat


def define_all():
    """Every material of the room, by name (the names travel into the scene file)."""
    make("Parquet", "floor.jpg", "room", roughness=0.45)
    make("Wallpaper", "wallpaper.jpg", "room", roughness=0.8)
    make("Wainscot", "oakpanel.jpg", "room", roughness=0.5)
    make("Trim", "trim.jpg", "room", roughness=0.5)
    make("PaintTrim", "paint.jpg", "room", roughness=0.7)
    make("Plaster", "ceiling.jpg", "ceiling", roughness=0.9)
    make("Sill", "paint.jpg", "room", roughness=0.7)
    make("CaseMahogany", "mahogany.jpg", "clock", roughness=0.35)
    make("CaseBrass", "brass.jpg", "clock", roughness=0.3, metallic=0.8)
    make("Dial", "dial.jpg", "clock", roughness=0.4)
    make("CaseIron", "iron.jpg", "clock", roughness=0.5)
    make("Pendulum", "bob.jpg", None, roughness=0.25, metallic=0.9)
    make("Hands", "steel.jpg", None, roughness=0.3, metallic=0.6)
    make("ClockGlass", "clockglass.png", None, transparent=True, two_sided=True, shadow=False)
    make("FurnMahogany", "mahogany.jpg", "furn", roughness=0.4)
    make("FurnOak", "oakpanel.jpg", "furn", roughness=0.5)
    make("FurnBrass", "brass.jpg", "furn", roughness=0.3, metallic=0.8)
    make("Leather", "leather.jpg", "furn", roughness=0.55)
    make("Books", "books.jpg", "furn", roughness=0.7)
    make("Rug", "rug.jpg", "furn", roughness=0.95)
    make("Velvet", "velvet.jpg", "furn", roughness=0.9, two_sided=True)
    make("Gilt", "gilt.jpg", "furn", roughness=0.35, metallic=0.7)
    make("Canvas", "painting.jpg", "furn", roughness=0.6)
    let_light_through(make("LampShade", "shade.jpg", None, emission=SHADE_GLOW, two_sided=True), 0.6, (1.0, 0.75, 0.45))
    make("Lace", "lace.png", None, transparent=True, two_sided=True, shadow=False)
    make("WindowGlass", "winglass.png", None, transparent=True, two_sided=True, shadow=False)
    make("Rain", "rain.png", None, transparent=True, two_sided=True, shadow=False)
    # the view in the light of a flash, blended in by the flash level
    make("NightView", "night.jpg", None, shadow=False)["udf_flashmap"] = "night_flash.jpg"
    return MATS
