"""The key press on a real pseudo-terminal: one fresh keystroke, no echo."""
import os
import signal
import termios
import unittest

from ptyrun import Terminal

PROBE = os.environ.get("NADIR_CONSOLE_PROBE", "")


@unittest.skipUnless(PROBE, "NADIR_CONSOLE_PROBE is not set")
class KeyPress(unittest.TestCase):
    def test_one_keystroke_without_enter_or_echo(self):
        t = Terminal([PROBE, "int", "key", "int"])
        t.read_until("int? ")
        t.type("5\n")
        t.read_until("key? ")
        t.type("k")
        t.read_until("[key]")
        t.read_until("int? ")
        t.type("7\n")
        t.read_until("[int 7]")
        self.assertEqual(t.finish(), 0)
        after_key = t.seen.split(b"key? ", 1)[1].split(b"[key]", 1)[0]
        self.assertEqual(after_key, b"", "the key is not echoed")

    def test_rest_of_answer_line_is_not_the_key(self):
        t = Terminal([PROBE, "int", "key"])
        t.read_until("int? ")
        t.type("5 and more\n")
        t.read_until("key? ")
        self.assertNotIn(b"[key]", t.quiet_for(0.5), "the program must wait for a new keystroke")
        t.type("x")
        t.read_until("[key]")
        self.assertEqual(t.finish(), 0)

    def test_a_key_press_takes_one_key_whole_and_no_more(self):
        # An arrow key's escape sequence, a character beyond ASCII: nothing
        # of the key is left to start the next answer. An answer typed ahead
        # or pasted with the key is not swallowed by it.
        for key, ahead in ((b"\x1b[B", b""), ("é".encode(), b""), (b"k", b"7\n"), (b"\x1b[B", b"7\n"),
                           ("é".encode(), b"7\n"), (b"\x1bOP", b"7\n")):
            t = Terminal([PROBE, "key", "int"])
            t.read_until("key? ")
            t.type(key + ahead)
            t.read_until("int? ")
            if not ahead:
                t.type("7\n")
            t.read_until("[int 7]")
            self.assertEqual(t.finish(), 0)
            self.assertNotIn(b"expected", t.seen, key)

    def test_stopped_at_the_key_and_resumed_waits_for_one_unechoed_key(self):
        # Ctrl-Z in a shell, then fg: the terminal is the shell's while the
        # program is stopped, the key wait's again once it is resumed.
        t = Terminal(["bash", "--norc", "--noprofile", "-i"])
        t.type(PROBE + " key word\n")
        t.read_until("key? ")
        t.type("\x1a")
        t.read_until("Stopped")
        t.type("fg\n")
        t.quiet_for(0.5)  # the program resumes
        t.type("k")
        t.read_until("[key]")
        t.type("w\n")
        t.read_until("[word w 1]")
        t.type("exit\n")
        self.assertEqual(t.finish(), 0)
        self.assertIn(b"key word\r\n[key]", t.seen, "the key is not echoed after fg's line")

    def test_a_signal_at_the_key_ends_the_program_and_restores_the_terminal(self):
        # Ctrl-C typed, and a kill.
        for sig, send in ((signal.SIGINT, lambda t: t.type("\x03")),
                          (signal.SIGTERM, lambda t: t.proc.send_signal(signal.SIGTERM))):
            t = Terminal([PROBE, "key", "word"])
            t.read_until("key? ")
            send(t)
            rc = t.proc.wait(10)
            modes = t.modes()
            t.finish()
            self.assertEqual(rc, -sig, "ended by the signal")
            self.assertEqual(modes & (termios.ECHO | termios.ICANON), termios.ECHO | termios.ICANON,
                             "echo and line editing are back")

    def test_answers_are_echoed_and_terminal_restored(self):
        # After the key, the terminal is back in line mode: answers echo again.
        t = Terminal([PROBE, "key", "word"])
        t.read_until("key? ")
        t.type("q")
        t.read_until("word? ")
        t.type("hello\n")
        t.read_until("[word hello 5]")
        self.assertIn(b"hello\r\n", t.seen)
        self.assertEqual(t.finish(), 0)


if __name__ == "__main__":
    unittest.main()
