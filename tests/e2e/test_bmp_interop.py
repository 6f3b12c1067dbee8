"""Bitmaps exchanged with another decoder and encoder (Pillow): what the
library writes opens there with the same pixels and palette, and what
Pillow writes reads back here."""
import os
import shutil
import struct
import subprocess
import tempfile
import unittest

from PIL import Image  # python3-pil; tests/run installs it

from harness import command, program_path, scratch_parent, windows_text

TOOL = os.environ.get("NADIR_BMP_TOOL", "")
SIZES = [(1, 1), (2, 3), (3, 2), (4, 1), (5, 3), (13, 4)]


def pattern(nc, nl, taille):
    """The lines bmp_tool writes: byte j of line l is (31 l + 7 j + 3) mod 256."""
    return [bytes((31 * l + 7 * j + 3) & 255 for j in range(nc * taille)) for l in range(nl)]


def odd_palette():
    """bmp_tool's "odd" palette as (B, G, R, O) entries."""
    return [(i, 255 - i, (7 * i) & 255, i ^ 0x5A) for i in range(256)]


def read_back(path, palette=False):
    args = command(TOOL) + ["read", program_path(path)] + (["palette"] if palette else [])
    out = subprocess.run(args, stdout=subprocess.PIPE, check=False, timeout=60).stdout
    out = windows_text(out).decode().split("\n")
    if out[0] == "null":
        return None
    kind = int(out[0].split()[1])
    nc, nl = map(int, out[1].split()[1:])
    rest = out[2:]
    pal = None
    if rest and rest[0].startswith("palette "):
        raw = bytes.fromhex(rest[0].split()[1])
        pal = [tuple(raw[4 * i:4 * i + 4]) for i in range(256)]
        rest = rest[1:]
    return kind, nc, nl, pal, [bytes.fromhex(x) for x in rest[:nl]]


@unittest.skipUnless(TOOL, "NADIR_BMP_TOOL is not set")
class Interop(unittest.TestCase):
    def setUp(self):
        # Where the tool (under Wine, a Windows program) reaches the files too.
        self.dir = tempfile.mkdtemp(prefix="nadir_bmp_", dir=scratch_parent())
        self.addCleanup(shutil.rmtree, self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, kind, nc, nl, odd=False):
        p = self.path("ours.bmp")
        args = command(TOOL) + ["write", program_path(p), str(kind), str(nc), str(nl)] + (["odd"] if odd else [])
        subprocess.run(args, stdout=subprocess.PIPE, check=True, timeout=60)
        return p

    def test_our_files_open_in_pillow_with_the_same_pixels_and_palette(self):
        for kind, odd in ((0, False), (1, False), (1, True), (0, True), (2, False)):
            for nc, nl in SIZES:
                with self.subTest(kind=kind, odd=odd, size=(nc, nl)):
                    lines = pattern(nc, nl, 3 if kind == 2 else 1)
                    with Image.open(self.write(kind, nc, nl, odd)) as im:
                        im.load()
                        self.assertEqual(im.size, (nc, nl))
                        if kind == 2:
                            self.assertEqual(im.mode, "RGB")
                            want = [(ln[3 * c + 2], ln[3 * c + 1], ln[3 * c]) for ln in lines for c in range(nc)]
                        elif odd:
                            self.assertEqual(im.mode, "P")
                            rgb = [v for b, g, r, _ in odd_palette() for v in (r, g, b)]
                            self.assertEqual(im.getpalette()[:768], rgb)
                            want = [v for ln in lines for v in ln]
                        else:  # the grey ramp: Pillow calls it greyscale
                            self.assertEqual(im.mode, "L")
                            want = [v for ln in lines for v in ln]
                        self.assertEqual(list(im.getdata()), want)

    def pillow_files(self, nc, nl):
        """(mode, expected Type, expected palette or None, lines) for Pillow's
        8-bit grey, 8-bit palette and 24-bit BMPs of a pattern."""
        lines = pattern(nc, nl, 1)
        rgb_lines = pattern(nc, nl, 3)
        grey = Image.frombytes("L", (nc, nl), b"".join(lines))
        pal = Image.frombytes("P", (nc, nl), b"".join(lines))
        pal.putpalette([v for b, g, r, _ in odd_palette() for v in (r, g, b)])
        rgb = Image.frombytes("RGB", (nc, nl), b"".join(rgb_lines), "raw", "BGR")
        return (("L", grey, 0, [(i, i, i) for i in range(256)], lines),
                ("P", pal, 1, [(b, g, r) for b, g, r, _ in odd_palette()], lines),
                ("RGB", rgb, 2, None, rgb_lines))

    def check_read(self, path, kind, pal, lines, nc, nl):
        got = read_back(path, palette=True)
        self.assertIsNotNone(got)
        got_kind, got_nc, got_nl, got_pal, got_lines = got
        self.assertEqual((got_kind, got_nc, got_nl), (kind, nc, nl))
        if pal is not None:
            self.assertEqual([e[:3] for e in got_pal], pal)
        self.assertEqual(got_lines, lines)

    def test_pillow_files_read_back_bottom_up_and_top_down(self):
        for nc, nl in SIZES:
            for mode, im, kind, pal, lines in self.pillow_files(nc, nl):
                with self.subTest(mode=mode, size=(nc, nl)):
                    p = self.path("pillow.bmp")
                    im.save(p, "BMP")
                    self.check_read(p, kind, pal, lines, nc, nl)
                    # The same image stored top line first: negative height,
                    # rows in the opposite order.
                    with open(p, "rb") as f:
                        data = bytearray(f.read())
                    off = struct.unpack_from("<I", data, 10)[0]
                    row = (nc * (3 if kind == 2 else 1) + 3) // 4 * 4
                    rows = [data[off + k * row:off + (k + 1) * row] for k in range(nl)]
                    struct.pack_into("<i", data, 22, -nl)
                    data[off:off + nl * row] = b"".join(reversed(rows))
                    with open(p, "wb") as f:
                        f.write(data)
                    self.check_read(p, kind, pal, lines, nc, nl)
                    # Pillow agrees that this is the same image.
                    with Image.open(p) as back:
                        self.assertEqual(back.tobytes(), im.tobytes())

    def test_pillow_kinds_outside_the_two_are_refused(self):
        im = Image.frombytes("L", (3, 2), bytes(range(6)))
        for mode in ("1", "RGBA"):
            with self.subTest(mode=mode):
                p = self.path(mode + ".bmp")
                im.convert(mode).save(p, "BMP")
                self.assertIsNone(read_back(p))


if __name__ == "__main__":
    unittest.main()
