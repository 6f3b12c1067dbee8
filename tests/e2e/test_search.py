"""The search on grids wide enough for its vector lanes and partial blocks,
checked against a plain cell-by-cell search: extremes, count and mask."""
import math
import random
import unittest

from bmp import mask
from dialogue import treatment
from harness import Case

HEADER = "ncols %d\nnrows %d\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -9999\n"


def plain_search(rows):
    """Cell by cell, first line first: the first extreme met is the one kept."""
    lo, hi, count = math.inf, -math.inf, 0
    for row in rows:
        for v in row:
            if v < lo:
                lo, count = v, 0
            count += v == lo
            if v > hi:
                hi = v
    return (lo, hi, count) if lo <= hi else (10000000.0, 0.0, 0)


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
        lo, hi, count = plain_search(rows)
        self.assertIn(treatment(lo, hi, count), r.stdout)
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


if __name__ == "__main__":
    unittest.main()
