"""Runs a program on a pseudo-terminal, as a person at a console would."""
import fcntl
import os
import pty
import select
import subprocess
import termios
import time


class Terminal:
    def __init__(self, argv, cwd=None):
        self.master, slave = pty.openpty()
        # In a session of its own with the pseudo-terminal as its controlling
        # terminal, so that Ctrl-C typed there interrupts it.
        self.proc = subprocess.Popen(argv, stdin=slave, stdout=slave, stderr=slave, cwd=cwd,
                                     start_new_session=True,
                                     preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
        os.close(slave)
        self.seen = b""

    def modes(self):
        """The local modes (lflag) of the terminal, as the program left them."""
        return termios.tcgetattr(self.master)[3]

    def read_until(self, text, timeout=10.0):
        """Reads output until `text` has appeared; returns everything seen so far."""
        if isinstance(text, str):
            text = text.encode()
        end = time.monotonic() + timeout
        while text not in self.seen:
            left = end - time.monotonic()
            if left <= 0:
                raise AssertionError("timed out waiting for %r; seen %r" % (text, self.seen))
            self._read(left)
        return self.seen

    def quiet_for(self, seconds):
        """Reads whatever arrives in `seconds`; returns it."""
        before = len(self.seen)
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            self._read(end - time.monotonic())
        return self.seen[before:]

    def _read(self, timeout):
        r, _, _ = select.select([self.master], [], [], max(timeout, 0))
        if r:
            try:
                chunk = os.read(self.master, 4096)
            except OSError:
                chunk = b""
            if not chunk:
                time.sleep(0.01)
            self.seen += chunk

    def type(self, text):
        os.write(self.master, text.encode() if isinstance(text, str) else text)

    def finish(self, timeout=10.0):
        try:
            rc = self.proc.wait(timeout)
        finally:
            try:
                while True:
                    r, _, _ = select.select([self.master], [], [], 0.05)
                    if not r:
                        break
                    chunk = os.read(self.master, 4096)
                    if not chunk:
                        break
                    self.seen += chunk
            except OSError:
                pass
            os.close(self.master)
        return rc
