#!/usr/bin/env python3
"""Makes docs/sample.png: the sample model in shaded relief, with the pixels
of the program's own mask circled. Runs examples/demo for the mask; needs
GDAL's gdaldem and Pillow (apt-get install gdal-bin python3-pil).
    python3 examples/picture.py"""
import os
import subprocess
import tempfile

from PIL import Image, ImageDraw

here = os.path.dirname(os.path.abspath(__file__))
with tempfile.TemporaryDirectory() as work:
    subprocess.run([os.path.join(here, "demo")], env=dict(os.environ, NADIR_DEMO_DIR=work),
                   stdout=subprocess.DEVNULL, check=True)
    mask = Image.open(os.path.join(work, "c", "images", "demo", "lowest.bmp"))
    shade = os.path.join(work, "shade.png")
    # The grid is in degrees: about 111120 m a degree for the vertical scale.
    subprocess.run(["gdaldem", "hillshade", "-q", "-compute_edges", "-s", "111120", "-of", "PNG",
                    os.path.join(here, "sample", "jacksboro.asc"), shade], check=True)
    picture = Image.open(shade).convert("RGB")
    picture.info.clear()  # no transparency: every pixel is shaded
    draw = ImageDraw.Draw(picture)
    # Mask value 1: a pixel at the lowest altitude.
    width = mask.size[0]
    for i, v in enumerate(mask.getdata()):
        if v == 1:
            x, y = i % width, i // width
            draw.ellipse((x - 10, y - 10, x + 10, y + 10), outline=(220, 30, 30), width=3)
    picture.save(os.path.join(here, "..", "docs", "sample.png"), optimize=True)
