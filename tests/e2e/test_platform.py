"""Paths and file modes of the console layer, on the platform under test.

c:\\images\\F\\M.asc is the file the harness lays out: opened through the
path mapping on Linux, as built on Windows (under Wine, the prefix's C:).
"""
import os
import unittest

from harness import WINDOWS, Case

PROBE = os.environ.get("NADIR_CONSOLE_PROBE", "")


@unittest.skipUnless(PROBE, "NADIR_CONSOLE_PROBE is not set")
class PathsAndModes(Case):
    def probe(self, *args):
        return self.run_nadir(b"", binary=PROBE, args=args)

    def test_path_text_opens_the_laid_out_file(self):
        self.put("F", "M.asc", "x")
        self.folder("Other")
        r = self.probe("open", "c:\\images\\F\\M.asc", "rb",
                       "open", "C:\\images\\F\\M.asc", "r",
                       "open", "c:\\images\\Other\\M.asc", "rb")
        self.assertEqual(r.stdout, "[open ok]\n[open ok]\n[open failed]\n")
        self.assertEqual(r.rc, 0)

    def test_text_files_get_the_platform_line_ends(self):
        # A descriptor written on Windows has CR LF; it reads back as the
        # same text, as does one written on Linux.
        self.folder("F")
        r = self.probe("write", "c:\\images\\F\\M_m2.txt")
        self.assertEqual(r.stdout, "[write ok]\n")
        expected = b"1 2\r\n3\r\n" if WINDOWS else b"1 2\n3\n"
        self.assertEqual(r.read("F", "M_m2.txt"), expected)
        self.assertEqual(r.read_text("F", "M_m2.txt"), b"1 2\n3\n")


if __name__ == "__main__":
    unittest.main()
