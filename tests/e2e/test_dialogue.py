"""Whole runs of nadir_spot driven through standard input."""
import os
import select
import subprocess
import time
import unittest

from bmp import grey_bmp, mask
from dialogue import *  # noqa: F401,F403 (the program's texts)
from harness import BIN, WINDOWS, Case, raw16, raw32

TERRAIN = [[120, 118, 130, 140],
           [117, 117, 125, 150],
           [119, 121, 117, 160]]


class RawRaster(Case):
    def test_typical_run_16_bit_with_descriptor(self):
        self.put("F", "M_m2.raw", raw16(TERRAIN))
        self.put("F", "M_m2.txt", "3\n4\n2\n117\n160\n25.000000\n")
        r = self.run_nadir("F\nM\n1\n0\n0\n0\nN\n")
        self.assertEqual(r.stdout, BANNER + FOLDER + MODEL + FORMAT + DEPTH + frusmatrice(3) +
                         dynamic(117, 160) + UNIT + summary(3, 4) + treatment(117, 160, 3) + SAVE +
                         located([(1, 0), (1, 1), (2, 2)], 3))
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.read("F", "N.bmp"), mask(TERRAIN, 117))
        self.assertEqual(r.read("F", "M_m2.txt"), b"3\n4\n2\n117\n160\n25.000000\n",
                         "an existing descriptor is left untouched")

    def test_32_bit_without_descriptor_creates_it(self):
        rows = [[-5000, 2500, 1000000], [7, -5000, 3]]
        self.put("F", "M_m4.raw", raw32(rows))
        # Pixel size 0 is asked again once; the key is pressed with a blank line.
        r = self.run_nadir("F\nM\n1\n1\n2\n3\n0\n\n12.5\n3\n0\nout\n")
        desc = "c:\\images\\F\\M_m4.txt"
        self.assertEqual(r.stdout, BANNER + FOLDER + MODEL + FORMAT + DEPTH + no_file(desc) + LINES +
                         COLUMNS + PIXEL + PIXEL_AGAIN + dynamic(-5000, 1000000) + UNIT +
                         summary(2, 3) + treatment(-5.0, 1000.0, 2) + SAVE + located([(0, 0), (1, 1)], 2))
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.read_text("F", "M_m4.txt"), b"2\n3\n4\n-5000\n1000000\n12.500000\n")
        self.assertEqual(r.read("F", "out.bmp"), mask(rows, -5000))

    def test_descriptor_without_a_pixel_size_asks_it_once(self):
        # A pixel size of 0, or a descriptor of the dimensions alone: asked
        # once, even answered 0 again; the descriptor is left as it is.
        for text, rows, answers, lo, hi, count in (("1 2 4 1 2 0", [[1, 2]], "F M 1 1 0 0 1", 1, 2, 1),
                                                   ("1\n3\n", [[4, 4, 9]], "F M 1 1 2.5 0 1", 4, 9, 2)):
            with self.subTest(descriptor=text):
                self.put("F", "M_m4.raw", raw32(rows))
                self.put("F", "M_m4.txt", text)
                r = self.run_nadir(answers)
                self.assertEqual(r.stdout, BANNER + FOLDER + MODEL + FORMAT + DEPTH + PIXEL_AGAIN +
                                 dynamic(lo, hi) + UNIT + summary(1, len(rows[0])) + treatment(lo, hi, count) +
                                 NOT_ANY)
                self.assertEqual(r.rc, 0)
                self.assertEqual(r.read("F", "M_m4.txt"), text.encode())

    def test_negative_depth_answer_reads_32_bit_and_writes_4(self):
        self.put("F", "M_m4.raw", raw32([[10, 20]]))
        r = self.run_nadir("F M 1 -3 1 2 1 0 1")
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.read_text("F", "M_m4.txt"), b"1\n2\n4\n10\n20\n1.000000\n")


class Grid(Case):
    GRID = ("ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 5\nNODATA_value -9999\n"
            "1.5 2 1.5\n4 1.5 6\n")
    LOCATED = located([(0, 0, 2.5, 7.5), (0, 2, 12.5, 7.5), (1, 1, 7.5, 2.5)], 3)

    def test_grid_run_marks_every_tie(self):
        self.put("F", "G.asc", self.GRID)
        r = self.run_nadir("F\nG\n0\n0\nmask\n")
        self.assertEqual(r.stdout, BANNER + FOLDER + MODEL + FORMAT + "\n" + summary(2, 3) +
                         treatment(1.5, 6, 3) + SAVE + self.LOCATED)
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.read("F", "mask.bmp"), mask([[1.5, 2, 1.5], [4, 1.5, 6]], 1.5))

    @unittest.skipIf(WINDOWS, "named pipes are made here the POSIX way")
    def test_progress_shows_while_the_grid_is_still_loading(self):
        # The grid comes through a named pipe that pauses after more than a
        # block: the progress of the lines read so far is out before the rest.
        path = os.path.join(self.folder("F"), "G.asc")
        os.mkfifo(path)
        proc = subprocess.Popen([BIN], stdin=subprocess.PIPE, stdout=subprocess.PIPE, cwd=self.root)
        self.addCleanup(proc.stdout.close)
        self.addCleanup(proc.kill)
        proc.stdin.write(b"F G 0 1\n")
        proc.stdin.close()
        end = time.monotonic() + 20
        while True:  # opens once the program has opened the pipe to read
            try:
                fd = os.open(path, os.O_WRONLY | os.O_NONBLOCK)
                break
            except OSError:
                self.assertLess(time.monotonic(), end, "the program never opened the grid")
                time.sleep(0.01)
        os.set_blocking(fd, True)
        row = (" ".join(["1"] * 1000) + "\n").encode()
        with os.fdopen(fd, "wb") as f:
            f.write(b"ncols 1000 nrows 800 xllcorner 0 yllcorner 0 cellsize 1 nodata_value -9999\n" +
                    row * 700)
            f.flush()
            seen = b""
            while progress(500).encode() not in seen:
                self.assertLess(time.monotonic(), end, "no progress before the pause ends: %r" % seen[-200:])
                if select.select([proc.stdout], [], [], 0.1)[0]:
                    seen += os.read(proc.stdout.fileno(), 65536)
            f.write(row * 100)
        seen += proc.stdout.read()
        self.assertEqual(proc.wait(20), 0)
        # Every hundred lines from the 100th, each over the one before.
        self.assertEqual(seen.decode(), BANNER + FOLDER + MODEL + FORMAT + "\n" +
                         "".join(progress(l) for l in range(100, 800, 100)) + summary(800, 1000) +
                         treatment(1, 1, 800000) + NOT_ANY)


class Menus(Case):
    def test_format_repeats_in_full_on_too_high_and_non_numeric(self):
        self.put("F", "G.asc", Grid.GRID)
        r = self.run_nadir("F G 2 x 0 1")
        self.assertTrue(r.stdout.startswith(BANNER + FOLDER + MODEL + FORMAT + FORMAT +
                                            NOT_A_WHOLE_NUMBER + FORMAT + "\n"))

    def test_locate_repeats_only_its_choices(self):
        self.folder("F")
        r = self.run_nadir("F M -1 2 -1 yes 0 img")
        self.assertEqual(r.stdout, BANNER + FOLDER + MODEL + FORMAT + summary(0, 0) +
                         treatment(10000000, 0, 0) + YES_NO + YES_NO + NOT_A_WHOLE_NUMBER +
                         YES_NO + SAVE)
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.read("F", "img.bmp"), grey_bmp([]), "an empty model saves 1078 bytes")

    def test_lines_without_columns_is_an_empty_model(self):
        self.put("F", "M_m2.raw", b"")
        self.put("F", "M_m2.txt", "3 0 2 0 0 1")
        r = self.run_nadir("F M 1 0 0 0 e")
        self.assertEqual(r.stdout, BANNER + FOLDER + MODEL + FORMAT + DEPTH + frusmatrice(3) +
                         dynamic(1000000, 0) + UNIT + summary(3, 0) + treatment(10000000, 0, 0) +
                         SAVE)
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.read("F", "e.bmp"), grey_bmp([[], [], []]))

    def test_depth_and_unit_repeat(self):
        self.put("F", "M_m2.raw", raw16([[3]]))
        self.put("F", "M_m2.txt", "1 1 2 3 3 1")
        r = self.run_nadir("F M 1 5 0 4 -1 x 0 1")
        self.assertEqual(r.stdout, BANNER + FOLDER + MODEL + FORMAT + DEPTH + DEPTH + frusmatrice(1) +
                         dynamic(3, 3) + UNIT + UNIT + UNIT + NOT_A_WHOLE_NUMBER + UNIT + summary(1, 1) +
                         treatment(3, 3, 1) + NOT_ANY)


class Endings(Case):
    """The answer no, and a warning that lets the run go on (the stops on bad
    input are in test_bad_inputs.py)."""

    def test_answer_no_ends_with_status_0_and_no_image(self):
        self.put("F", "G.asc", Grid.GRID)
        r = self.run_nadir("F G 0 1")
        self.assertTrue(r.stdout.endswith(NOT_ANY))
        self.assertEqual(r.rc, 0)
        self.assertEqual(sorted(os.listdir(r.path("F"))), ["G.asc"])

    def test_descriptor_that_cannot_be_created_warns_and_loads(self):
        self.put("F", "M_m2.raw", raw16([[5, 6]]))
        os.makedirs(self.folder("F") + "/M_m2.txt")  # a folder in the way, even for root
        r = self.run_nadir("F M 1 0 1 2 1 0 1")
        desc = "c:\\images\\F\\M_m2.txt"
        self.assertIn(no_file(desc) + descriptor_uncreatable(desc) + LINES, r.stdout)
        self.assertIn(treatment(5, 6, 1), r.stdout)
        self.assertEqual(r.rc, 0)


class Names(Case):
    def test_names_too_long_for_a_path_are_asked_again(self):
        # Each one character over: the folder 10 + 109 + 1 + 1 + 7 = 128, the
        # model 12 + 109 + 7 and the image 12 + 112 + 4 (see the next test).
        self.put("F", "G.asc", Grid.GRID)
        r = self.run_nadir("%s F %s G 0 0 %s img" % ("d" * 109, "g" * 109, "i" * 112))
        self.assertEqual(r.stdout, BANNER + FOLDER + TOO_LONG + FOLDER + MODEL + TOO_LONG + MODEL + FORMAT +
                         "\n" + summary(2, 3) + treatment(1.5, 6, 3) + SAVE + TOO_LONG + IMAGE_NAME +
                         Grid.LOCATED)
        self.assertEqual(sorted(os.listdir(self.folder("F"))), ["G.asc", "img.bmp", "img.bpw"])

    def test_longest_names_fit(self):
        folder = "d" * 100
        model = "m" * 9  # 10 + 100 + 1 + 9 + 7 = 127
        self.put(folder, model + "_m4.raw", raw32([[1]]))
        self.put(folder, model + "_m4.txt", "1 1 4 1 1 1")
        image = "i" * 12  # 10 + 100 + 1 + 12 + 4 = 127
        r = self.run_nadir("%s %s 1 1 0 0 %s" % (folder, model, image))
        self.assertEqual(r.rc, 0)
        self.assertNotIn(TOO_LONG, r.stdout)
        self.assertTrue(r.exists(folder, image + ".bmp"))


if __name__ == "__main__":
    unittest.main()
