"""The light-map clean-up: grain and fireflies go, shadow edges and island borders stay, empty
texels never leak into baked ones, and the encoding keeps mid-grey for 'unchanged'."""
import os
import sys
import tempfile
import unittest

try:
    import numpy as np
except ImportError:
    sys.exit(77)

sys.path.insert(0, sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../../../tools/authoring"))
import lightmap  # noqa: E402


def grey(h, w, v):
    return np.full((h, w, 3), v, np.float32)


class Clean(unittest.TestCase):
    def test_grain_and_fireflies_go_flat_areas_keep_their_level(self):
        rng = np.random.default_rng(3)
        lm = grey(64, 64, 0.3) + rng.normal(0, 0.03, (64, 64, 1)).astype(np.float32)
        lm[20, 20] = 1.0                      # a firefly
        lm[40, 12] = 0.0                      # and a dead texel
        mask = np.ones((64, 64), np.float32)
        out, fig = lightmap.clean(lm, mask)
        self.assertLess(abs(float(out[20, 20, 0]) - 0.3), 0.03)
        self.assertLess(abs(float(out[40, 12, 0]) - 0.3), 0.03)
        self.assertLess(fig["grain"], fig["grain_raw"] / 4)
        self.assertLess(abs(float(out.mean()) - 0.3), 0.01)

    def test_a_shadow_edge_stays_sharp(self):
        rng = np.random.default_rng(5)
        lm = grey(48, 48, 0.45)
        lm[:, 24:] = 0.15                     # lit left, shadow right
        lm += rng.normal(0, 0.02, (48, 48, 1)).astype(np.float32)
        out, _ = lightmap.clean(lm, np.ones((48, 48), np.float32))
        row = out[24, :, 0]
        self.assertGreater(float(row[20]), 0.4)
        self.assertLess(float(row[27]), 0.2)
        # the step takes at most a few texels
        self.assertLess(int(np.sum((row > 0.2) & (row < 0.4))), 4)

    def test_unbaked_texels_never_reach_an_island_and_are_filled_from_it(self):
        lm = grey(40, 40, 1.0)                # the background holds anything at all
        mask = np.zeros((40, 40), np.float32)
        lm[10:30, 10:30] = 0.2
        mask[10:30, 10:30] = 1
        out, _ = lightmap.clean(lm, mask)
        island = out[10:30, 10:30, 0]
        self.assertLess(float(np.abs(island - 0.2).max()), 0.005)
        # bilinear sampling at the island's border picks up the island's own light
        self.assertLess(abs(float(out[8, 20, 0]) - 0.2), 0.02)
        self.assertLess(abs(float(out[20, 33, 0]) - 0.2), 0.02)

    def test_two_islands_side_by_side_keep_their_own_light(self):
        lm = grey(32, 32, 0.0)
        mask = np.ones((32, 32), np.float32)
        lm[:, :15] = 0.6
        lm[:, 15:17] = 0.0
        mask[:, 15:17] = 0                    # the margin between two islands
        lm[:, 17:] = 0.1
        out, _ = lightmap.clean(lm, mask)
        self.assertGreater(float(out[16, 14, 0]), 0.57)
        self.assertLess(float(out[16, 17, 0]), 0.13)


class Encode(unittest.TestCase):
    def test_mid_grey_means_the_base_texture_as_painted_and_holes_are_filled(self):
        try:
            from PIL import Image
        except ImportError:
            self.skipTest("Pillow missing")
        # irradiance that encodes to 0.5: 0.5 * (e * EXPOSURE) ** (1 / 2.2) = 0.5
        e = 1.0 / lightmap.EXPOSURE
        px = np.full((16, 16, 4), e, np.float32)
        px[:, :4, :3] = -1.0                  # unbaked
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "lm.jpg")
            fig, cleaned = lightmap.encode(px, path)
            img = np.asarray(Image.open(path).convert("RGB"), np.float32)
        self.assertEqual(img.shape, (16, 16, 3))
        self.assertLess(float(np.abs(cleaned - 0.5).max()), 0.01)
        self.assertLess(float(np.abs(img - 128).max()), 4)
        self.assertAlmostEqual(fig["covered"], 0.75, places=2)
        self.assertAlmostEqual(fig["mean"], 0.5, places=2)

    def test_shares_weigh_linearly_on_the_maps_own_curve(self):
        try:
            from PIL import Image
        except ImportError:
            self.skipTest("Pillow missing")
        e = 1.0 / lightmap.EXPOSURE               # encodes to 0.5
        steady = np.full((16, 16, 3), 0.5, np.float32)   # twice the share maps' size
        light = np.full((8, 8, 4), e, np.float32)
        light[:, :2, :3] = -1.0                   # unbaked
        with tempfile.TemporaryDirectory() as d:
            read = {}
            # a flash as bright as the steady light: the steady map plus the flash's share is
            # the map of both lights together
            lightmap.encode_share(light, steady, os.path.join(d, "flash.jpg"), "flash")
            # the lamp's half of the steady light, then the whole of it
            lightmap.encode_share(light * 0.5, steady, os.path.join(d, "half.jpg"), "lamp")
            lightmap.encode_share(light, steady, os.path.join(d, "whole.jpg"), "lamp")
            for name in ("flash", "half", "whole"):
                read[name] = np.asarray(Image.open(os.path.join(d, name + ".jpg")).convert("RGB"), np.float32) / 255
        both = float(lightmap.to_map(np.float32(2 * e)))
        self.assertEqual(read["flash"].shape, (8, 8, 3))
        self.assertLess(float(np.abs(read["flash"] + 0.5 - both).max()), 0.02)
        # taking the lamp's share away leaves the other half of the light, on the map's curve
        self.assertLess(float(np.abs(0.5 - read["half"] - lightmap.to_map(np.float32(e / 2))).max()), 0.02)
        self.assertLess(float(np.abs(read["whole"] - 0.5).max()), 0.02)
        # and the unbaked texels take their neighbours' share
        self.assertLess(float(np.abs(read["flash"][:, 0] - read["flash"][:, 4]).max()), 0.03)


if __name__ == "__main__":
    unittest.main()
