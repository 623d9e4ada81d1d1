#!/usr/bin/env python3
"""Writes small binary scene files into corpus/: a lit, textured mesh with an animation, a
skinned mesh with its bone, a light and a camera; each seed exercises one part of the loader
so that the fuzzer starts from files that load. Run from anywhere; it writes beside itself."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def text(s):
    b = s.encode()
    return struct.pack('<I', len(b)) + b


class Rec:
    def __init__(self, name, kind, data=None, children=None):
        self.name, self.kind, self.data, self.children = name, kind, data, children or []


def S(name, kind, *children):
    return Rec(name, kind, None, list(children))


def I(name, v):
    return Rec(name, 'int', struct.pack('<i', v))


def F(name, v):
    return Rec(name, 'real', struct.pack('<f', v))


def T(name, v):
    return Rec(name, 'string', v.encode())


def Raw(name, kind, fmt, values):
    return Rec(name, kind, struct.pack('<%d%s' % (len(values), fmt), *values))


def entry_size(r):
    return 4 + len(r.name.encode()) + 4 + len(r.kind.encode()) + 1 + 8


def layout(rec, at):
    """Bytes of `rec` placed at absolute offset `at`."""
    if rec.data is not None:
        return rec.data
    table = 8 + sum(entry_size(c) for c in rec.children)
    body, entries, pos = b'', b'', at + table
    for c in rec.children:
        blob = layout(c, pos)
        entries += text(c.name) + text(c.kind) + bytes([0 if c.data is not None else 4])
        entries += struct.pack('<II', pos, len(blob))
        body += blob
        pos += len(blob)
    return struct.pack('<II', table, len(rec.children)) + entries + body


def write(name, *top):
    root = layout(S('_root', '_roottype', *top), 30)
    head = text('UDF Binary 1.0') + struct.pack('<I', 0) + struct.pack('<I', len(root) + 4)
    data = struct.pack('<I', 4 + len(head) + len(root)) + head + root
    with open(os.path.join(HERE, 'corpus', name), 'wb') as f:
        f.write(data)


IDENTITY = [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]
MOVED = [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1]


def node(name, kind, *more, tm=IDENTITY):
    return S(name, kind, Raw('NodeTM', 'matrix', 'f', tm), Raw('ObjectTM', 'matrix', 'f', IDENTITY), *more)


def triangle_mesh(name, *more, fvf=0x112, index_size=2):
    verts = [0, 0, 0, 0, 0, -1, 0, 0,  10, 0, 0, 0, 0, -1, 1, 0,  0, 10, 0, 0, 0, -1, 0, 1]
    fmt = 'H' if index_size == 2 else 'I'
    return node(name, 'Mesh', I('FVF', fvf), I('IndexSize', index_size), I('NumVerts', 3), I('NumIndexes', 3),
                Raw('Verts', 'raw', 'f', verts), Raw('Indexes', 'raw', fmt, [0, 1, 2]), *more)


def key(t, x, y, z, w=0.0):
    return [t, x, y, z, w, 0, 0, 0]


material = S('Materials', 'Material',
             S('Wood', 'Material', Raw('Diffuse', 'colour', 'f', [1, 0.8, 0.6, 0.4]), F('Opacity', 0.5),
               I('TwoSided', 1),
               S('Textures', 'Map', S('0', 'Diffuse', T('FileName', 'wood.png'), T('TexAddrU', 'Mirror')))),
             S('Room', 'Material', S('Materials', 'Material',
                                     S('Base', 'Material', I('MaterialSubId', 0)),
                                     S('LightMap', 'Material', I('MaterialSubId', 1)))))
animation = S('Animation', 'Animation',
              S('Position', 'Linear', Raw('0', 'AnimKey', 'f', key(0, 0, 0, 0)), Raw('1', 'AnimKey', 'f', key(1000, 5, 0, 0))),
              S('Rotation', 'Tcb', Raw('0', 'AnimKey', 'f', key(0, 0, 0, 0, 1)), Raw('1', 'AnimKey', 'f', key(500, 0, 0.7, 0, 0.7))),
              S('Scale', 'Sample', Raw('0', 'AnimKey', 'f', key(0, 1, 1, 1))))

write('mesh.udf', material,
      S('Children', 'Node', triangle_mesh('Board', T('MaterialName', 'Wood'), T('Usage', 'dynamic'),
                                          T('VertexAlign32', '1'), T('Lit', '1'), animation)))
write('wide_indices.udf', S('Children', 'Node', triangle_mesh('Wide', index_size=4, fvf=0x312 & 0x112)))
write('skin.udf',
      S('Children', 'Node',
        node('Bone01', 'Bone', tm=MOVED),
        triangle_mesh('Skin', S('BoneNames', 'string', T('0', 'Bone01')),
                      Raw('VertBoneOffs', 'raw', 'i', [0, 1, 2]), Raw('VertBoneNums', 'raw', 'i', [1, 1, 1]),
                      Raw('BoneWeights', 'raw', 'i', [0, 0x3f800000] * 3))))
write('lights_cameras.udf',
      S('Lights', 'Light', node('Lamp', 'PointLight', F('AttStart', 50), F('AttEnd', 400),
                                Raw('Color', 'colour', 'f', [1, 1, 0.9, 0.8])),
        node('Sun', 'DirectLight')),
      S('Cameras', 'Node', node('Cam', 'Camera', tm=MOVED)),
      S('Children', 'Node', node('Parent', 'Dummy', S('Children', 'Node', node('Child', 'Dummy', animation)))))
