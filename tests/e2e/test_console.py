"""The console layer through a real process fed by a pipe."""
import os
import subprocess
import unittest

PROBE = os.environ.get("NADIR_CONSOLE_PROBE", "")


def probe(steps, data):
    proc = subprocess.run([PROBE] + steps, input=data, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=20)
    return proc.stdout.decode(), proc.returncode


@unittest.skipUnless(PROBE, "NADIR_CONSOLE_PROBE is not set")
class PipedAnswers(unittest.TestCase):
    def test_numbers_and_words_are_whitespace_delimited(self):
        out, rc = probe(["int", "real", "word"], b"  -12\t\n 2.5e-3   name\n")
        self.assertEqual(out, "int? [int -12]\nreal? [real 0.0025000000000000001]\nword? [word name 4]\n")
        self.assertEqual(rc, 0)

    def test_non_numbers_are_discarded_and_asked_again(self):
        # Letters, trailing junk, out of range for int, a decimal comma and
        # non-finite reals are not numbers.
        out, rc = probe(["int", "real"], b"abc 12x 99999999999 7 1,5 inf nan 0.5\n")
        self.assertEqual(out,
                         "int? " + "\n\tA whole number is expected here.\nint? " * 3 + "[int 7]\n"
                         "real? " + "\n\tA number is expected here.\nreal? " * 3 + "[real 0.5]\n")
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

    def test_error_stop_exits_with_status_1(self):
        out, rc = probe(["stop"], b"")
        self.assertEqual(out, "[stopping]")
        self.assertEqual(rc, 1)


if __name__ == "__main__":
    unittest.main()
