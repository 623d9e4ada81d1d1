#!/usr/bin/python3
"""Lays the room's views (free.png, c1.png .. c10.png from the room views test) out on one
contact sheet, each labelled, so the whole set can be judged at a glance; with --flash, the
lightning flash the test shoots frame by frame (flash-c5-0.png .. flash-free-6.png), one row
per place.

    /usr/bin/python3 tools/authoring/contact_sheet.py VIEWS_DIR OUT.png [--title TEXT] [--flash]
"""
import os
import sys

from PIL import Image, ImageDraw, ImageFont

NAMES = ["free"] + [f"c{n}" for n in range(1, 11)]
FLASH_PLACES = ["c5", "c9", "free"]
FLASH_FRAMES = 7
LABELS = {
    "free": "free camera", "c1": "c1 door to dial", "c2": "c2 over the dial", "c3": "c3 down the trunk",
    "c4": "c4 from the armchair", "c5": "c5 to the window", "c6": "c6 books and painting",
    "c7": "c7 high orbit", "c8": "c8 along the floor", "c9": "c9 window to the room", "c10": "c10 push in",
}


def main(argv):
    if len(argv) < 2:
        raise SystemExit(__doc__)
    src, out = argv[0], argv[1]
    title = argv[argv.index("--title") + 1] if "--title" in argv else "Brassmoor room at 10:10:30"
    tw, th, cols, pad, label_h = 480, 360, 4, 10, 22
    names, labels = NAMES, LABELS
    if "--flash" in argv:
        tw, th, cols = 320, 240, FLASH_FRAMES
        names = [f"flash-{p}-{k}" for p in FLASH_PLACES for k in range(FLASH_FRAMES)]
        labels = {n: f"{n.split('-')[1]}, {int(n.split('-')[2])}/6 of the flash" for n in names}
        # and the flash's own light in the room, without the brightening of the whole screen
        names += ["flashlight-free-calm", "flashlight-free-lit"]
        labels.update({"flashlight-free-calm": "free, no flash, plain ramp",
                       "flashlight-free-lit": "free, full flash, plain ramp"})
    rows = (len(names) + cols - 1) // cols
    sheet = Image.new("RGB", (cols * (tw + pad) + pad, rows * (th + label_h + pad) + pad + 30), (24, 24, 24))
    draw = ImageDraw.Draw(sheet)
    try:
        font = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 15)
    except OSError:
        font = ImageFont.load_default()
    draw.text((pad, 8), title, fill=(230, 230, 230), font=font)
    for i, name in enumerate(names):
        path = os.path.join(src, name + ".png")
        x = pad + (i % cols) * (tw + pad)
        y = 30 + pad + (i // cols) * (th + label_h + pad)
        if os.path.exists(path):
            im = Image.open(path).convert("RGB").resize((tw, th), Image.LANCZOS)
            sheet.paste(im, (x, y))
        else:
            draw.rectangle((x, y, x + tw, y + th), outline=(200, 40, 40))
        draw.text((x, y + th + 3), labels[name], fill=(210, 210, 210), font=font)
    sheet.save(out)
    print(out)


if __name__ == "__main__":
    main(sys.argv[1:])
