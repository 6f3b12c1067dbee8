"""Faults of the machine: a full disk, a read-only folder, a kill, no memory."""
import os
import subprocess
import time
import unittest

from dialogue import SAVE, NOT_ANY
from harness import Case, command, program_env, raw16, windows_text


def can_mount():
    return os.geteuid() == 0 and os.path.exists("/proc/filesystems")


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
        r = self.run_nadir("F G 0 0 old")
        self.assertTrue(r.stdout.endswith(SAVE + "\n\n\tThe image c:\\images\\F\\old.bmp cannot be "
                                          "written.\n"), r.stdout[-300:])
        self.assertEqual(r.rc, 1)
        self.assertEqual(r.read("F", "old.bmp"), b"previous image")
        self.assertEqual(sorted(os.listdir(d)), ["G.asc", "filler", "old.bmp"], "no partial file")

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
        # moments after the name is given. The image is the old one or whole.
        n = 4000
        row = raw16([[(c * 7) % 5000 for c in range(n)]])
        self.put("F", "M_m2.raw", row * n)
        self.put("F", "M_m2.txt", "%d\n%d\n2\n0\n0\n1.000000\n" % (n, n))
        old = b"old image"
        full = 1078 + n * n
        for delay in (0.0, 0.005, 0.01, 0.02, 0.04, 0.08):
            self.put("F", "N.bmp", old)
            proc = subprocess.Popen(command(os.environ["NADIR_BIN"]), stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, cwd=self.root, env=program_env())
            proc.stdin.write(b"F M 1 0 0 0 ")
            proc.stdin.flush()
            # Wait for the image question, then answer and kill soon after.
            buf = b""
            while b"(without .bmp extension) ? " not in buf:
                chunk = proc.stdout.read1(65536)
                if not chunk:
                    break
                buf += chunk
            proc.stdin.write(b"N\n")
            proc.stdin.flush()
            time.sleep(delay)
            proc.kill()  # SIGKILL; on Windows TerminateProcess
            proc.wait()
            proc.stdout.close()
            proc.stdin.close()
            with open(self.path("F", "N.bmp"), "rb") as f:
                data = f.read()
            self.assertIn(len(data), (len(old), full), "delay %s" % delay)

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


if __name__ == "__main__":
    unittest.main()
