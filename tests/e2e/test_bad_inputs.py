"""The catalogue of bad inputs, through the real binary: every way a model
file or an answer can be wrong that we know of, each with the message it
gets, its exit status, and no file left behind (no half-made descriptor, no
image, no temporary file). Grids that real tools write with other line ends
or separators load as they should."""
import os
import unittest

from bmp import mask
from dialogue import *  # noqa: F401,F403 (the program's texts)
from harness import Case, raw16, raw32

HEADER = "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -9999\n"
DESC = "c:\\images\\F\\M_m2.txt"


class Catalogue(Case):
    def stops(self, files, answers, message, rc=1):
        """Runs with these files in F; the run ends with message and rc and
        leaves F as it was."""
        for name, data in files.items():
            if data is None:
                self.folder(os.path.join("F", name))
            else:
                self.put("F", name, data)
        before = sorted(os.listdir(self.folder("F")))
        r = self.run_nadir(answers)
        self.assertTrue(r.stdout.endswith(message), "%r\ndoes not end with\n%r" % (r.stdout[-400:], message))
        self.assertEqual(r.rc, rc)
        self.assertEqual(sorted(os.listdir(self.folder("F"))), before, "files left behind")
        return r


class GridFiles(Catalogue):
    def grid(self, text, message):
        return self.stops({"G.asc": text}, "F G 0 0 img", message)

    def test_empty_and_blank_files_are_no_grid(self):
        self.grid("", grid_header_ends("ncols"))
        self.grid(" \r\n\t\n", grid_header_ends("ncols"))
        self.grid("\xef\xbb\xbf", grid_header_ends("ncols"))

    def test_file_cut_inside_the_header(self):
        self.grid("ncols 2\nnrows 2\n", grid_header_ends("xllcorner"))
        self.grid("ncols 2\nnrows 2\nxllcorner", grid_header_ends("xllcorner"))
        self.grid(HEADER.replace(" -9999\n", ""), grid_header_ends("nodata_value"))

    def test_binary_garbage_is_shown_byte_for_byte(self):
        # (No Ctrl-Z: a file read as text ends there on Windows.)
        garbage = bytes(b for b in range(256) if b != 0x1A) * 4
        self.grid(garbage, grid_bad_header("\\x00\\x01\\x02\\x03\\x04\\x05\\x06\\x07\\x08", "a whole number",
                                           "".join("\\x%02X" % b for b in range(14, 32) if b != 0x1A)))
        # A 16-bit raster given as a grid: its first word holds NUL bytes.
        self.grid(raw16([[120, 118, 10, 2000]]), grid_bad_header("x\\x00v\\x00", "a whole number",
                                                                 "\\x00\\xD0\\x07"))

    def test_terminal_control_bytes_are_not_printed_raw(self):
        self.grid(HEADER + "1 2\n3 \x1b[2J\n", grid_bad_value(2, 2, "\\x1B[2J"))
        self.grid(HEADER + "1 2\x003 4\n", grid_bad_value(1, 2, "2\\x003"))

    def test_decimal_comma(self):
        self.grid(HEADER + "1,5 2\n3 4\n", grid_bad_value(1, 1, "1,5"))
        self.grid(HEADER.replace("cellsize 1", "cellsize 0,5") + "1 2 3 4",
                  grid_bad_header("cellsize", "a number", "0,5"))

    def test_letters_and_words_among_values(self):
        self.grid(HEADER + "1 2\nabc 4\n", grid_bad_value(2, 1, "abc"))
        self.grid(HEADER + "1 2\n3 4m\n", grid_bad_value(2, 2, "4m"))
        long_word = "9" * 30 + "x" * 30
        self.grid(HEADER + "1 2\n3 " + long_word + "\n", grid_bad_value(2, 2, long_word[:40]))

    def test_header_sizes_out_of_range(self):
        self.grid(HEADER.replace("ncols 2", "ncols 99999999").replace("nrows 2", "nrows 99999999") + "1 2",
                  grid_too_big(99999999, 99999999, 3))
        self.grid(HEADER.replace("ncols 2", "ncols -3") + "1 2\n3 4\n",
                  bad_dimensions(2, -3))
        self.grid(HEADER.replace("ncols 2", "ncols 2147483648") + "1 2\n3 4\n",
                  grid_bad_header("ncols", "a whole number", "2147483648"))
        self.grid(HEADER.replace("nrows 2", "nrows -2147483649") + "1 2\n3 4\n",
                  grid_bad_header("nrows", "a whole number", "-2147483649"))
        self.grid(HEADER.replace("ncols 2", "ncols 2.0") + "1 2\n3 4\n",
                  grid_bad_header("ncols", "a whole number", "2.0"))

    def test_too_few_values(self):
        # Refused from the file's size before any memory is taken...
        self.grid(HEADER + "1 2 3\n", grid_too_big(2, 2, 6))
        # ...or where the values run out.
        self.grid(HEADER + "1 2 3\n        \n", grid_ends(2, 2))

    def test_a_folder_named_as_the_grid(self):
        self.stops({"G.asc": None}, "F G 0", unknown("c:\\images\\F\\G.asc"))


class ReadableGrids(Case):
    ROWS = [[1.5, 2.0], [3.0, 0.5]]

    def loads(self, text, xy=(1.5, 0.5)):
        self.put("F", "G.asc", text)
        r = self.run_nadir("F G 0 0 img")
        self.assertEqual(r.stdout, BANNER + FOLDER + MODEL + FORMAT + "\n" + summary(2, 2) +
                         treatment(0.5, 3.0, 1) + SAVE + located([(1, 1) + xy], 1), repr(text))
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.read("F", "img.bmp"), mask(self.ROWS, 0.5))
        os.remove(r.path("F", "img.bmp"))
        os.remove(r.path("F", "img.bpw"))

    def test_line_ends_separators_and_byte_order_mark(self):
        values = "1.5 2\n3 0.5\n"
        self.loads(HEADER + values)
        self.loads((HEADER + values).replace("\n", "\r\n"))
        self.loads((HEADER + values).replace(" ", "\t"))
        self.loads((HEADER + values).replace("\n", "\r"))
        self.loads(HEADER.replace(" ", " \t ") + "  1.5\t\t2 \r\n\n 3   0.5")
        self.loads("\xef\xbb\xbf" + HEADER + values)
        self.loads("\xef\xbb\xbfNROWS 2\r\nNCOLS 2\r\nxllcenter 0\r\nyllcenter 0\r\ncellsize 1\r\n" +
                   values.replace("\n", "\r\n"), (1.0, 0.0))


class RawFiles(Catalogue):
    RASTER = raw16([[1, 2]])

    def descriptor(self, text, message):
        return self.stops({"M_m2.raw": self.RASTER, "M_m2.txt": text}, "F M 1 0 0 1", message)

    def test_descriptor_with_garbage(self):
        self.descriptor("1\n2\nzz\n", descriptor_holds(DESC, "zz"))
        self.descriptor("1\x00junk\n2\n2\n", descriptor_holds(DESC, "1\\x00junk"))
        self.descriptor("1 2 2 0 0 1,5", descriptor_holds(DESC, "1,5", "a number"))
        self.descriptor("1 2 2 0 0 x1", descriptor_holds(DESC, "x1", "a number"))
        self.descriptor("1 2.0 2 0 0 1", descriptor_holds(DESC, "2.0"))
        self.descriptor("4294967297 2 2 0 0 1", descriptor_holds(DESC, "4294967297"))
        # Longer than any number the program writes (317 characters).
        self.descriptor("0" * 400 + "1 2 2 0 0 1", descriptor_holds(DESC, "0" * 40))
        self.descriptor("1 2 2 0 0 " + "0" * 318, descriptor_holds(DESC, "0" * 40, "a number"))
        self.descriptor(bytes(range(256)), descriptor_holds(DESC, "\\x00\\x01\\x02\\x03\\x04\\x05\\x06\\x07\\x08"))

    def test_descriptor_without_its_dimensions(self):
        self.descriptor("", descriptor_ends(DESC, "lines"))
        self.descriptor(" \n\n", descriptor_ends(DESC, "lines"))
        self.descriptor("1\n", descriptor_ends(DESC, "columns"))

    def test_descriptor_sizes_out_of_range(self):
        self.descriptor("99999 99999 2 0 0 1", raster_short(99999, 99999, 2, 19999600002, 4))
        self.descriptor("-1 2 2 0 0 1", impossible_size("by the descriptor", -1, 2))
        self.descriptor("1 -2147483648 2 0 0 1", impossible_size("by the descriptor", 1, -2147483648))

    def test_raster_shorter_than_its_descriptor(self):
        self.stops({"M_m2.raw": raw16([[1, 2, 3]]), "M_m2.txt": "2 2 2 0 0 1"}, "F M 1 0 0 1",
                   raster_short(2, 2, 2, 8, 6))
        self.stops({"M_m2.raw": b"", "M_m2.txt": "1 1 2 0 0 1"}, "F M 1 0 0 1",
                   raster_short(1, 1, 2, 2, 0))
        self.stops({"M_m4.raw": raw32([[1]]) + b"\x07\x00", "M_m4.txt": "1 2 4 0 0 1"}, "F M 1 1 0 1",
                   raster_short(1, 2, 4, 8, 6))

    def test_short_raster_leaves_no_half_made_descriptor(self):
        self.stops({"M_m2.raw": raw16([[1, 2, 3]])}, "F M 1 0 2 2 1 0 1",
                   raster_short(2, 2, 2, 8, 6))
        self.stops({"M_m2.raw": self.RASTER}, "F M 1 0 50000 50000 1",
                   raster_short(50000, 50000, 2, 5000000000, 4))

    def test_readable_descriptors(self):
        for text in ("1\r\n2\r\n2\r\n1\r\n2\r\n1.5\r\n", "\xef\xbb\xbf1\n2\n2\n1\n2\n1.5\n", "1\t2\t2\t1\t2\t1.5"):
            self.put("F", "M_m2.raw", self.RASTER)
            self.put("F", "M_m2.txt", text)
            r = self.run_nadir("F M 1 0 0 1")
            self.assertEqual(r.stdout, BANNER + FOLDER + MODEL + FORMAT + DEPTH + frusmatrice(1) +
                             dynamic(1, 2) + UNIT + summary(1, 2) + treatment(1, 2, 1) + NOT_ANY, repr(text))
            self.assertEqual(r.rc, 0)

    def test_a_folder_named_as_the_raster(self):
        self.stops({"M_m2.raw": None}, "F M 1 0", unknown("c:\\images\\F\\M_m2.raw"))


class Answers(Catalogue):
    RASTER = raw16([[1, 2]])

    def test_words_where_numbers_are_asked_are_asked_again(self):
        self.put("F", "M_m2.raw", self.RASTER)
        r = self.run_nadir("F M x 1 y 0 two 1 0x2 1e1 2 1,5 nan inf 1e999 1.5 m 0 z 1")
        self.assertEqual(r.stdout, BANNER + FOLDER + MODEL + FORMAT + NOT_A_WHOLE_NUMBER + FORMAT + DEPTH +
                         NOT_A_WHOLE_NUMBER + DEPTH + no_file(DESC) + LINES + NOT_A_WHOLE_NUMBER + LINES +
                         COLUMNS + NOT_A_WHOLE_NUMBER + COLUMNS + NOT_A_WHOLE_NUMBER + COLUMNS + PIXEL +
                         NOT_A_NUMBER + PIXEL + NOT_A_NUMBER + PIXEL + NOT_A_NUMBER + PIXEL +
                         NOT_A_NUMBER + PIXEL + frusmatrice(1) + dynamic(1, 2) + UNIT + NOT_A_WHOLE_NUMBER +
                         UNIT + summary(1, 2) + treatment(1, 2, 1) + NOT_A_WHOLE_NUMBER + YES_NO + NOT_ANY)
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.read_text("F", "M_m2.txt"), b"1\n2\n2\n1\n2\n1.500000\n")

    def test_numbers_out_of_range_for_int(self):
        self.put("F", "M_m2.raw", self.RASTER)
        r = self.run_nadir("F M 1 0 2147483648 -2147483649 99999999999999999999 1 2 1 0 1")
        self.assertIn(LINES + NOT_A_WHOLE_NUMBER + LINES + NOT_A_WHOLE_NUMBER + LINES + NOT_A_WHOLE_NUMBER +
                      LINES + COLUMNS + PIXEL, r.stdout)
        self.assertTrue(r.stdout.endswith(NOT_ANY))

    def test_impossible_dimensions_in_the_answers(self):
        # Refused before the pixel size is asked.
        self.stops({"M_m2.raw": self.RASTER}, "F M 1 0 -1 2", COLUMNS + impossible_size("in the answers", -1, 2))
        self.stops({"M_m2.raw": self.RASTER}, "F M 1 0 1 -2147483648",
                   impossible_size("in the answers", 1, -2147483648))

    def test_end_of_input_at_any_question(self):
        # At the first questions, then before the descriptor is written (at
        # the lines, the columns, the pixel size and the unit: none is left).
        for answers, tail in (("", FOLDER + END_OF_INPUT),
                              (" \n\r\n\t", FOLDER + END_OF_INPUT),
                              ("F M", BANNER + FOLDER + MODEL + FORMAT + END_OF_INPUT),
                              ("F M 1 0", LINES + END_OF_INPUT),
                              ("F M 1 0 1", COLUMNS + END_OF_INPUT),
                              ("F M 1 0 1 2", PIXEL + END_OF_INPUT),
                              ("F M 1 0 1 2 0", PIXEL_AGAIN + END_OF_INPUT),
                              ("F M 1 0 1 2 1", UNIT + END_OF_INPUT)):
            with self.subTest(answers=answers):
                r = self.stops({"M_m2.raw": self.RASTER}, answers, tail)
                if answers == "F M":
                    self.assertEqual(r.stdout, tail)
        # After the model is read, at the locate question and the image name.
        self.stops({"G.asc": HEADER + "1 2 3 4"}, "F G 0", YES_NO + END_OF_INPUT)
        self.stops({"G.asc": HEADER + "1 2 3 4"}, "F G 0 0", SAVE + END_OF_INPUT)

    def test_names_that_find_nothing(self):
        self.stops({"G.asc": HEADER + "1 2 3 4"}, "X G 0", unknown("c:\\images\\X\\G.asc"))
        self.stops({"G.asc": HEADER + "1 2 3 4"}, "F H 0", unknown("c:\\images\\F\\H.asc"))
        self.stops({"M_m2.raw": self.RASTER}, "F M 1 1", unknown("c:\\images\\F\\M_m4.raw"))

    def test_image_that_cannot_be_written(self):
        # A folder in its place, or a name that leads into no folder: the
        # image is not written, nothing is left.
        for name, path in (("D", "c:\\images\\F\\D.bmp"), ("nofolder\\img", "c:\\images\\F\\nofolder\\img.bmp")):
            with self.subTest(name=name):
                self.stops({"G.asc": HEADER + "1 2 3 4", "D.bmp": None}, "F G 0 0 " + name,
                           SAVE + image_unwritten(path))

    def test_answers_with_windows_line_ends(self):
        self.put("F", "G.asc", HEADER + "1 2 3 4")
        r = self.run_nadir("F\r\nG\r\n0\r\n0\r\nimg\r\n")
        self.assertEqual(r.rc, 0)
        self.assertTrue(r.exists("F", "img.bmp"))


if __name__ == "__main__":
    unittest.main()
