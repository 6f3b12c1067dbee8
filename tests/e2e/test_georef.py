"""Grids on the map, against GDAL's reading of the same files: the located
pixels' coordinates are GDAL's pixel centres, the world file beside the mask
makes GDAL place the mask where the grid lies, and a grid exported by GDAL
with a void border reports its real cells only. A world file that stays
beside a mask it was not written for is named in a warning."""
import json
import math
import os
import re
import shutil
import subprocess
import unittest

from dialogue import world_file_foreign, world_file_kept, world_file_unwritten
from harness import BIN, SOURCE, WINDOWS, Case, raw16

SPOT = re.compile(r"\n\t\tline (\d+)   column (\d+)   x = (\S+)   y = (\S+)")


def geotransform(path):
    out = subprocess.run(["gdalinfo", "-json", path], stdout=subprocess.PIPE, check=True).stdout
    return json.loads(out)["geoTransform"]


def centre(gt, line, col):
    """GDAL's map coordinates of a pixel's centre (GDALApplyGeoTransform)."""
    p, l = col + 0.5, line + 0.5
    return gt[0] + p * gt[1] + l * gt[2], gt[3] + p * gt[4] + l * gt[5]


def close(a, b):
    """Equal but for the last bits the world file's centre-to-corner sums may round."""
    return abs(a - b) <= 4 * math.ulp(max(abs(a), abs(b)))


@unittest.skipUnless(shutil.which("gdalinfo") and shutil.which("gdalwarp"),
                     "GDAL's tools are not installed (apt-get install gdal-bin)")
class OnTheMap(Case):
    def check_map(self, r, grid, cells):
        """The located pixels are the cells given, at GDAL's centres of the
        grid's pixels; GDAL reads N.bmp with the grid's geotransform."""
        gt = geotransform(r.path("F", grid))
        spots = SPOT.findall(r.stdout)
        self.assertEqual([(int(l), int(c)) for l, c, _, _ in spots], cells[:10], r.stdout)
        for l, c, x, y in spots:
            self.assertEqual((x, y), tuple("%.6f" % v for v in centre(gt, int(l), int(c))))
        back = geotransform(r.path("F", "N.bmp"))
        self.assertTrue(all(map(close, back, gt)), "%r\n%r" % (back, gt))

    def test_headers_place_the_pixels_and_the_mask_as_gdal_does(self):
        values = "5 1 7 1\n1 9 8 6\n4 3 1 2\n"
        cells = [(0, 1), (0, 3), (1, 0), (2, 2)]
        for header in ("xllcorner 300.5\nyllcorner -12.25\ncellsize 0.3\n",
                       "XLLCENTER -84.41333\nYLLCENTER 36.44667\nCELLSIZE 0.000833333333\n",
                       "xllcorner 730939.2194661427\nyllcorner 4036556.1622121786\ndx 30\ndy 92.5\n",
                       "xllcenter 1e6\nyllcenter 7\ndx 0.1\ndy 0.7\n"):
            with self.subTest(header=header):
                self.put("F", "G.asc", "ncols 4\nnrows 3\n" + header + "NODATA_value -9999\n" + values)
                self.put("F", "N.bpw", "an older world file, replaced whole")
                r = self.run_nadir("F G 0 0 N")
                self.assertEqual(r.rc, 0, r.stdout)
                self.check_map(r, "G.asc", cells)

    def test_a_gdal_exported_grid_with_a_void_border(self):
        # The sample reprojected: its footprint turns, and cells outside it
        # are voids, as on a clipped national model.
        d = self.folder("F")
        sample = os.path.join(SOURCE, "examples", "sample", "jacksboro.asc")
        for cmd in (["gdal_translate", "-q", "-a_srs", "EPSG:4326", sample, "s.tif"],
                    ["gdalwarp", "-q", "-t_srs", "EPSG:32616", "-tr", "90", "90", "s.tif", "w.tif"],
                    ["gdal_translate", "-q", "-of", "AAIGrid", "w.tif", "V.asc"]):
            subprocess.run(cmd, cwd=d, check=True)
        with open(os.path.join(d, "V.asc")) as f:
            words = f.read().split()
        nodata, cols, cells = words[11], int(words[1]), words[12:]
        real = [float(w) for w in cells if w != nodata]
        low = min(real)
        r = self.run_nadir("F V 0 0 N")
        out = subprocess.run(["gdalinfo", "-mm", os.path.join(d, "V.asc")], stdout=subprocess.PIPE,
                             check=True, universal_newlines=True).stdout
        lo, hi = map(float, re.search(r"Computed Min/Max=(\S+),(\S+)", out).groups())
        self.assertEqual(lo, low)
        self.assertIn("Min = %.6f   Max. = %.6f \n\n\tnumber of no-data pixels left out = %d \n\n\t"
                      "number of pixels with min value = %d " % (lo, hi, cells.count(nodata), real.count(low)),
                      r.stdout)
        self.check_map(r, "V.asc", [divmod(k, cols) for k, w in enumerate(cells)
                                    if w != nodata and float(w) == low])

    def test_the_world_file_reads_back_to_the_grid_s_own_numbers(self):
        # Six lines: the cell width, 0, 0, minus the cell height, and the
        # centre of the top-left cell, each reading back to the very double
        # the program computes (GDAL's reading above allows a few last bits).
        x, y, dx, dy, rows = 730939.2194661427, 4036556.1622121786, 30.000000000000004, 92.5, 3
        self.put("F", "G.asc", "ncols 2 nrows %d xllcorner %r yllcorner %r dx %r dy %r 1 2 3 4 5 6" %
                 (rows, x, y, dx, dy))
        r = self.run_nadir("F G 0 0 N")
        lines = r.read_text("F", "N.bpw").decode().split("\n")
        self.assertEqual(lines[6:], [""], "six lines, each ended")
        want = [dx, 0.0, 0.0, -dy, x + 0.5 * dx, y + rows * dy - 0.5 * dy]
        self.assertEqual([float(v) for v in lines[:6]], want)

    def test_a_world_file_that_cannot_be_written_leaves_the_mask(self):
        self.put("F", "G.asc", "ncols 2 nrows 1 xllcorner 0 yllcorner 0 cellsize 1 1 2")
        self.folder(os.path.join("F", "N.bpw"))
        r = self.run_nadir("F G 0 0 N")
        self.assertEqual(r.rc, 0)
        self.assertIn(world_file_unwritten("c:\\images\\F\\N.bpw") + "\n\n\tPixels at the min value", r.stdout)
        self.assertTrue(r.exists("F", "N.bmp"))
        self.assertEqual(sorted(os.listdir(self.folder("F"))), ["G.asc", "N.bmp", "N.bpw"])
        self.assertTrue(os.path.isdir(r.path("F", "N.bpw")))


class WorldFileLeftBeside(Case):
    """The program deletes no file it did not just write: a world file that
    stays beside a new mask it does not describe is named in a warning,
    after the save and before the located pixels."""

    OLDER = b"30\n0\n0\n-30\n500015\n4100015\n"

    def test_a_raw_raster_s_mask_beside_an_older_world_file(self):
        self.put("F", "M_m2.raw", raw16([[5, 3, 7]]))
        self.put("F", "M_m2.txt", "1\n3\n2\n0\n0\n1\n")
        self.put("F", "N.bpw", self.OLDER)
        r = self.run_nadir("F M 1 0 k 0 0 N")
        self.assertEqual(r.rc, 0, r.stdout)
        self.assertIn(world_file_foreign("c:\\images\\F\\N.bpw") + "\n\n\tPixels at the min value", r.stdout)
        self.assertEqual(r.read("F", "N.bpw"), self.OLDER)

    @unittest.skipIf(WINDOWS, "a file protected from its owner is a POSIX test")
    def test_a_grid_s_world_file_that_cannot_replace_the_older_one(self):
        # Protected from its owner; root may write any file, so the run is
        # another user's then, in a folder it may write.
        self.put("F", "G.asc", "ncols 2 nrows 1 xllcorner 0 yllcorner 0 cellsize 1 1 2")
        os.chmod(self.put("F", "N.bpw", self.OLDER), 0o444)
        os.chmod(self.root, 0o755)
        os.chmod(self.folder("F"), 0o777)
        as_user = {}
        if os.geteuid() == 0:
            as_user = dict(binary="setpriv", args=["--reuid=65534", "--regid=65534", "--clear-groups", BIN])
        r = self.run_nadir("F G 0 0 N", **as_user)
        self.assertEqual(r.rc, 0, r.stdout)
        self.assertIn(world_file_kept("c:\\images\\F\\N.bpw") + "\n\n\tPixels at the min value", r.stdout)
        self.assertEqual(r.read("F", "N.bpw"), self.OLDER)
        self.assertEqual(sorted(os.listdir(self.folder("F"))), ["G.asc", "N.bmp", "N.bpw"])


if __name__ == "__main__":
    unittest.main()
