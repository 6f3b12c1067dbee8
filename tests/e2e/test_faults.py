"""Faults of the machine and of the folder: a full disk, a read-only folder,
a kill or an interrupt at any moment, a link in a file's place, no memory."""
import os
import signal
import subprocess
import time
import unittest

from dialogue import *  # noqa: F401,F403 (the program's texts)
from harness import BIN, WINDOWS, Case, command, program_env, raw16, windows_text


def can_mount():
    return os.geteuid() == 0 and os.path.exists("/proc/filesystems")


# run_nadir's arguments for a run whose /proc/self/fd is hidden (in a mount
# namespace of its own): an unnamed file cannot be named there, so the
# program's files go through a named temporary, as on file systems without
# unnamed files.
WITHOUT_PROC = dict(binary="unshare",
                    args=["-m", "sh", "-c", 'mount -t tmpfs none /proc/$$/fd && exec "$0"', BIN])


def start(case, answers, until, binary=BIN, args=()):
    """The program started in case's tree with these answers, once it has
    printed until (its standard output is then read no further)."""
    proc = subprocess.Popen(command(binary) + list(args), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            cwd=case.root, env=program_env())
    case.addCleanup(proc.stdout.close)
    case.addCleanup(proc.stdin.close)
    proc.stdin.write(answers)
    proc.stdin.flush()
    buf = b""
    while until not in buf:
        chunk = proc.stdout.read1(65536)
        if not chunk:
            break
        buf += chunk
    return proc


class Mounted(Case):
    """A folder of the tree on a small tmpfs of its own."""

    def mount(self, folder, size="64k"):
        d = self.folder(folder)
        rc = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", d],
                            stderr=subprocess.DEVNULL).returncode
        if rc != 0:
            self.skipTest("cannot mount a tmpfs here")
        self.addCleanup(subprocess.run, ["umount", "-l", d])
        return d

    def remount_read_only(self, d):
        subprocess.run(["mount", "-o", "remount,ro", d], check=True)


GRID_300 = ("ncols 300\nnrows 300\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -9999\n" +
            "\n".join(" ".join("1" for _ in range(300)) for _ in range(300)) + "\n")


@unittest.skipUnless(can_mount(), "mounting needs root")
class FullAndReadOnly(Mounted):
    def test_mask_on_a_full_disk_fails_and_keeps_the_old_image(self):
        d = self.mount("F", "256k")  # the grid fits; its 91 kB mask does not fit twice
        self.put("F", "G.asc", GRID_300)
        self.put("F", "old.bmp", b"previous image")
        with open(os.path.join(d, "filler"), "wb") as f:
            try:
                f.write(b"\0" * (256 * 1024 - len(GRID_300) - 60 * 1024))
            except OSError:
                pass
        # Unnamed, then named temporary files.
        for how in ({},) if WINDOWS else ({}, WITHOUT_PROC):
            r = self.run_nadir("F G 0 0 old", **how)
            self.assertTrue(r.stdout.endswith(SAVE + "\n\n\tThe image c:\\images\\F\\old.bmp cannot be "
                                              "written.\n"), r.stdout[-300:])
            self.assertEqual(r.rc, 1)
            self.assertEqual(r.read("F", "old.bmp"), b"previous image")
            self.assertEqual(sorted(os.listdir(d)), ["G.asc", "filler", "old.bmp"], "no partial file")

    @unittest.skipIf(WINDOWS, "Windows files always go through a named temporary")
    def test_named_temporaries_where_unnamed_files_cannot_be_named(self):
        # The same files, modes and nothing else as with unnamed files.
        self.put("F", "M_m2.raw", raw16([[1, 2]]))
        os.chmod(self.put("F", "N.bmp", b"old"), 0o640)
        r = self.run_nadir("F M 1 0 1 2 1 k 0 0 N", **WITHOUT_PROC)
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.read("F", "M_m2.txt"), b"1\n2\n2\n1\n2\n1.000000\n")
        self.assertEqual(len(r.read("F", "N.bmp")), 1078 + 4)
        self.assertEqual(os.stat(r.path("F", "N.bmp")).st_mode & 0o777, 0o640)
        self.assertEqual(sorted(os.listdir(r.path("F"))), ["M_m2.raw", "M_m2.txt", "N.bmp"])

    def test_read_only_folder(self):
        d = self.mount("F")
        self.put("F", "M_m2.raw", raw16([[7, 8]]))
        self.put("F", "G.asc", "ncols 1 nrows 1 xllcorner 0 yllcorner 0 cellsize 1 nodata_value 0 5")
        self.remount_read_only(d)
        r = self.run_nadir("F M 1 0 1 2 1 0 1")
        self.assertIn("\n\tWarning: the descriptor c:\\images\\F\\M_m2.txt cannot be created; the "
                      "model is read without it.\n", r.stdout)
        self.assertTrue(r.stdout.endswith(NOT_ANY))
        self.assertEqual(r.rc, 0)
        r = self.run_nadir("F G 0 0 img")
        self.assertTrue(r.stdout.endswith("\n\n\tThe image c:\\images\\F\\img.bmp cannot be written.\n"))
        self.assertEqual(r.rc, 1)
        self.assertEqual(sorted(os.listdir(d)), ["G.asc", "M_m2.raw"])


class KillAndMemory(Case):
    def test_killed_while_writing_leaves_old_image_or_whole_one(self):
        # A 4000 x 4000 raster makes a 16 MB mask; kill the run at spread
        # moments after the name is given, and at the moment a new name shows
        # in the folder (or the old image is replaced). The image is the old
        # one or whole, and on Linux nothing else is left; under Wine a
        # temporary may stay (Windows has no unnamed files).
        n = 4000
        row = raw16([[(c * 7) % 5000 for c in range(n)]])
        self.put("F", "M_m2.raw", row * n)
        self.put("F", "M_m2.txt", "%d\n%d\n2\n0\n0\n1.000000\n" % (n, n))
        image = self.path("F", "N.bmp")
        full = 1078 + n * n
        for old, moment in ((b"old image", "new name"), (None, "new name"), (b"old image", 0.0),
                            (b"old image", 0.01), (b"old image", 0.04)):
            if old:
                self.put("F", "N.bmp", old)
            elif os.path.exists(image):
                os.remove(image)
            before = set(os.listdir(self.path("F")))
            proc = start(self, b"F M 1 0 0 0 ", b"(without .bmp extension) ? ")
            old_file = os.stat(image) if old else None
            proc.stdin.write(b"N\n")
            proc.stdin.flush()
            if moment == "new name":
                while proc.poll() is None and not set(os.listdir(self.path("F"))) - before:
                    if old and not os.path.samestat(os.stat(image), old_file):
                        break
            else:
                time.sleep(moment)
            proc.kill()  # SIGKILL; on Windows TerminateProcess
            proc.wait()
            data = None
            if os.path.exists(image):
                with open(image, "rb") as f:
                    data = f.read()
            self.assertIn(None if data is None else len(data), (len(old) if old else None, full),
                          "moment %s" % moment)
            if not WINDOWS:
                self.assertEqual(set(os.listdir(self.path("F"))) - {"N.bmp"}, before - {"N.bmp"},
                                 "moment %s: nothing stray" % moment)

    @unittest.skipUnless(WINDOWS or can_mount(), "hiding /proc/self/fd needs root")
    def test_ending_signal_while_a_named_temporary_is_written_removes_it(self):
        # A 16 MB mask written under a temporary name: an interrupt or a
        # termination then leaves the old image and nothing else. Wine takes
        # an interrupt for the console's Ctrl-C (and ends with status 0).
        n = 4000
        self.put("F", "M_m2.raw", b"")
        os.truncate(self.path("F", "M_m2.raw"), n * n * 2)  # zeros, sparse
        self.put("F", "M_m2.txt", "%d\n%d\n2\n0\n0\n1.000000\n" % (n, n))
        # On a busy machine the signal may come only once the mask is whole
        # (or the run over): that attempt proves nothing and is made again.
        for sig in (signal.SIGINT,) if WINDOWS else (signal.SIGINT, signal.SIGTERM):
            for attempt in range(5):
                self.put("F", "N.bmp", b"old image")
                proc = start(self, b"F M 1 0 0 0 ", b"(without .bmp extension) ? ",
                             **({} if WINDOWS else WITHOUT_PROC))
                proc.stdin.write(b"N\n")
                proc.stdin.flush()
                while proc.poll() is None and len(os.listdir(self.path("F"))) == 3:
                    pass
                finished = proc.poll() is not None
                proc.send_signal(sig)
                status = proc.wait()
                self.assertEqual(sorted(os.listdir(self.path("F"))), ["M_m2.raw", "M_m2.txt", "N.bmp"])
                with open(self.path("F", "N.bmp"), "rb") as f:
                    data = f.read()
                self.assertIn(len(data), (len(b"old image"), 1078 + n * n), "the old image or the new one")
                if not finished and data == b"old image":
                    self.assertEqual(status, 0 if WINDOWS else -sig, "ended by the signal")
                    break
            else:
                self.fail("the signal never came while the mask was written")

    @unittest.skipUnless(os.path.exists("/dev/full"), "a full device is needed")
    def test_output_that_cannot_be_written_fails_the_run(self):
        # The results are lost: the status and standard error say so, after
        # a whole run and after a stop.
        self.put("F", "G.asc", "ncols 1 nrows 1 xllcorner 0 yllcorner 0 cellsize 1 nodata_value 0 5")
        for answers in (b"F G 0 0 img", b"F G 0 1 "):
            with open("/dev/full", "wb") as full:
                proc = subprocess.run(command(BIN), input=answers, stdout=full, stderr=subprocess.PIPE,
                                      cwd=self.root, timeout=60, env=program_env())
            self.assertEqual(proc.returncode, 1, answers)
            self.assertEqual(windows_text(proc.stderr),
                             b"Standard output could not be written: the run's results are lost.\n")

    # Under Wine the limit applies to the Wine process that runs the program:
    # its allocations fail as on a Windows machine out of memory.
    @unittest.skipIf(os.name == "nt", "address-space limits (setrlimit) are POSIX only")
    @unittest.skipIf(b"__asan_init" in open(os.environ.get("NADIR_BIN") or "/dev/null", "rb").read(),
                     "a sanitized binary reserves more address space than the limit")
    def test_model_too_large_for_memory_stops_with_the_memory_message(self):
        n = 60000
        self.put("F", "M_m2.raw", b"")
        os.truncate(self.path("F", "M_m2.raw"), n * n * 2)  # sparse: no disk used
        self.put("F", "M_m2.txt", "%d\n%d\n2\n0\n0\n1.000000\n" % (n, n))
        r = self.run_nadir_limited("F M 1 0", 4 * 1024 * 1024)  # 4 GiB of address space
        self.assertTrue(r.stdout.endswith("\n\n\tNot enough memory for a model of 60000 lines and "
                                          "60000 columns.\n"), r.stdout[-200:])
        self.assertEqual(r.rc, 1)

    def path(self, *parts):
        return os.path.join(self.root, "c", "images", *parts)

    def run_nadir_limited(self, answers, kib):
        import resource

        def limit():
            resource.setrlimit(resource.RLIMIT_AS, (kib * 1024, kib * 1024))
        proc = subprocess.run(command(os.environ["NADIR_BIN"]), input=answers.encode(),
                              stdout=subprocess.PIPE, cwd=self.root, timeout=120, preexec_fn=limit,
                              env=program_env())

        class R:
            pass
        r = R()
        r.stdout, r.rc = windows_text(proc.stdout).decode("latin-1"), proc.returncode
        return r


class Descriptor(Case):
    """The descriptor a run creates appears whole, where nothing is, or not at all."""

    DESC = "c:\\images\\F\\M_m2.txt"

    def test_interrupted_at_the_columns_question_leaves_no_descriptor(self):
        # An empty one would stop every later run.
        self.put("F", "M_m2.raw", raw16([[1, 2]]))
        proc = start(self, b"F M 1 0 1 ", COLUMNS.encode())
        if WINDOWS:
            proc.kill()
        else:
            proc.send_signal(signal.SIGINT)
        proc.wait()
        self.assertEqual(os.listdir(self.folder("F")), ["M_m2.raw"])
        r = self.run_nadir("F M 1 0 1 2 1 0 1")
        self.assertIn(DEPTH + no_file(self.DESC) + LINES, r.stdout)
        self.assertEqual(r.read_text("F", "M_m2.txt"), b"1\n2\n2\n1\n2\n1.000000\n")

    @unittest.skipIf(WINDOWS, "a POSIX link: Wine takes a dangling one for no file")
    def test_dangling_link_in_its_place_is_not_written_through(self):
        self.put("F", "M_m2.raw", raw16([[5, 6]]))
        outside = os.path.join(self.root, "outside.txt")
        os.symlink(outside, os.path.join(self.folder("F"), "M_m2.txt"))
        r = self.run_nadir("F M 1 0 1 2 1 0 1")
        self.assertIn(no_file(self.DESC) + "\n\tWarning: the descriptor %s cannot be created; the "
                      "model is read without it.\n" % self.DESC + LINES, r.stdout)
        self.assertIn(treatment(5, 6, 1), r.stdout)
        self.assertEqual(r.rc, 0)
        self.assertFalse(os.path.lexists(outside))
        self.assertTrue(os.path.islink(r.path("F", "M_m2.txt")))

    def test_pixel_sizes_it_writes_are_read_back(self):
        # "%lf" writes 1e60 as 67 characters and -1.8e308 as 317.
        self.put("F", "M_m2.raw", raw16([[1, 2]]))
        for size in ("1e60", "-1.7976931348623157e308"):
            r = self.run_nadir("F M 1 0 1 2 %s 0 1" % size)
            self.assertEqual(r.read_text("F", "M_m2.txt"),
                             b"1\n2\n2\n1\n2\n" + ("%f\n" % float(size)).encode())
            r = self.run_nadir("F M 1 0 0 1")
            self.assertEqual(r.stdout, BANNER + FOLDER + MODEL + FORMAT + DEPTH + frusmatrice(1) +
                             dynamic(1, 2) + UNIT + summary(1, 2) + treatment(1, 2, 1) + NOT_ANY)
            os.remove(r.path("F", "M_m2.txt"))


if __name__ == "__main__":
    unittest.main()
