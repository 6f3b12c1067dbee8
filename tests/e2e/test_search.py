"""What the search counts, through whole runs: the extremes, the count at the
lowest with its ties, -0 and +0, NaN and no-data cells left out, infinities,
the units of a raw raster, the mask and the located pixels. Grids and rasters
wide enough for the vector lanes and partial blocks are checked against a
plain cell-by-cell search."""
import math
import random
import unittest

from bmp import mask
from dialogue import NOT_ANY, SAVE, located, treatment
from harness import Case, raw16, raw32

HEADER = "ncols %d\nnrows %d\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -9999\n"


def plain_search(rows):
    """Cell by cell, first line first: the first extreme met is the one kept;
    NaN cells are left out. Also the first ten cells at the lowest."""
    lo, hi, count = math.inf, -math.inf, 0
    for row in rows:
        for v in row:
            if v < lo:
                lo, count = v, 0
            count += v == lo
            if v > hi:
                hi = v
    if lo > hi:
        return 10000000.0, 0.0, 0, []
    first = [(l, c) for l, row in enumerate(rows) for c, v in enumerate(row) if v == lo][:10]
    return lo, hi, count, first


def text(v):
    if math.isnan(v):
        return "nan"
    if math.isinf(v):
        return "inf" if v > 0 else "-inf"
    return "-0" if v == 0 and math.copysign(1, v) < 0 else repr(v)


class Search(Case):
    def search(self, rows):
        grid = HEADER % (len(rows[0]), len(rows)) + "".join(" ".join(map(text, r)) + "\n" for r in rows)
        self.put("F", "G.asc", grid)
        r = self.run_nadir("F G 0 0 m")
        lo, hi, count, first = plain_search(rows)
        left_out = sum(v != v for row in rows for v in row)
        # Cells of 1 by 1 from (0, 0) at the lower left.
        spots = [(l, c, c + 0.5, len(rows) - l - 0.5) for l, c in first]
        self.assertIn(treatment(lo, hi, count, left_out) + SAVE + located(spots, count), r.stdout)
        self.assertEqual(r.read("F", "m.bmp"), mask(rows, lo))

    def test_random_grids_across_blocks_and_tails(self):
        rng = random.Random(6)
        wide = [-0.0, 0.0, math.nan, 1.5, -2.25, 7.0, 1e300, -1e-300]
        zeros = [-0.0, 0.0, math.nan, 1.5, math.inf]  # ties of -0 and +0 at the lowest
        for cols in (1, 31, 32, 33, 64, 75):
            for k, pool in enumerate((wide, zeros, [-0.0, 0.0, -7.5, math.nan, -math.inf])):
                rows = [[rng.choice(pool) if pool is not wide or rng.random() < 0.3
                         else round(rng.uniform(-50, 50), 2) for _ in range(cols)]
                        for _ in range(rng.randint(1, 5))]
                with self.subTest(cols=cols, pool=k):
                    self.search(rows)

    def test_lowest_in_the_last_cell_of_a_partial_block(self):
        rows = [[5.0] * 40 for _ in range(3)]
        rows[2][39] = -1.0
        rows[0][0] = 9.0
        self.search(rows)

    def test_first_zero_met_gives_the_sign(self):
        for k, rows in enumerate(([[0.0] * 33 + [-0.0, 4.0]], [[5.0, -0.0] + [1.0] * 30 + [0.0]],
                     [[3.0] * 40 + [-0.0], [0.0] * 41], [[-1.0, 0.0] + [-2.0] * 30 + [-0.0]],
                     [[-4.0, -0.0] + [-1.0] * 40, [0.0] * 42], [[-3.0] * 35 + [0.0, -0.0]])):
            with self.subTest(case=k):
                self.search(rows)

    def test_infinities_and_lines_without_numbers(self):
        for k, rows in enumerate(([[math.inf] * 34, [math.nan] * 34], [[math.nan] * 40] * 2,
                                  [[math.nan] * 33 + [-math.inf], [math.inf] * 34],
                                  [[math.nan, 2.0] * 20] * 3)):
            with self.subTest(case=k):
                self.search(rows)

    def test_numbers_beyond_double_are_infinities_as_the_standard_conversion_reads_them(self):
        self.put("F", "G.asc", HEADER % (2, 2) + "1e999 -1e999\n5 6\n")
        r = self.run_nadir("F G 0 1")
        self.assertIn(treatment(float("-inf"), float("inf"), 1) + NOT_ANY, r.stdout)
        self.assertEqual(r.rc, 0)

    def test_nodata_cells_are_left_out(self):
        # The header's no-data value and NaN cells take no part in the
        # extremes, the count or the mask; without a no-data entry only NaN
        # cells are left out.
        nodata = "nodata_value -9999\n"
        for head, values, lo, hi, count, left_out in (
                (nodata, [[-9999, 10], [11, -9999]], 10, 11, 1, 2),
                (nodata, [[math.nan, -3], [-3, -1]], -3, -1, 2, 1),
                ("NODATA_value 99999\n", [[99999, 10], [12, 10]], 10, 12, 2, 1),
                ("nodata_value -0\n", [[0, 5], [-0.0, 5]], 5, 5, 2, 2),
                ("", [[-9999, 10], [math.nan, -9999]], -9999, 10, 2, 1),
                (nodata, [[-9999, math.nan], [-9999, -9999]], 10000000, 0, 0, 4)):
            with self.subTest(head=head, values=values):
                text = "\n".join(" ".join(map(str, row)) for row in values)
                self.put("F", "G.asc", "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n" + head + text)
                r = self.run_nadir("F G 0 0 m")
                self.assertIn(treatment(lo, hi, count, left_out) + SAVE, r.stdout)
                self.assertEqual(r.read("F", "m.bmp"), mask(values, lo))


class RawSearch(Case):
    """The raw reader takes each line's extremes as it converts the line: the
    search must find what a cell-by-cell search of the converted values finds."""

    FACTORS = (1.0, 0.1, 0.01, 0.001)

    def search(self, rows, depth, unit):
        name, data = ("M_m2.raw", raw16(rows)) if depth == 0 else ("M_m4.raw", raw32(rows))
        self.put("F", name, data)
        self.put("F", name[:-4] + ".txt", "%d %d %d 0 0 1" % (len(rows), len(rows[0]), 2 if depth == 0 else 4))
        # The 16-bit reader's key press takes the line end after the depth.
        r = self.run_nadir("F\nM\n1\n%d\n%d\n0\nm\n" % (depth, unit))
        metres = [[v * self.FACTORS[unit] for v in row] for row in rows]
        lo, hi, count, first = plain_search(metres)
        self.assertIn(treatment(lo, hi, count) + SAVE + located(first, count), r.stdout)
        self.assertEqual(r.read("F", "m.bmp"), mask(metres, lo))

    def test_random_rasters_of_each_depth_and_unit(self):
        rng = random.Random(7)
        for depth, pool in ((0, (0, 1, 65535, 30000)), (1, (-2 ** 31, 2 ** 31 - 1, -1, 0, 123456789))):
            top = 65535 if depth == 0 else 2 ** 31 - 1
            bottom = 0 if depth == 0 else -2 ** 31
            for cols in (1, 17, 33, 75):
                for unit in range(4):
                    # Ties at the lowest across lines, the lowest alone in a
                    # later line, and lines without it.
                    rows = [[rng.choice(pool) if rng.random() < 0.2 else rng.randint(bottom, top)
                             for _ in range(cols)] for _ in range(rng.randint(1, 6))]
                    with self.subTest(depth=depth, cols=cols, unit=unit):
                        self.search(rows, depth, unit)


if __name__ == "__main__":
    unittest.main()
