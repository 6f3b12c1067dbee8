"""The README's GDAL recipes ("Your own DEM"), run as the README writes them
on a GeoTIFF made from the sample model with a void over its lowest cell, and
the program's Min, Max and count on each result checked against GDAL's
reading of the same file, the file's own values, and the GeoTIFF's real
cells: no route may take the void for the minimum."""
import array
import os
import re
import shutil
import subprocess
import unittest

from harness import SOURCE, Case

# A recipe is the sh block right after its marker.
RECIPE = re.compile(r"<!-- recipe (\S+) -->\n```sh\n(.*?)```", re.S)
NAMES = {"voids", "asc", "m2_metres", "m2_centimetres", "m4", "descriptor"}
SAMPLE_MIN = (288, 347)  # line and column of the sample's lowest cell


def readme_recipes():
    with open(os.path.join(SOURCE, "README.md"), encoding="utf-8") as f:
        return dict(RECIPE.findall(f.read()))


def gdalinfo(path):
    """Lines, columns, lowest and highest value, as GDAL reads the file."""
    out = subprocess.run(["gdalinfo", "-mm", path], stdout=subprocess.PIPE, check=True,
                         universal_newlines=True).stdout
    cols, lines = re.search(r"Size is (\d+), (\d+)", out).groups()
    lo, hi = re.search(r"Computed Min/Max=(\S+),(\S+)", out).groups()
    return int(lines), int(cols), float(lo), float(hi)


def grid_values(path):
    """The altitudes of an ASCII grid (the words after the header's
    keyword-value pairs) but its no-data cells, and how many those are."""
    with open(path) as f:
        words = f.read().split()
    i, nodata = 0, None
    while words[i][0].isalpha():
        if words[i].lower() == "nodata_value":
            nodata = float(words[i + 1])
        i += 2
    values = [float(w) for w in words[i:]]
    return [v for v in values if v != nodata], sum(v == nodata for v in values)


def raw_values(path, code):
    a = array.array(code)
    with open(path, "rb") as f:
        a.frombytes(f.read())
    return list(a)  # little-endian here, as the recipes write on this machine


@unittest.skipUnless(shutil.which("gdal_translate") and shutil.which("gdal_fillnodata.py"),
                     "GDAL's tools are not installed (apt-get install gdal-bin): "
                     "the README's recipes are not run")
class Recipes(Case):
    def setUp(self):
        super().setUp()
        self.recipes = readme_recipes()
        self.assertEqual(set(self.recipes), NAMES, "the README's recipe markers")
        self.dir = self.folder("F")

    def sh(self, name):
        proc = subprocess.run(["bash", "-euo", "pipefail", "-c", self.recipes[name]], cwd=self.dir,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual(proc.returncode, 0, "recipe %s: %s" % (name, proc.stdout.decode()))

    def make_dem(self):
        """dem.tif: the sample's altitudes times 0.37 to the centimetre (so that
        centimetres fit 16 bits and the recipes round real decimals), with a
        void of nine cells over the sample's lowest cell."""
        with open(os.path.join(SOURCE, "examples", "sample", "jacksboro.asc")) as f:
            lines = f.read().split("\n")
        header, rows = lines[:6], [r.split() for r in lines[6:] if r.strip()]
        out = [" ".join("%.2f" % (int(v) * 0.37) for v in r) for r in rows]
        line, col = SAMPLE_MIN
        for l in range(line - 1, line + 2):
            words = out[l].split()
            words[col - 1:col + 2] = ["-9999"] * 3
            out[l] = " ".join(words)
        with open(os.path.join(self.dir, "voids.asc"), "w") as f:
            f.write("\n".join(header + out) + "\n")
        subprocess.run(["gdal_translate", "-q", "voids.asc", "dem.tif"], cwd=self.dir, check=True)

    def check(self, name, answers, values, factor, gdal_file, resolution, left_out=0):
        """Runs the program on model M and checks its figures: the size against
        the GeoTIFF's, Min and Max against GDAL's reading of the file the
        recipe wrote (in raw units times factor), Min, the count and the
        cells left out against the file's own values, and Min and Max against
        the GeoTIFF's real cells to the resolution of the recipe."""
        r = self.run_nadir(answers)
        self.assertEqual(r.rc, 0, r.stdout)
        m = re.search(r"Min = (\S+)   Max\. = (\S+) (?:\n\n\tnumber of no-data pixels left out = (\d+) )?"
                      r"\n\n\tnumber of pixels with min value = (\d+) ", r.stdout)
        self.assertIsNotNone(m, r.stdout)
        lo, hi, count = float(m.group(1)), float(m.group(2)), int(m.group(4))
        self.assertEqual(int(m.group(3) or 0), left_out, name)
        size = re.search(r"(\d+) LINES\n +AND (\d+) COLUMNS", r.stdout).groups()
        self.assertEqual(tuple(map(int, size)), self.dem[:2], name)
        g_lo, g_hi = gdalinfo(os.path.join(self.dir, gdal_file))[2:]
        self.assertAlmostEqual(lo, g_lo * factor, delta=0.0005 * factor, msg=name)
        self.assertAlmostEqual(hi, g_hi * factor, delta=0.0005 * factor, msg=name)
        low = min(values)
        self.assertEqual((lo, count), (float("%.6f" % (low * factor)), values.count(low)), name)
        self.assertLessEqual(abs(lo - self.dem[2]), resolution, name)
        self.assertLessEqual(abs(hi - self.dem[3]), resolution, name)

    def test_the_readme_recipes(self):
        self.make_dem()
        # GDAL's figures of the real cells: the void left out.
        self.dem = gdalinfo(os.path.join(self.dir, "dem.tif"))
        self.assertGreater(self.dem[2], 0, "the void is no altitude")
        # gdalinfo prints 3 decimals of the GeoTIFF's float altitudes.
        rounding = 0.0005

        # The grid keeps the void as its no-data value, which is left out.
        self.sh("asc")
        values, voids = grid_values(os.path.join(self.dir, "M.asc"))
        self.assertEqual(voids, 9)
        self.check("asc", "F\nM\n0\n1\n", values, 1, "M.asc", 0.005 + rounding, voids)

        # The raw routes, after the fill.
        self.sh("voids")

        # The program asks for the descriptor and writes it.
        self.sh("m2_metres")
        self.check("m2_metres", "F\nM\n1\n0\n344\n403\n92.6\n0\n1\n",
                   raw_values(os.path.join(self.dir, "M_m2.raw"), "H"), 1, "M_m2.raw", 0.5 + rounding)
        with open(os.path.join(self.dir, "M_m2.txt")) as f:
            self.assertEqual(f.read().split()[:3], ["344", "403", "2"])

        self.sh("m2_centimetres")
        self.check("m2_centimetres", "F\nM\n1\n0\n2\n1\n",
                   raw_values(os.path.join(self.dir, "M_m2.raw"), "H"), 0.01, "M_m2.raw",
                   0.005 + rounding)

        # The descriptor written by hand.
        self.sh("m4")
        self.sh("descriptor")
        self.check("m4", "F\nM\n1\n1\n3\n1\n", raw_values(os.path.join(self.dir, "M_m4.raw"), "i"),
                   0.001, "M_m4.raw", 0.0005 + rounding)


if __name__ == "__main__":
    unittest.main()
