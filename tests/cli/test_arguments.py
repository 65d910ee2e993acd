"""Argument grammar of conversions and scans: errors, tag values, suffixes."""
import os

import harness
from test_dispatch import USAGE

NOTE = b"Note: metadata options are ignored for WAV/RF64 output.\n"


def unexpected(argument):
    return b"Unexpected argument: " + argument + b"\n"


class ArgumentErrorTest(harness.CliTestCase):
    def test_argument_errors_stop_before_anything_is_opened(self):
        cases = [
            # (arguments, stdout, stderr); every one ends with status 1.
            (["--HELP"], b"", unexpected(b"--HELP")),
            (["--help=1"], b"", unexpected(b"--help=1")),
            (["-h"], USAGE, b""),
            (["a.wav"], USAGE, b""),
            # The tag option swallows b.wav, leaving one file name.
            (["a.wav", "--title", "b.wav"], USAGE, b""),
            (["a.wav", "--version", "b.wav"], b"", unexpected(b"--version")),
            (["a.wav", "b.wav", "--scan"], b"", unexpected(b"--scan")),
            (["a.wav", "b.wav", "--"], b"", unexpected(b"--")),
            # Parsing stops at the third file name, before later errors.
            (["a.wav", "b.wav", "c.wav", "--bogus"], b"", b"Unexpected positional argument: c.wav\n"),
            (["a.wav", "b.wav", "c.wav", "--title"], b"", b"Unexpected positional argument: c.wav\n"),
            (["--bogus", "a.wav", "b.wav", "c.wav"], b"", unexpected(b"--bogus")),
            # A value that looks like an option is still a value.
            (["a.wav", "b.wav", "--title", "--bogus", "c.wav"], b"",
             b"Unexpected positional argument: c.wav\n"),
            # A tag option at the end is named exactly as typed.
            (["a.wav", "b.wav", "--title"], b"", b"Missing value for --title\n"),
            (["a.wav", "b.wav", "--year"], b"", b"Missing value for --year\n"),
            (["a.wav", "b.wav", "--albumartist"], b"", b"Missing value for --albumartist\n"),
            # Scan grammar: one input, then only --quiet.
            (["--scan"], USAGE, b""),
            (["--scan", "a.wav", "b.wav"], b"", unexpected(b"b.wav")),
            (["--scan", "--quiet", "a.wav"], b"", unexpected(b"a.wav")),
            (["--scan", "a.flac", "--quiet", "--quiet", "--eac"], b"", unexpected(b"--eac")),
        ]
        for args, stdout, stderr in cases:
            with self.subTest(args=args):
                self.assertOutcome(self.run_program(args), 1, stdout, stderr)
                self.assertFiles([])


class MetadataNoteTest(harness.CliTestCase):
    """The note on stderr shows which runs count the output as WAV/RF64 and
    whether quiet is on; it comes before anything the HDCD check prints."""

    def run_missing_input(self, args):
        result = self.run_program(args)
        # The input does not exist, so the run fails after parsing, whatever
        # the later stages print, and leaves nothing behind.
        self.assertEqual(result.status, 1, result)
        self.assertFiles([])
        return result

    def test_note_follows_output_suffix_and_quiet(self):
        cases = [
            # (arguments, note expected)
            (["--title", "x", "missing.wav", "out.wav"], True),
            (["--title", "x", "missing.wav", "out.flac.bak"], True),
            (["--title", "x", "missing.flac", "out.wav"], True),
            (["--title", "x", "missing.wav", "out.FLAC"], False),
            (["--title", "x", "missing.wav", ".flac"], False),
            (["--title", "x", "missing.wav", "out.flac"], False),
            # An empty value counts as given.
            (["--title", "", "missing.wav", "out.wav"], True),
            # --quiet taken as the title's value leaves quiet off.
            (["--title", "--quiet", "missing.wav", "out.wav"], True),
            (["--quiet", "--title", "x", "missing.wav", "out.wav"], False),
            (["--eac", "--title", "x", "missing.wav", "out.wav"], False),
            # Preserve mode with WAV output drops the tags as well.
            (["--preserve-hdcd", "--year", "2001", "missing.wav", "out.wav"], True),
            # Without any tag option there is nothing to ignore.
            (["missing.wav", "out.wav"], False),
        ]
        for args, note in cases:
            with self.subTest(args=args):
                result = self.run_missing_input(args)
                if note:
                    self.assertTrue(result.stderr.startswith(NOTE), result)
                    self.assertEqual(result.stderr.count(NOTE), 1, result)
                else:
                    self.assertNotIn(NOTE, result.stderr)


class SameFileTest(harness.CliTestCase):
    """Naming the input as the output, however it is spelled, never damages it."""

    CONTENT = b"RIFF" + bytes(range(256)) * 4

    def setUp(self):
        super().setUp()
        with open(self.path("in.wav"), "wb") as handle:
            handle.write(self.CONTENT)

    def assertInputIntact(self, extra_files=()):
        self.assertEqual(harness.read_bytes(self.path("in.wav")), self.CONTENT)
        self.assertFiles(["in.wav"] + list(extra_files))

    def test_input_survives_every_mode(self):
        # Whatever later stages decide about this input (it is no valid WAV),
        # the file itself must come out unchanged, with nothing left beside it.
        cases = [
            ["in.wav", "in.wav"],
            ["in.wav", "./in.wav", "--overwrite"],
            ["--title", "x", "--overwrite", "in.wav", "in.wav"],
            ["--eac", "in.wav", "in.wav"],
            ["--eac", "--preserve-hdcd", "in.wav", "./in.wav"],
        ]
        for args in cases:
            with self.subTest(args=args):
                result = self.run_program(args)
                self.assertEqual(result.status, 1, result)
                self.assertInputIntact()

    def test_linked_names_are_the_same_file(self):
        if harness.ON_WINDOWS_BUILD:
            self.skipTest("links are made with POSIX calls")
        os.link(self.path("in.wav"), self.path("hard.wav"))
        os.symlink("in.wav", self.path("soft.wav"))
        for output in ("hard.wav", "soft.wav"):
            with self.subTest(output=output):
                self.assertEqual(self.run_program(["in.wav", output, "--overwrite"]).status, 1)
                self.assertInputIntact(["hard.wav", "soft.wav"])


if __name__ == "__main__":
    harness.main()
