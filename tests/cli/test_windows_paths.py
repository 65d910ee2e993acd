"""File names as Windows users and EAC write them: backslashes, drive letters,
letters in another case, characters outside the ANSI code page; and the Windows
program's output files byte for byte against the Linux program's."""
import os
import subprocess
import unittest

import numpy as np

import harness
import hdcd_inputs as inputs

WINDOWS_ONLY = unittest.skipUnless(harness.ON_WINDOWS_BUILD, "Windows path rules")


def windows_form(path):
    """path as a Windows program sees it under wine: the Unix root is drive Z:."""
    return "Z:" + path.replace("/", "\\")


def linux_program():
    """The Linux build beside which the wine tests were registered, if any."""
    candidate = os.path.join(harness.BINARY_DIR, "qv-hdcd")
    return candidate if harness.BINARY_DIR and os.access(candidate, os.X_OK) else None


def flac_tags(path):
    completed = subprocess.run(["metaflac", "--export-tags-to=-", path], check=True, stdout=subprocess.PIPE)
    return completed.stdout


class PathCase(harness.CliTestCase):
    def setUp(self):
        super().setUp()
        inputs.make_lle(self)
        self.assertEqual(self.run_program(["--quiet", "lle.wav", "ref.wav"]).status, 0)
        self.lle = harness.read_bytes(self.path("lle.wav"))
        self.reference = harness.read_bytes(self.path("ref.wav"))

    def assertOnly(self, names):
        self.assertFiles(["lle.wav", "ref.wav"] + list(names))


@WINDOWS_ONLY
class WindowsEacPathTest(PathCase):
    def test_one_file_named_two_ways_is_decoded_in_place(self):
        os.makedirs(self.path("sub"))
        cases = [
            # (output as named on the command line); the input is always in.wav.
            ".\\in.wav",
            "IN.WAV",
            "sub\\..\\In.Wav",
            windows_form(self.path("in.wav")),
            windows_form(self.path("IN.wav")).lower(),
        ]
        for output in cases:
            with self.subTest(output=output):
                inputs.write_file(self, "in.wav", self.lle)
                self.assertOutcome(self.run_program(["--eac", "in.wav", output]), 0)
                # One file, under its old name, now holding the decode.
                self.assertOnly(["in.wav"])
                self.assertEqual(harness.read_bytes(self.path("in.wav")), self.reference)

    def test_backslash_paths_to_another_directory(self):
        os.makedirs(self.path("out dir"))
        inputs.write_file(self, "old.flac", b"an older rip")
        self.assertOutcome(self.run_program(["--eac", ".\\lle.wav", "out dir\\Track 01.flac"]), 0)
        self.assertOutcome(self.run_program(["--eac", windows_form(self.path("lle.wav")), "old.flac"]), 0)
        for name in ("out dir/Track 01.flac", "old.flac"):
            with self.subTest(name=name):
                np.testing.assert_array_equal(inputs.read_pcm(self.path(name))[0],
                                              inputs.read_pcm(self.path("ref.wav"))[0])
        self.assertOnly(["old.flac", "out dir/Track 01.flac"])

    def test_no_hdcd_in_place_leaves_the_file_alone(self):
        tone = inputs.wav_bytes(inputs.tone_without_hdcd())
        inputs.write_file(self, "tone.wav", tone)
        result = self.run_program(["--eac", "tone.wav", "TONE.wav"])
        self.assertOutcome(result, 2, b"", inputs.NO_HDCD_LINES)
        self.assertEqual(harness.read_bytes(self.path("tone.wav")), tone)
        self.assertOnly(["tone.wav"])


class UnicodeNameTest(PathCase):
    """Names outside the ANSI code page go through the narrow argument vector;
    the Windows program declares UTF-8 as its code page for them."""

    NAMES = ["Müller – Für Elise", "日本語の曲", "Ελληνικά"]

    def test_every_container_with_unicode_names(self):
        for stem in self.NAMES:
            with self.subTest(stem=stem):
                source = stem + ".wav"
                inputs.write_file(self, source, self.lle)
                for args in (["--scan", source, "--quiet"],
                             ["--quiet", "--preserve-hdcd", source, stem + " (preserved).flac"],
                             ["--quiet", stem + " (preserved).flac", stem + " (decoded).wav"],
                             ["--compare-pcm", stem + " (decoded).wav", "ref.wav"]):
                    result = self.run_program(args)
                    self.assertEqual(result.status, 0, (args, result))
                self.assertEqual(harness.read_bytes(self.path(stem + " (decoded).wav")), self.reference)
                for suffix in (".wav", " (preserved).flac", " (decoded).wav"):
                    os.remove(self.path(stem + suffix))
        self.assertOnly([])


@WINDOWS_ONLY
class SameBytesAsLinuxTest(harness.CliTestCase):
    def test_outputs_match_the_linux_build(self):
        linux = linux_program()
        if linux is None:
            self.skipTest("no Linux build beside the wine tests")
        steps = [
            ["--make-lle-test", "{}lle.wav"],
            ["--quiet", "{}lle.wav", "{}decoded.wav"],
            ["--quiet", "{}lle.wav", "{}decoded.flac", "--title", "Track", "--artist", "Värnel"],
            ["--quiet", "--preserve-hdcd", "{}lle.wav", "{}preserved.flac"],
            ["--quiet", "{}preserved.flac", "{}from-flac.wav"],
        ]
        for step in steps:
            args = [argument.format("linux-") for argument in step]
            # The Linux program runs directly, not through the wine runner.
            completed = subprocess.run([linux] + args, cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            self.assertEqual(completed.returncode, 0, (args, completed))
            args = [argument.format("windows-") for argument in step]
            result = self.run_program(args)
            self.assertEqual(result.status, 0, (args, result))
        # WAV files must match byte for byte. A FLAC encoder's choices rest on
        # floating point (windows, autocorrelation, the CPU's vector units), so
        # two libFLAC builds may frame the same samples differently: FLAC files
        # must hold the same samples and the same tags.
        for name in ("lle.wav", "decoded.wav", "from-flac.wav"):
            with self.subTest(name=name):
                self.assertEqual(harness.read_bytes(self.path("windows-" + name)),
                                 harness.read_bytes(self.path("linux-" + name)))
        for name, shift in (("decoded.flac", 8), ("preserved.flac", 16)):
            with self.subTest(name=name):
                windows, linux = (inputs.read_pcm(self.path(prefix + name), shift)
                                  for prefix in ("windows-", "linux-"))
                np.testing.assert_array_equal(windows[0], linux[0])
                self.assertEqual(windows[1], linux[1])
                self.assertEqual(flac_tags(self.path("windows-" + name)), flac_tags(self.path("linux-" + name)))

if __name__ == "__main__":
    harness.main()
