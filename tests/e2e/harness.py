"""Runs the real nadir_spot binary in a scratch working directory.

The program opens c:\\images\\F\\... as c/images/F/... relative to its working
directory, so each run gets a fresh temporary folder with that tree laid out,
its answers on standard input, and its standard output captured whole.

A Windows build runs under Wine when NADIR_WINE names the launcher ("1" for
`wine`), in the prefix WINEPREFIX: there c:\\images\\ is the prefix's
drive_c/images, emptied before and after each test, and <scratch>/c/images
links to it so that tests see one tree on both platforms. Run natively on
Windows, the tests use the real c:\\images\\ only when it does not exist yet.
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
WINE = os.environ.get("NADIR_WINE", "")
if WINE == "1":
    WINE = "wine"
# The program is a Windows one: its standard output is in text mode.
WINDOWS = bool(WINE) or os.name == "nt"


def command(binary):
    """The command line that runs a program of the build under test."""
    return [WINE, binary] if WINE else [binary]


def program_env(env=None):
    """The environment for a program of the build: env (or ours) plus what Wine needs."""
    if env is None or not WINE:
        return env
    env = dict(env)
    for k in ("WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES", "HOME", "PATH"):
        if k in os.environ and k not in env:
            env[k] = os.environ[k]
    return env


def windows_text(data):
    """Undoes the text-mode standard output of a Windows program, exactly.

    The C runtime writes every line feed as CR LF and leaves any other CR
    alone, so after checking that no line feed came without its CR, replacing
    CR LF by LF gives back what the program printed (a CR it printed before a
    line feed stays: CR CR LF becomes CR LF)."""
    if not WINDOWS:
        return data
    bare = data.replace(b"\r\n", b"").count(b"\n")
    if bare:
        raise AssertionError("%d line feeds without CR: standard output was not in text mode" % bare)
    return data.replace(b"\r\n", b"\n")


def wine_prefix():
    prefix = os.environ.get("WINEPREFIX", "")
    if not prefix:
        raise AssertionError("NADIR_WINE is set but WINEPREFIX is not")
    return prefix


def scratch_parent():
    """Where to make a scratch folder whose files a program of the build opens
    by path (None: the temporary folder). Under Wine, the prefix's drive_c,
    so that the paths are c:\\... for the program."""
    return os.path.join(wine_prefix(), "drive_c") if WINE else None


def program_path(path):
    """A path of this machine as a program of the build names it: under Wine,
    a path inside the prefix's drive_c becomes c:\\...; elsewhere, as is."""
    if not WINE:
        return path
    rel = os.path.relpath(path, os.path.join(wine_prefix(), "drive_c"))
    if rel == ".." or rel.startswith("../"):
        raise AssertionError("%s is not under the Wine prefix's drive_c" % path)
    return "c:\\" + rel.replace("/", "\\")


def images_dir(root):
    """Where c:\\images\\ lives for a run in the scratch folder root."""
    if WINE:
        return os.path.join(wine_prefix(), "drive_c", "images")
    if os.name == "nt":
        return "C:\\images"
    return os.path.join(root, "c", "images")


class Result:
    def __init__(self, proc, root):
        self.stdout = windows_text(proc.stdout).decode("latin-1")
        self.rc = proc.returncode
        self.root = root
        self.images = images_dir(root)

    def path(self, *parts):
        return os.path.join(self.images, *parts)

    def read(self, *parts):
        with open(self.path(*parts), "rb") as f:
            return f.read()

    def read_text(self, *parts):
        """A file the program wrote in text mode, with Windows line ends undone."""
        return windows_text(self.read(*parts))

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
        self.images = images_dir(self.root)
        if WINE:
            # The prefix is the run's own; its end-to-end tests take turns.
            shutil.rmtree(self.images, True)
            os.makedirs(self.images)
            os.makedirs(os.path.join(self.root, "c"))
            os.symlink(self.images, os.path.join(self.root, "c", "images"))
            self.addCleanup(shutil.rmtree, self.images, True)
        elif os.name == "nt":
            if os.path.exists(self.images):
                self.skipTest("C:\\images exists: the tests leave it alone")
            os.makedirs(self.images)
            self.addCleanup(shutil.rmtree, self.images, True)

    def put(self, folder, name, data):
        """Writes c:\\images\\<folder>\\<name> (bytes or str)."""
        d = os.path.join(self.images, folder)
        os.makedirs(d, exist_ok=True)
        if isinstance(data, str):
            data = data.encode("latin-1")
        with open(os.path.join(d, name), "wb") as f:
            f.write(data)
        return os.path.join(d, name)

    def folder(self, folder):
        d = os.path.join(self.images, folder)
        os.makedirs(d, exist_ok=True)
        return d

    def run_nadir(self, answers, binary=None, env=None, args=()):
        if isinstance(answers, str):
            answers = answers.encode("latin-1")
        proc = subprocess.run(command(binary or BIN) + list(args), input=answers, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, cwd=self.root, timeout=TIMEOUT,
                              env=program_env(env))
        self.assertEqual(proc.stderr, b"", "nothing goes to standard error")
        return Result(proc, self.root)


def raw16(rows):
    return b"".join(struct.pack("<%dH" % len(r), *r) for r in rows)


def raw32(rows):
    return b"".join(struct.pack("<%di" % len(r), *r) for r in rows)
