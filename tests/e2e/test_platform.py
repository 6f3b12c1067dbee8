"""Paths and file modes of the console layer, on the platform under test;
and a whole run in one thread.

c:\\images\\F\\M.asc is the file the harness lays out: opened through the
path mapping on Linux, as built on Windows (under Wine, the prefix's C:).
"""
import os
import shutil
import unittest

from harness import BIN, WINDOWS, Case, raw16

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


@unittest.skipIf(WINDOWS or not shutil.which("strace"), "strace traces Linux programs")
class OneThread(Case):
    """No run creates a thread: models large enough that their reading, their
    matrix's pages and their mask would be worth sharing out are still taken
    by the one thread the program starts with."""

    def threads_created(self, answers):
        trace = os.path.join(self.root, "trace")
        # A sanitized build's leak check cannot run under a tracer: left out.
        env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
        r = self.run_nadir(answers, binary="strace", env=env,
                           args=["-f", "-qq", "-e", "trace=clone,clone3", "-o", trace, BIN])
        self.assertEqual(r.rc, 0, r.stdout[-300:])
        self.assertTrue(r.exists("F", "mask.bmp"))
        with open(trace) as f:
            return [line for line in f if "CLONE_THREAD" in line]

    def test_large_grid_and_raster_run_in_one_thread(self):
        lines = cols = 2000
        rows = [[(l * 7 + c * 13) % 4000 + 1 for c in range(cols)] for l in range(lines)]
        self.put("F", "G.asc", "ncols %d\nnrows %d\nxllcorner 0\nyllcorner 0\ncellsize 1\n" % (cols, lines) +
                 "\n".join(" ".join(map(str, r)) for r in rows) + "\n")
        self.assertEqual(self.threads_created("F\nG\n0\n0\nmask\n"), [])
        self.put("F", "R_m2.raw", raw16(rows))
        self.put("F", "R_m2.txt", "%d\n%d\n2\n0\n0\n1\n" % (lines, cols))
        self.assertEqual(self.threads_created("F\nR\n1\n0\n\n0\n0\nmask\n"), [])


if __name__ == "__main__":
    unittest.main()
