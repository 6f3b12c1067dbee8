"""Runs the real nadir_spot binary in a scratch working directory.

The program opens c:\\images\\F\\... as c/images/F/... relative to its working
directory, so each run gets a fresh temporary folder with that tree laid out,
its answers on standard input, and its standard output captured whole.
"""
import os
import shutil
import struct
import subprocess
import tempfile
import unittest

BIN = os.environ.get("NADIR_BIN", "")
SOURCE = os.environ.get("NADIR_SOURCE", os.path.join(os.path.dirname(__file__), "..", ".."))
TIMEOUT = 60


class Result:
    def __init__(self, proc, root):
        self.stdout = proc.stdout.decode("latin-1")
        self.rc = proc.returncode
        self.root = root

    def path(self, *parts):
        return os.path.join(self.root, "c", "images", *parts)

    def read(self, *parts):
        with open(self.path(*parts), "rb") as f:
            return f.read()

    def exists(self, *parts):
        return os.path.exists(self.path(*parts))


class Case(unittest.TestCase):
    """A test case with a scratch tree per test."""

    maxDiff = None

    def setUp(self):
        if not BIN:
            self.skipTest("NADIR_BIN is not set")
        self.root = tempfile.mkdtemp(prefix="nadir_e2e_")
        self.addCleanup(shutil.rmtree, self.root, True)

    def put(self, folder, name, data):
        """Writes c/images/<folder>/<name> (bytes or str)."""
        d = os.path.join(self.root, "c", "images", folder)
        os.makedirs(d, exist_ok=True)
        if isinstance(data, str):
            data = data.encode("latin-1")
        with open(os.path.join(d, name), "wb") as f:
            f.write(data)
        return os.path.join(d, name)

    def folder(self, folder):
        d = os.path.join(self.root, "c", "images", folder)
        os.makedirs(d, exist_ok=True)
        return d

    def run_nadir(self, answers, binary=None, env=None):
        if isinstance(answers, str):
            answers = answers.encode("latin-1")
        proc = subprocess.run([binary or BIN], input=answers, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, cwd=self.root, timeout=TIMEOUT, env=env)
        self.assertEqual(proc.stderr, b"", "nothing goes to standard error")
        return Result(proc, self.root)


def raw16(rows):
    return b"".join(struct.pack("<%dH" % len(r), *r) for r in rows)


def raw32(rows):
    return b"".join(struct.pack("<%di" % len(r), *r) for r in rows)
