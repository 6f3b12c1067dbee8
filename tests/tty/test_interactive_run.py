"""A whole run at a terminal: typed answers echo, the key presses need no Enter."""
import os
import shutil
import tempfile
import unittest

from ptyrun import Terminal

BIN = os.environ.get("NADIR_BIN", "")
SOURCE = os.environ.get("NADIR_SOURCE", "")


@unittest.skipUnless(BIN and SOURCE, "NADIR_BIN and NADIR_SOURCE are needed")
class InteractiveRun(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="nadir_tty_")
        self.addCleanup(shutil.rmtree, self.root, True)
        folder = os.path.join(self.root, "c", "images", "demo")
        os.makedirs(folder)
        for name in ("jacksboro_m2.raw", "jacksboro_m2.txt"):
            shutil.copy(os.path.join(SOURCE, "examples", "sample", name), folder)
        self.folder = folder

    def test_raw_raster_from_banner_to_mask(self):
        t = Terminal([BIN], cwd=self.root)
        t.read_until("Directory C:images ? ")
        t.type("demo\n")
        t.read_until("(without any extension) ? ")
        t.type("jacksboro\n")
        t.read_until("1 ====> raster\r\n\t\t")
        t.type("1\n")
        t.read_until("1 ====> 32 bits\r\n\t\t")
        t.type("0\n")
        t.read_until("NbLig en frusmatrice 344 ")
        self.assertNotIn(b"Hypsometric", t.quiet_for(0.3), "waits for the key")
        t.type("z")  # one keystroke, no Enter
        t.read_until("in millimeters\r\n\t\t")
        self.assertNotIn(b"z", t.seen.split(b"frusmatrice 344 ")[1], "the key is not echoed")
        t.type("0\n")
        t.read_until("1 ====> no\r\n\t\t")
        t.type("0\n")
        t.read_until("(without .bmp extension) ? ")
        t.type("lowest\n")
        self.assertEqual(t.finish(), 0)
        out = t.seen.decode("latin-1")
        self.assertIn("Min = 236\r\n\t\tMax = 1076 ", out)
        self.assertIn("Min = 236.000000   Max. = 1076.000000 ", out)
        self.assertIn("number of pixels with min value = 1 ", out)
        with open(os.path.join(self.folder, "lowest.bmp"), "rb") as f:
            image = f.read()
        self.assertEqual(len(image), 1078 + 404 * 344)
        # Line 288 from the top is file row 344 - 1 - 288; column 347 is the one dark pixel.
        row = 1078 + (344 - 1 - 288) * 404
        self.assertEqual(image[row + 347], 1)
        self.assertEqual(image.count(b"\x01", 1078), 1)

    def test_answer_no_waits_for_a_key_then_ends(self):
        shutil.copy(os.path.join(SOURCE, "examples", "sample", "jacksboro.asc"), self.folder)
        t = Terminal([BIN], cwd=self.root)
        t.read_until("Directory C:images ? ")
        t.type("demo jacksboro 0\n")
        t.read_until("1 ====> no\r\n\t\t")
        t.type("1\n")
        t.read_until("Not any treatment ")
        self.assertIsNone(t.proc.poll())
        t.type("q")
        self.assertEqual(t.finish(), 0)


if __name__ == "__main__":
    unittest.main()
