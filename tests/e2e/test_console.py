"""The console layer through a real process fed by a pipe."""
import os
import subprocess
import unittest

from harness import command, windows_text

PROBE = os.environ.get("NADIR_CONSOLE_PROBE", "")


def probe(steps, data, stdin=None):
    proc = subprocess.run(command(PROBE) + steps, input=data, stdin=stdin, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=20)
    return windows_text(proc.stdout).decode(), proc.returncode


@unittest.skipUnless(PROBE, "NADIR_CONSOLE_PROBE is not set")
class PipedAnswers(unittest.TestCase):
    def test_numbers_and_words_are_whitespace_delimited(self):
        out, rc = probe(["int", "real", "word"], b"  -12\t\n 2.5e-3   name\n")
        self.assertEqual(out, "int? [int -12]\nreal? [real 0.0025000000000000001]\nword? [word name 4]\n")
        self.assertEqual(rc, 0)

    def test_non_numbers_are_discarded_and_asked_again(self):
        # Letters, trailing junk (after a NUL byte too), out of range for
        # int, a decimal comma and non-finite reals are not numbers.
        out, rc = probe(["int", "real"], b"abc 12x 0\0x 99999999999 7 1,5 2.5\0x inf nan 0.5\n")
        self.assertEqual(out,
                         "int? " + "\n\tA whole number is expected here.\nint? " * 4 + "[int 7]\n"
                         "real? " + "\n\tA number is expected here.\nreal? " * 4 + "[real 0.5]\n")
        self.assertEqual(rc, 0)

    def test_int_limits(self):
        out, _ = probe(["int", "int", "int"], b"2147483647 -2147483648 +5")
        self.assertEqual(out, "int? [int 2147483647]\nint? [int -2147483648]\nint? [int 5]\n")

    def test_long_word_reports_its_full_length(self):
        out, _ = probe(["word"], b"abcdefghijklmnopqrstuvwxyz\n")
        self.assertEqual(out, "word? [word abcdefghijklmno 26]\n")

    def test_end_of_input_stops_with_status_1(self):
        for steps, data in ((["int"], b""), (["int"], b"  \n"), (["word"], b""), (["real"], b"x")):
            out, rc = probe(steps, data)
            self.assertTrue(out.endswith("\n\n\tEnd of input: no answer to the question above.\n"), out)
            self.assertEqual(rc, 1)

    def test_key_takes_exactly_one_character(self):
        # With or without a blank line for the key, the next answer is read.
        out, _ = probe(["int", "key", "int"], b"1\n2\n")
        self.assertEqual(out, "int? [int 1]\nkey? [key]\nint? [int 2]\n")
        out, _ = probe(["int", "key", "int"], b"1\n\n2\n")
        self.assertEqual(out, "int? [int 1]\nkey? [key]\nint? [int 2]\n")
        # The key takes one character, not a word.
        out, _ = probe(["key", "word"], b"xyz")
        self.assertEqual(out, "key? [key]\nword? [word yz 2]\n")

    def test_key_at_end_of_input_does_not_wait(self):
        out, rc = probe(["key", "key"], b"")
        self.assertEqual(out, "key? [key]\nkey? [key]\n")
        self.assertEqual(rc, 0)

    def test_windows_line_ends_and_control_bytes_are_read_as_sent(self):
        # A script saved with CR LF: the CR is whitespace and the key takes
        # one byte of the line end; a Ctrl-Z byte is part of a word, not the
        # end of the input (as it would be on a text-mode read on Windows).
        out, rc = probe(["int", "key", "int", "word", "word"], b"1\r\n2\r\n\r\nname\r\na\x1ab\r\n")
        self.assertEqual(out, "int? [int 1]\nkey? [key]\nint? [int 2]\nword? [word name 4]\n"
                              "word? [word a\x1ab 3]\n")
        self.assertEqual(rc, 0)

    def test_key_from_the_null_device_does_not_wait(self):
        # The null device is a character device, not a console or terminal.
        out, rc = probe(["key", "int"], None, stdin=subprocess.DEVNULL)
        self.assertEqual(out, "key? [key]\nint? \n\n\tEnd of input: no answer to the question above.\n")
        self.assertEqual(rc, 1)

    def test_error_stop_exits_with_status_1(self):
        out, rc = probe(["stop"], b"")
        self.assertEqual(out, "[stopping]")
        self.assertEqual(rc, 1)


if __name__ == "__main__":
    unittest.main()
