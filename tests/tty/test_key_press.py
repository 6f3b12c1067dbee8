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

    def test_a_key_of_several_bytes_is_one_key_press(self):
        # An arrow key's escape sequence, a character beyond ASCII: nothing
        # of the key is left to start the next answer.
        for key in (b"\x1b[B", "é".encode()):
            t = Terminal([PROBE, "key", "int"])
            t.read_until("key? ")
            t.type(key)
            t.read_until("int? ")
            t.type("0\n")
            t.read_until("[int 0]")
            self.assertEqual(t.finish(), 0)
            self.assertNotIn(b"expected", t.seen, key)

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
